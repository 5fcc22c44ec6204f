// The texts of the tickers' HTTP side and mail side: requests, the two mail
// header templates, the date text, where a response's body starts, and the
// mail text a page becomes. Pure functions.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace ferry {

// Appended to a page before it becomes a mail.
inline constexpr std::string_view kMailTerminator = "\r\n.\r\n\r\n";

// Response limits (bytes read for one page).
inline constexpr std::size_t kScienceItemLimit = 20480;
inline constexpr std::size_t kCtIndexLimit = 30720;
inline constexpr std::size_t kCtItemLimit = 20480;

std::string ItemPageRequest(std::string_view path);
std::string KeepAliveItemPageRequest(std::string_view path);
std::string ConditionalIndexRequest(std::string_view path, std::string_view ifModifiedSince);

std::string ScienceMailHeader(std::string_view category, std::string_view smtpFrom, std::string_view tickerEMail,
                              std::string_view subject, std::string_view date);
std::string CtMailHeader(std::string_view smtpFrom, std::string_view ctEMail, std::string_view title,
                         std::string_view date);

// "Wed Jun 30 21:49:08 1993\n": English names whatever the locale.
std::string AsctimeText(const std::tm& time);
// The current local time as AsctimeText.
std::string CurrentAsctimeText();

// Where the body of a response starts: past its first blank line
// ("\r\n\r\n"). A response without one is taken as all body (a server that
// sends no header), so this returns 0 for it.
std::size_t BodyStart(std::string_view response);
// The header up to and including the blank line; empty without one.
std::string_view ResponseHeader(std::string_view response);

// The text stored for a mail the service builds: header and body with every
// line that begins with "." given a second one, and the body's mail
// terminator (when it ends with one) replaced by the one end-of-data marker,
// so that nothing of the page can end the DATA phase early or follow it.
std::string TickerMailText(std::string_view header, std::string_view body);
std::string DotStuff(std::string_view text);

// A page title as the name of a file inside its folder: path separators and
// control characters become blanks, leading dots become "_"; the result never
// names "." or ".." or anything outside the folder.
std::string SafeFileName(std::string_view name);

}  // namespace ferry
