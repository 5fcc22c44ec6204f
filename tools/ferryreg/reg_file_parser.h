// Reads the text of a .reg file into the list of changes it asks for, or the
// first malformed line. Nothing here touches the store.
//
// The format:
//   Windows Registry Editor Version 5.00      (first line; "REGEDIT4" is taken too)
//   [HKEY_LOCAL_MACHINE\Key\Sub]              create the key; values below go into it
//   [-HKEY_LOCAL_MACHINE\Key\Sub]             delete the key and its whole subtree
//   "name"="text"                              REG_SZ: the bytes between the quotes, with
//                                              \\ and \" as the only escapes, no NUL added
//   @="text"                                   the key's default value
//   "name"=dword:0000000a                      REG_DWORD, 1 to 8 hex digits
//   "name"=hex:00,ff                           REG_BINARY
//   "name"=hex(N):00,ff                        type N (hex): hex(1) REG_SZ, hex(2)
//                                              REG_EXPAND_SZ, ... with the raw bytes as stored
//   "name"=-                                   delete the value
// Blank lines and lines starting with ';' are skipped; a hex list continues on
// the next line after a trailing '\'. Lines end in LF or CR LF. Texts are 8-bit
// bytes taken as they are.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/ferryreg/reg_data.h"

namespace ferry::regtool {

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";

struct RegOperation {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  KeyPath key;
  ValueData value;  // the name for value operations; type and bytes for kSetValue
  int line = 0;     // where the operation starts in the file

  bool operator==(const RegOperation&) const = default;
};

struct RegFileParse {
  std::vector<RegOperation> operations;
  int errorLine = 0;  // 1-based line of the first malformed line
  std::string error;  // empty when the whole file is well formed

  bool ok() const { return error.empty(); }
};

RegFileParse ParseRegFile(std::string_view text);

}  // namespace ferry::regtool
