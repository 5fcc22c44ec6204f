// Writes keys and values as the text of a .reg file that ParseRegFile reads
// back to the same keys, types and bytes.
//
// A REG_SZ whose bytes hold no NUL, CR or LF is written as "text" (the bytes as
// they are, \ and " escaped); any other REG_SZ as hex(1): with its raw bytes, so
// that a stored terminating NUL, or its absence, survives. REG_EXPAND_SZ is
// always hex(2): with the raw stored bytes (8-bit text, not UTF-16). A REG_DWORD
// of exactly 4 bytes is dword:; REG_BINARY is hex:; every other type, and a
// DWORD of another size, is hex(N):. Lines end in CR LF; hex lists wrap before
// 80 columns with a trailing '\'.
#pragma once

#include <string>
#include <vector>

#include "tools/ferryreg/reg_data.h"

namespace ferry::regtool {

struct RegFileWrite {
  std::string text;
  std::string error;  // a name that a .reg file cannot hold (a line break in it)
};

RegFileWrite WriteRegFile(const std::vector<KeyDump>& keys);

// One value line, without its line end ("name"=... or @=...).
std::string FormatValueLine(const ValueData& value);

}  // namespace ferry::regtool
