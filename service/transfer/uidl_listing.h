// Reading the unique ids of a POP3 mailbox: the entries of a UIDL reply.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

// A unique id is 1 to 70 characters from 0x21 to 0x7E.
inline constexpr std::size_t kMaxUidlLength = 70;
bool IsValidUidl(std::string_view uidl);

// The most entries taken from one listing.
inline constexpr std::size_t kMaxUidlEntries = 200000;

struct UidlEntry {
  int32_t number;
  std::string uidl;
  bool operator==(const UidlEntry&) const = default;
};

// One entry: a message number of 1 or more, blanks, a valid id, nothing else
// but trailing blanks or CR. Nothing for any other line.
std::optional<UidlEntry> ParseUidlLine(std::string_view line);

// The entries of a multi-line UIDL reply (the text after its status line),
// up to a line "." or the end. Malformed lines are left out; `tooMany` tells
// whether entries beyond kMaxUidlEntries were left out.
std::vector<UidlEntry> ParseUidlListing(std::string_view entries, bool* tooMany);

}  // namespace ferry
