#include "service/transfer/address_rules.h"

#include <optional>
#include <vector>

#include "service/transfer/address_list.h"
#include "service/transfer/transfer_error.h"

namespace ferry {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool HasControl(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t') || u == 0x7F) return true;
  }
  return false;
}

// The value of a header found at `start`.
std::string_view ValueAt(std::string_view block, std::size_t start, std::string_view name) {
  std::size_t from = start + name.size() + 1;
  std::size_t end = block.find(kCrLf, from);
  std::string_view value = block.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
  if (value.empty() || HasControl(value)) Raise(kErrorMalformedHeader);
  return value;
}

// The addresses of the first header `name` (any letter case, folded lines
// read). Raises kErrorMalformedHeader when the header is absent, holds nothing
// but blanks, or a control character other than a tab or a folding line end.
std::vector<std::string> AddressesOf(std::string_view block, std::string_view name) {
  std::optional<std::string_view> value = FoldedHeaderValue(block, name);
  if (!value) Raise(kErrorMalformedHeader);
  std::string unfolded;
  for (std::size_t i = 0; i < value->size(); ++i) {
    if (value->substr(i, 2) == kCrLf) {
      ++i;
      continue;
    }
    unfolded.push_back((*value)[i]);
  }
  if (HasControl(unfolded) || unfolded.find_first_not_of(" \t") == std::string::npos) Raise(kErrorMalformedHeader);
  return ReadAddressList(unfolded);
}

// The first address of a header, or the empty text (the null path) when it
// holds none that can go into an envelope.
std::string FirstAddressOrNull(std::string_view block, std::string_view name) {
  std::vector<std::string> addresses = AddressesOf(block, name);
  return addresses.empty() ? std::string() : addresses.front();
}

}  // namespace

std::string_view HeaderBlockOf(std::string_view text) {
  std::size_t end = text.find("\r\n\r\n");
  return end == std::string_view::npos ? text : text.substr(0, end);
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsLowerAscii(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

std::size_t FindHeader(std::string_view block, std::string_view name) {
  auto startsHere = [&](std::size_t pos) {
    return block.substr(pos, name.size()) == name && block.substr(pos + name.size(), 1) == ":";
  };
  if (startsHere(0)) return 0;
  for (std::size_t pos = block.find(kCrLf); pos != std::string_view::npos; pos = block.find(kCrLf, pos + 2)) {
    if (startsHere(pos + 2)) return pos + 2;
  }
  return std::string_view::npos;
}

std::string_view HeaderValue(std::string_view block, std::string_view name) {
  std::size_t start = FindHeader(block, name);
  if (start == std::string_view::npos) Raise(kErrorMalformedHeader);
  return ValueAt(block, start, name);
}

std::string SenderByRule(std::string_view headerBlock, const AddressSettings& settings) {
  switch (settings.addressmodeFrom) {
    case 0:
      return EnvelopeAddress(settings.smtpFrom);
    case 1:
    case 3:
      return FirstAddressOrNull(headerBlock, "from");
    case 4:
      if (FoldedHeaderValue(headerBlock, "sender")) return FirstAddressOrNull(headerBlock, "sender");
      return FirstAddressOrNull(headerBlock, "reply-to");
    default:  // 2 and every value outside 0 to 4: the null sender
      return {};
  }
}

std::string RecipientByRule(std::string_view headerBlock, const AddressSettings& settings) {
  uint32_t mode = settings.addressmode & 3U;
  if (mode == 0) return EnvelopeAddress(settings.runStage == 2 ? settings.tickerEMail : settings.smtpTo);
  std::vector<std::string> to = AddressesOf(headerBlock, "to");
  if (to.empty()) Raise(kErrorMalformedHeader);
  if (mode == 1) return to.front();
  std::vector<std::string> own = ReadAddressList(settings.smtpTo);
  if (own.empty() || DomainOf(own.front()).empty()) Raise(kErrorMalformedHeader);
  std::string recipient = std::string(LocalPartOf(to.front())) + "@" + std::string(DomainOf(own.front()));
  if (recipient.size() > kMaxAddressSpec) Raise(kErrorMalformedHeader);
  return recipient;
}

std::string EnvelopeAddress(std::string_view computed) {
  if (std::size_t open = computed.find('<'); open != std::string_view::npos) {
    std::size_t close = computed.find('>', open);
    std::string_view inside = computed.substr(open + 1, close == std::string_view::npos ? close : close - open - 1);
    return std::string(inside);
  }
  std::string out;
  for (char c : computed) {
    if (c != '>') out.push_back(c);
  }
  std::size_t first = out.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  std::size_t last = out.find_last_not_of(" \t");
  return out.substr(first, last - first + 1);
}

}  // namespace ferry
