// A fetched page as a MIME mail any client shows right: text/html in the
// page's charset, a transfer encoding that fits the body, encoded words for
// 8-bit header texts, a dated and identified header. Pure functions.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace ferry {

inline constexpr std::string_view kDefaultPageCharset = "ISO-8859-1";

// The charset a page declares: in its Content-Type header line, else in a
// <meta> tag of the body; kDefaultPageCharset without one (or with one that is
// no charset name).
std::string PageCharset(std::string_view response);

// `text` as a header value: unchanged when it is printable ASCII, else as
// RFC 2047 encoded words ("=?charset?Q?...?=") of at most 75 characters,
// separated by CR LF and a blank.
std::string EncodeHeaderText(std::string_view text, std::string_view charset);
// A display name and an address: "\"name\" <address>", the name quoted or
// encoded as it needs; just "<address>" without a name.
std::string MailboxText(std::string_view name, std::string_view address, std::string_view charset);

// "Tue, 08 Dec 2026 06:00:34 +0100" from the local time and its offset east
// of UTC in seconds.
std::string MailDateText(const std::tm& local, long offsetSeconds);
// The local time's offset from UTC at `when` (local time as the system gives it).
long UtcOffsetSeconds(std::time_t when, const std::tm& local);

// The body as quoted-printable text with CR LF line ends (lines of at most 76
// characters, soft breaks marked by "=").
std::string QuotedPrintable(std::string_view body);
// Whether a body can go as 7bit: ASCII only and no line over 998 bytes.
bool SevenBitClean(std::string_view body);

struct TickerMailParts {
  std::string fromName;
  std::string fromAddress;
  std::string toName;
  std::string toAddress;
  std::string subject;
  std::string charset;        // of the body, and of subject and names unless
  std::string headerCharset;  // is given
  std::string date;      // MailDateText
  std::string messageId; // "<...@...>"
  std::string html;      // the page body
};

// The whole mail: header lines and body, every line ended by CR LF.
std::string TickerMimeMail(const TickerMailParts& parts);

// "<unique@domain>" with the domain of `fromAddress` (or "mailferry.invalid").
std::string NewMessageId(std::string_view fromAddress, std::time_t when);

}  // namespace ferry
