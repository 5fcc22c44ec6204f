// The text forms of the value library: decimal texts of 32-bit numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferry::values {

// Parses a decimal number text: optional blanks, an optional sign, digits and
// an optional fraction after '.' or ',' (dropped). Accepts -2147483648 to
// 4294967295, the range of a signed or unsigned 32-bit value. Anything else,
// the empty text included, is no number.
std::optional<uint32_t> ParseNumber(std::string_view text);

// The signed decimal text of a stored 32-bit number.
std::string FormatNumber(uint32_t value);

}  // namespace ferry::values
