// The CT newsticker's index page: the response status, the Last-Modified
// value, the item links and their titles. Pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/tickers/ticker_item.h"

namespace ferry {

inline constexpr std::string_view kCtIndexPath = "/newsticker/";
inline constexpr std::string_view kCtIndexCopyName = "CT NewsTicker";
inline constexpr std::size_t kLastDateKept = 59;
inline constexpr std::size_t kRawTitleKept = 79;

// The three characters after the protocol version and its blank in the first
// line ("304"); empty when the first line has no blank.
std::string ResponseStatus(std::string_view response);

// The value of "Last-Modified:" in `header`, its leading blank kept, cut to 59
// characters; false when the header has none ended by CR LF.
bool LastModifiedValue(std::string_view header, std::string* value);

// A raw title in Latin-1: line feed, CR, double quote, "/", ":" and "\" become
// blanks; an entity "&x...;" becomes one letter (a, o, u give the umlauts
// ä, ö, ü, any other letter itself); an "&" without a ";" after it stays as it is.
std::string DecodeCtTitle(std::string_view raw);

struct CtIndexScan {
  std::vector<TickerItem> items;  // in page order, newest first
  // The first item titled like "LastTitle" (items.size() when none is).
  std::size_t lastTitleAt = 0;
};

// Every item link of the index page. A link's path is taken whole (up to its
// quote, blank, angle bracket or control character) with its entities decoded;
// a link to this site by its full address keeps only the path, one to another
// site is passed over. The raw title runs from the ">" after the path to
// "</A>", or to the next "<" when the next link comes first.
CtIndexScan ScanCtIndex(std::string_view body, std::string_view lastTitle, std::string_view siteName);

}  // namespace ferry
