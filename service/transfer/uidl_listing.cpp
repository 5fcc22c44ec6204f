#include "service/transfer/uidl_listing.h"

#include <limits>

namespace ferry {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool IsValidUidl(std::string_view uidl) {
  if (uidl.empty() || uidl.size() > kMaxUidlLength) return false;
  for (char c : uidl) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

std::optional<UidlEntry> ParseUidlLine(std::string_view line) {
  while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r')) line.remove_suffix(1);
  std::size_t i = 0;
  int64_t number = 0;
  for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
    number = number * 10 + (line[i] - '0');
    if (number > std::numeric_limits<int32_t>::max()) return std::nullopt;
  }
  if (number == 0 || i == line.size() || !IsBlank(line[i])) return std::nullopt;
  while (i < line.size() && IsBlank(line[i])) ++i;
  std::string_view uidl = line.substr(i);
  if (!IsValidUidl(uidl)) return std::nullopt;
  return UidlEntry{static_cast<int32_t>(number), std::string(uidl)};
}

std::vector<UidlEntry> ParseUidlListing(std::string_view entries, bool* tooMany) {
  *tooMany = false;
  std::vector<UidlEntry> out;
  while (!entries.empty()) {
    std::size_t lf = entries.find('\n');
    std::string_view line = entries.substr(0, lf);
    entries.remove_prefix(lf == std::string_view::npos ? entries.size() : lf + 1);
    if (line == "." || line == ".\r") break;
    std::optional<UidlEntry> entry = ParseUidlLine(line);
    if (!entry) continue;
    if (out.size() == kMaxUidlEntries) {
      *tooMany = true;
      break;
    }
    out.push_back(std::move(*entry));
  }
  return out;
}

}  // namespace ferry
