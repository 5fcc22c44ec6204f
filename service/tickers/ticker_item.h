// One item page a ticker stage fetches, and the item lists of an account run.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

// The fields are bounded: a longer text is cut. A path is never cut short of
// a whole link (kMaxLinkLength); a longer link is refused before it is asked for.
struct TickerItem {
  static constexpr std::size_t kPathKept = 2000;  // kMaxLinkLength
  static constexpr std::size_t kHostKept = 40;
  static constexpr std::size_t kTitleKept = 159;

  std::string path;   // request target: path and query
  std::string host;   // the ticker site's name
  std::string title;  // the decoded title (CT items only)
};

inline TickerItem MakeTickerItem(std::string_view path, std::string_view host, std::string_view title = {}) {
  return TickerItem{std::string(path.substr(0, TickerItem::kPathKept)),
                    std::string(host.substr(0, TickerItem::kHostKept)),
                    std::string(title.substr(0, TickerItem::kTitleKept))};
}

using TickerItemList = std::vector<TickerItem>;

}  // namespace ferry
