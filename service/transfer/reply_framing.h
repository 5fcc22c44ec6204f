// Where a whole reply ends in the bytes received so far. Pure functions over
// text, so that the reply reader, the tests and fuzzers drive them alike.
#pragma once

#include <cstddef>
#include <string_view>

namespace ferry {

// The length of a POP3 status line up to and including its CR LF; 0 while it
// is not complete.
std::size_t Pop3StatusLength(std::string_view buffered);

// The length of a POP3 multi-line reply (status line, lines, "." CR LF); a
// negative status line is the whole reply. 0 while it is not complete.
std::size_t Pop3MultiLineLength(std::string_view buffered);

// The length of an SMTP reply through its last line (the line whose code is
// not followed by a hyphen); 0 while it is not complete.
std::size_t SmtpReplyLength(std::string_view buffered);

// The decimal number formed by the leading digits of the reply's first four
// characters (0 when it does not begin with a digit).
int SmtpReplyCode(std::string_view reply);

// The position just past the first end-of-data marker CR LF "." CR LF that
// ends at or after `searchFrom` + 1, that is, one that takes at least one byte
// from `searchFrom` on: only the new bytes and the four before them are looked
// at. npos when there is none.
std::size_t FindEndOfData(std::string_view text, std::size_t searchFrom);

inline constexpr std::string_view kEndOfData = "\r\n.\r\n";

}  // namespace ferry
