// The rules that pick a message's envelope sender and recipient from its header
// lines. Pure functions over the header block; a rule that cannot find what it
// needs raises a TransferError (kErrorMalformedHeader, kErrorNoConnection or
// kErrorNoAtSign), and the caller falls back to the account's own address.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferry {

// The text before the first empty line; the whole text when there is none.
std::string_view HeaderBlockOf(std::string_view text);

// A copy with the letters A to Z in lower case.
std::string LowerAscii(std::string_view text);

// Whether `text` with the letters A to Z in lower case is `lower`.
bool IsLowerAscii(std::string_view text, std::string_view lower);

// Where the header `name` (lower case, without the colon) starts in the block:
// on the first line or after a CR LF. npos when absent.
std::size_t FindHeader(std::string_view block, std::string_view name);

// The text after the header's colon up to the line's CR LF or the block's end.
// Raises kErrorMalformedHeader when the header is absent, its value is empty or
// holds a control character other than a tab.
std::string_view HeaderValue(std::string_view block, std::string_view name);

struct AddressSettings {
  uint32_t addressmode = 0;      // recipient rule: its two lowest bits
  uint32_t addressmodeFrom = 0;  // sender rule: the whole value
  std::string smtpFrom;
  std::string smtpTo;
  std::string tickerEMail;
  int32_t runStage = 1;  // 2 while a ticker stage sends
};

// The sender the rule yields for a header block (any letter case; the block is
// searched in lower case).
std::string SenderByRule(std::string_view headerBlock, const AddressSettings& settings);

// The recipient the rule yields for a header block.
std::string RecipientByRule(std::string_view headerBlock, const AddressSettings& settings);

// The address of an envelope path: the text inside the first angle brackets, or
// the trimmed text without a stray ">" when it has none. Empty for the null path.
std::string EnvelopeAddress(std::string_view computed);

}  // namespace ferry
