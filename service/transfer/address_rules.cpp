#include "service/transfer/address_rules.h"

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

// From the first "<" up to and including the first ">" after it.
std::string FirstBracketed(std::string_view value) {
  std::size_t open = value.find('<');
  if (open == std::string_view::npos) Raise(kErrorMalformedHeader);
  std::size_t close = value.find('>', open);
  if (close == std::string_view::npos) Raise(kErrorMalformedHeader);
  return std::string(value.substr(open, close - open + 1));
}

std::string SenderMode3(std::string_view value) {
  std::size_t at = value.find('@');
  if (at == std::string_view::npos) Raise(kErrorNoAtSign);
  std::string_view front = value.substr(0, at);
  std::size_t cut = front.rfind('<');
  if (cut == std::string_view::npos) cut = front.rfind(' ');
  if (cut == std::string_view::npos) Raise(kErrorNoConnection);
  std::string_view local = front.substr(cut + 1);
  // The domain runs from the at sign to the first blank (a trailing comment is dropped).
  std::string_view tail = value.substr(at);
  tail = tail.substr(0, tail.find(' '));
  return std::string(local) + std::string(tail);
}

std::string RecipientLocalPartRule(std::string_view value, const std::string& smtpTo) {
  std::size_t domainAt = smtpTo.find('@');
  if (domainAt == std::string::npos) Raise(kErrorMalformedHeader);
  std::string_view domain = std::string_view(smtpTo).substr(domainAt);
  std::string_view local;
  if (std::size_t open = value.find('<'); open != std::string_view::npos) {
    std::size_t close = value.find('>', open);
    if (close == std::string_view::npos) Raise(kErrorMalformedHeader);
    std::string_view address = value.substr(open + 1, close - open - 1);
    std::size_t at = address.find('@');
    if (at == std::string_view::npos) Raise(kErrorMalformedHeader);
    local = address.substr(0, at);
  } else {
    std::size_t at = value.find('@');
    if (at == std::string_view::npos) Raise(kErrorMalformedHeader);
    std::string_view front = value.substr(0, at);
    std::size_t blank = front.rfind(' ');
    if (blank == std::string_view::npos) Raise(kErrorMalformedHeader);
    local = front.substr(blank + 1);
  }
  if (local.empty()) Raise(kErrorMalformedHeader);
  return "<" + std::string(local) + std::string(domain) + ">";
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
  std::string block = LowerAscii(headerBlock);
  switch (settings.addressmodeFrom) {
    case 0:
      return settings.smtpFrom;
    case 1:
      return std::string(HeaderValue(block, "from"));
    case 3:
      return SenderMode3(HeaderValue(block, "from"));
    case 4: {
      std::size_t start = FindHeader(block, "sender");
      std::string_view name = "sender";
      if (start == std::string_view::npos) {
        name = "reply-to";
        start = FindHeader(block, name);
      }
      if (start == std::string_view::npos) Raise(kErrorMalformedHeader);
      return FirstBracketed(ValueAt(block, start, name));
    }
    default:  // 2 and every value outside 0 to 4: the null sender
      return {};
  }
}

std::string RecipientByRule(std::string_view headerBlock, const AddressSettings& settings) {
  std::string block = LowerAscii(headerBlock);
  switch (settings.addressmode & 3U) {
    case 0:
      return settings.runStage == 2 ? settings.tickerEMail : settings.smtpTo;
    case 1:
      return FirstBracketed(HeaderValue(block, "to"));
    default:
      return RecipientLocalPartRule(HeaderValue(block, "to"), settings.smtpTo);
  }
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
