// The rules that pick a message's envelope sender and recipient from its header
// lines. Pure functions over the header block; every address taken from a
// header is read by ReadAddressList (address_list.h), so what they yield is a
// bare address ready for SmtpPath. A rule whose header is absent, empty or
// holds a control character raises kErrorMalformedHeader, and the caller falls
// back to the account's own address.
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

// The sender the rule yields for a header block (header names in any letter
// case): mode 0 "SMTP From"; modes 1 and 3 the first address of "From:"; mode 4
// that of "Sender:", else of "Reply-To:"; every other mode the null sender.
// The empty text (the null sender) also when the header holds no readable
// address (a group such as "undisclosed-recipients:;").
std::string SenderByRule(std::string_view headerBlock, const AddressSettings& settings);

// The recipient the rule yields for a header block: mode 0 "SMTP To" (the
// ticker address in a ticker stage); mode 1 the first address of "To:"; modes 2
// and 3 its local part with the domain of "SMTP To". Raises
// kErrorMalformedHeader also when "To:" holds no readable address.
std::string RecipientByRule(std::string_view headerBlock, const AddressSettings& settings);

// The address of an envelope path: the text inside the first angle brackets, or
// the trimmed text without a stray ">" when it has none. Empty for the null path.
std::string EnvelopeAddress(std::string_view computed);

}  // namespace ferry
