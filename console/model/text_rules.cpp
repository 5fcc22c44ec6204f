#include "console/model/text_rules.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace ferry::console {
namespace {

char FoldUpper(char c) {
  auto u = static_cast<unsigned char>(c);
  if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) return static_cast<char>(u - 0x20);
  return c;
}

}  // namespace

std::string Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

std::string StripNull(std::string_view text) { return Trim(text.substr(0, text.find('\0'))); }

bool SameTextIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldUpper(a[i]) != FoldUpper(b[i])) return false;
  }
  return true;
}

std::string UpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldUpper(c);
  return out;
}

std::optional<double> ParseDecimal(std::string_view text) {
  std::string trimmed = Trim(text);
  if (trimmed.empty()) return std::nullopt;
  const char* begin = trimmed.data();
  if (*begin == '+') ++begin;
  double value = 0;
  auto [end, ec] = std::from_chars(begin, trimmed.data() + trimmed.size(), value, std::chars_format::fixed);
  if (ec != std::errc() || end != trimmed.data() + trimmed.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string FormatDecimal(double value) {
  double rounded = std::round(value * 1e6) / 1e6;
  if (rounded == 0) rounded = 0;  // no "-0"
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, rounded, std::chars_format::fixed);
  if (ec != std::errc()) return "0";
  return std::string(buffer, end);
}

std::string Latin1FromSystem(std::string_view text) {
  std::string out;
  bool multiByte = false;
  for (std::size_t i = 0; i < text.size();) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1
                         : (lead & 0xE0) == 0xC0 ? 2
                         : (lead & 0xF0) == 0xE0 ? 3
                         : (lead & 0xF8) == 0xF0 ? 4
                                                  : 0;
    if (length == 0 || i + length > text.size()) return std::string(text);
    uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return std::string(text);
      code = (code << 6) | (next & 0x3F);
    }
    if (length > 1) multiByte = true;
    out.push_back(code <= 0xFF ? static_cast<char>(code) : '?');
    i += length;
  }
  return multiByte ? out : std::string(text);
}

}  // namespace ferry::console
