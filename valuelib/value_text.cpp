#include "valuelib/value_text.h"

#include <cstddef>

namespace ferry::values {

std::optional<uint32_t> ParseNumber(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::size_t digits = 0;
  uint64_t magnitude = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[digits] - '0');
    if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    ++digits;
  }
  std::string_view rest = text.substr(digits);
  if (!rest.empty() && (rest.front() == '.' || rest.front() == ',')) {
    rest.remove_prefix(1);
    bool fractionDigits = false;
    while (!rest.empty() && rest.front() >= '0' && rest.front() <= '9') {
      rest.remove_prefix(1);
      fractionDigits = true;
    }
    if (digits == 0 && !fractionDigits) return std::nullopt;
  } else if (digits == 0) {
    return std::nullopt;
  }
  if (!rest.empty()) return std::nullopt;
  if (negative) {
    if (magnitude > 0x80000000ull) return std::nullopt;
    return static_cast<uint32_t>(0x100000000ull - magnitude);
  }
  return static_cast<uint32_t>(magnitude);
}

std::string FormatNumber(uint32_t value) { return std::to_string(static_cast<int32_t>(value)); }

}  // namespace ferry::values
