#include "tools/ferryreg/value_text.h"

#include <array>
#include <cstdio>
#include <utility>

#include "platform/registry.h"
#include "tools/ferryreg/key_path.h"

namespace ferry::regtool {
namespace {

constexpr std::array<std::pair<uint32_t, std::string_view>, 9> kTypeNames{{
    {reg::kNone, "REG_NONE"},
    {reg::kSz, "REG_SZ"},
    {reg::kExpandSz, "REG_EXPAND_SZ"},
    {reg::kBinary, "REG_BINARY"},
    {reg::kDword, "REG_DWORD"},
    {5, "REG_DWORD_BIG_ENDIAN"},
    {6, "REG_LINK"},
    {7, "REG_MULTI_SZ"},
    {11, "REG_QWORD"},
}};

constexpr char kUpperHex[] = "0123456789ABCDEF";

// Parses digits of `base` into a value of at most `limit`; false on any other
// character, no digit, or overflow.
bool ParseUnsigned(std::string_view text, unsigned base, uint64_t limit, uint64_t* out) {
  if (text.empty()) return false;
  uint64_t value = 0;
  for (char c : text) {
    int digit = HexDigitValue(c);
    if (digit < 0 || static_cast<unsigned>(digit) >= base) return false;
    value = value * base + static_cast<unsigned>(digit);
    if (value > limit) return false;
  }
  *out = value;
  return true;
}

}  // namespace

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string DwordBytes(uint32_t value) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::optional<uint32_t> ParseTypeName(std::string_view name) {
  std::string folded = FoldName(name);
  for (uint32_t type : {reg::kSz, reg::kExpandSz, reg::kBinary, reg::kDword}) {
    if (folded == TypeName(type)) return type;
  }
  return std::nullopt;
}

std::string TypeName(uint32_t type) {
  for (const auto& [number, name] : kTypeNames) {
    if (number == type) return std::string(name);
  }
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "REG_0x%X", type);
  return buffer;
}

DataParse ParseDataArgument(uint32_t type, std::string_view text) {
  DataParse result;
  if (type == reg::kDword) {
    uint64_t value = 0;
    bool ok = false;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      ok = ParseUnsigned(text.substr(2), 16, 0xFFFFFFFFu, &value);
    } else if (!text.empty() && text[0] == '-') {
      ok = ParseUnsigned(text.substr(1), 10, 0x80000000u, &value);
      value = (0x100000000ULL - value) & 0xFFFFFFFFu;
    } else {
      ok = ParseUnsigned(text, 10, 0xFFFFFFFFu, &value);
    }
    if (!ok) {
      result.error = "REG_DWORD data must be a number from 0 to 4294967295 (or -2147483648 to -1), or 0x and 1 to 8 "
                     "hex digits: \"" + std::string(text) + "\"";
      return result;
    }
    result.bytes = DwordBytes(static_cast<uint32_t>(value));
  } else if (type == reg::kBinary) {
    if (text.size() % 2 != 0) {
      result.error = "REG_BINARY data must be pairs of hex digits: \"" + std::string(text) + "\"";
      return result;
    }
    for (std::size_t i = 0; i < text.size(); i += 2) {
      int high = HexDigitValue(text[i]);
      int low = HexDigitValue(text[i + 1]);
      if (high < 0 || low < 0) {
        result.error = "REG_BINARY data must be pairs of hex digits: \"" + std::string(text) + "\"";
        result.bytes.clear();
        return result;
      }
      result.bytes += static_cast<char>(high * 16 + low);
    }
  } else {
    result.bytes = std::string(text);
  }
  return result;
}

std::string FormatDataForListing(uint32_t type, std::string_view bytes) {
  if (type == reg::kSz || type == reg::kExpandSz) {
    return std::string(bytes.substr(0, bytes.find('\0')));
  }
  if (type == reg::kDword && bytes.size() == 4) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%x", value);
    return buffer;
  }
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto u = static_cast<unsigned char>(c);
    out += kUpperHex[u >> 4];
    out += kUpperHex[u & 0x0F];
  }
  return out;
}

}  // namespace ferry::regtool
