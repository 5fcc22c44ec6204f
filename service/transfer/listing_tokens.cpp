#include "service/transfer/listing_tokens.h"

#include <limits>

namespace ferry {
namespace {

constexpr std::string_view kSeparators = " ,.\n\r\t";

// The next token at or after `pos`; empty at the end.
std::string_view NextToken(std::string_view text, std::size_t& pos) {
  std::size_t start = text.find_first_not_of(kSeparators, pos);
  if (start == std::string_view::npos) {
    pos = text.size();
    return {};
  }
  std::size_t end = text.find_first_of(kSeparators, start);
  if (end == std::string_view::npos) end = text.size();
  pos = end;
  return text.substr(start, end - start);
}

}  // namespace

int32_t LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t value = 0;
  constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit + 1) value = kLimit + 1;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > kLimit ? kLimit : value);
}

int32_t StatCount(std::string_view reply) { return reply.size() > 4 ? LeadingNumber(reply.substr(4)) : 0; }

std::string_view ListingEntries(std::string_view listing) {
  std::size_t lf = listing.find('\n');
  return lf == std::string_view::npos ? std::string_view{} : listing.substr(lf + 1);
}

std::vector<ListingEntry> TokeniseListing(std::string_view entries, int32_t messageCount, int32_t lastTaken) {
  std::vector<ListingEntry> out;
  std::size_t pos = 0;
  for (std::string_view token = NextToken(entries, pos); !token.empty(); token = NextToken(entries, pos)) {
    ListingEntry entry{LeadingNumber(token), 0, false};
    if (entry.number < lastTaken && lastTaken < messageCount) {
      entry.number = lastTaken + 1;
      entry.outOfStep = true;
    }
    if (entry.number <= 0) break;
    std::string_view size = NextToken(entries, pos);
    if (!size.empty()) entry.size = LeadingNumber(size);
    out.push_back(entry);
    lastTaken = entry.number;
  }
  return out;
}

}  // namespace ferry
