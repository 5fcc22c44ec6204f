// Value types and data as text: the REG_* type names, the data given with /d
// on the command line, and the data column of the query listing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ferry::regtool {

// "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD" (any letter case) to
// the type number; nullopt for anything else.
std::optional<uint32_t> ParseTypeName(std::string_view name);

// The name of a type for listings: the REG_* name where one is known, else
// "REG_0x<hex>".
std::string TypeName(uint32_t type);

struct DataParse {
  std::string bytes;
  std::string error;  // empty on success
};

// The bytes stored for /d DATA of the given type. Strings are stored as given,
// without a terminating NUL (as the service stores its strings). A DWORD is a
// decimal number (0 to 4294967295, or -2147483648 to -1 for its two's
// complement) or 0x followed by up to 8 hex digits, stored as 4 bytes, low
// byte first. Binary data is pairs of hex digits ("00ff1a").
DataParse ParseDataArgument(uint32_t type, std::string_view text);

// The data column of a listing: strings up to their first NUL, a 4-byte DWORD
// as 0x<hex>, everything else as upper-case hex digits.
std::string FormatDataForListing(uint32_t type, std::string_view bytes);

// Value of one hex digit, or -1.
int HexDigitValue(char c);

// The 4 bytes of `value`, low byte first.
std::string DwordBytes(uint32_t value);

}  // namespace ferry::regtool
