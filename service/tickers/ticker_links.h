// Links as the tickers take them from mail and pages: quoted-printable
// decoded first, the link taken whole up to its end, HTML entities decoded,
// and made a request target that holds no blank or control character. Pure
// functions.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ferry {

// The longest request target the tickers send; a longer link is refused.
inline constexpr std::size_t kMaxLinkLength = 2000;

// Quoted-printable text decoded: "=XX" becomes its byte, a soft line break
// ("=" at a line end) disappears; anything else stays.
std::string DecodeQuotedPrintable(std::string_view text);

// The entities "&amp;" "&lt;" "&gt;" "&quot;" "&apos;" and numeric ones
// ("&#38;", "&#x26;", below 256) decoded; any other stays as it is.
std::string DecodeEntities(std::string_view text);

// The link at the start of `text`: up to the first double or single quote,
// blank, "<", ">" or control character.
std::string_view TakeLink(std::string_view text);

// `link` as it goes after "GET ": bytes above 0x7E and the characters
// " < > \ ^ ` { | } are percent-encoded; empty
// (refused) when it is empty, longer than kMaxLinkLength or holds a blank or a
// control character.
std::string RequestTarget(std::string_view link);

}  // namespace ferry
