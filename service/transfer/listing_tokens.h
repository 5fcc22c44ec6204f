// Reading the numbers of the POP3 dialogue: the STAT count and the LIST entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace ferry {

// The decimal value of the text's leading sign and digits, as atoi reads it,
// but saturated at the limits of 32 bits; 0 when there are none.
int32_t LeadingNumber(std::string_view text);

// The message count of a STAT reply: the number after its first four characters.
int32_t StatCount(std::string_view reply);

// The most of a listing that the debug log shows (status line included).
inline constexpr std::size_t kListingKept = 8190;

// The entries of a listing: everything after its first line feed.
std::string_view ListingEntries(std::string_view listing);

struct ListingEntry {
  int32_t number;
  int32_t size;    // 0 when the listing has no size after the number
  bool outOfStep;  // the listed number was replaced by the last one taken plus 1
  bool operator==(const ListingEntry&) const = default;
};

// Splits the entries at blanks, commas, periods, CR, LF and tabs into number and
// size pairs. A number below the last one taken while fewer than `messageCount`
// have been taken is out of step and becomes the last plus 1; a number of 0 or
// less ends the list.
std::vector<ListingEntry> TokeniseListing(std::string_view entries, int32_t messageCount, int32_t lastTaken = 0);

}  // namespace ferry
