// The texts of the tickers' HTTP side and mail side: requests, the date
// texts, where a response's body starts, its status, scripts taken out of a
// page, the SMTP text a mail becomes, and page names as file names. Pure
// functions.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace ferry {

// Response limits (bytes read for one page).
inline constexpr std::size_t kScienceItemLimit = 20480;
inline constexpr std::size_t kCtIndexLimit = 30720;
inline constexpr std::size_t kCtItemLimit = 20480;

// HTTP/1.0 requests naming the site in a Host line. They never ask for a
// kept-alive connection: the server ends each response by closing its side.
// A target or date holding a control character is refused by the callers
// before it gets here (RequestTarget).
std::string ItemPageRequest(std::string_view path, std::string_view host);
std::string ConditionalIndexRequest(std::string_view path, std::string_view host, std::string_view ifModifiedSince);

// "Wed Jun 30 21:49:08 1993\n": English names whatever the locale.
std::string AsctimeText(const std::tm& time);
// " Wed, 30 Jun 1993 21:49:08 GMT" (with the blank a Last-Modified value keeps).
std::string HttpDateText(std::time_t when);

// Where the body of a response starts: past its first blank line, "\r\n\r\n"
// or "\n\n" whichever comes first. A response without one is all body.
std::size_t BodyStart(std::string_view response);
// The header up to and including the blank line; empty without one.
std::string_view ResponseHeader(std::string_view response);
// The status code of the first line ("HTTP/1.0 200 OK" gives 200); 0 when the
// line has none.
int ResponseStatusCode(std::string_view response);

// The page with every <script ...>...</script> element taken out whole (any
// case); a script without its end tag takes the rest of the page with it.
std::string RemoveScripts(std::string_view html);

// The text stored for a mail the service builds: header and body with every
// line ended by CR LF (a bare CR or LF becomes one), every line that begins
// with "." given a second one, and the end-of-data marker after it.
std::string TickerMailText(std::string_view header, std::string_view body);
// Every line end of `text` as CR LF.
std::string WithCrLf(std::string_view text);
std::string DotStuff(std::string_view text);

// A page title as the name of a file inside its folder on any system: path
// separators, control characters and ? * < > | " become "_", a name that
// Windows keeps for a device (CON, NUL, COM1...) gets a leading "_", leading
// dots and trailing dots or blanks become "_", and the name is cut to 150
// bytes. Never empty, never "." or "..".
std::string SafeFileName(std::string_view name);

}  // namespace ferry
