#include "service/tickers/science_pending.h"

#include <charconv>

#include "platform/state_files.h"
#include "service/transfer/delivery_ledger.h"

namespace ferry {
namespace {

bool IsTarget(std::string_view target) {
  if (target.empty() || target.front() != '/') return false;
  for (unsigned char c : target) {
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return true;
}

}  // namespace

std::string PendingScienceText(const std::vector<PendingScienceItem>& items) {
  std::string out;
  const std::size_t first = items.size() > kSciencePendingKept ? items.size() - kSciencePendingKept : 0;
  for (std::size_t i = first; i < items.size(); ++i) {
    if (!IsTarget(items[i].target)) continue;
    out += std::to_string(items[i].runs) + " " + items[i].target + "\n";
  }
  return out;
}

std::vector<PendingScienceItem> ParsePendingScience(std::string_view text) {
  std::vector<PendingScienceItem> items;
  std::size_t at = 0;
  while (at < text.size() && items.size() < kSciencePendingKept) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    PendingScienceItem item;
    const auto [stop, error] = std::from_chars(line.data(), line.data() + space, item.runs);
    if (error != std::errc() || stop != line.data() + space || item.runs < 0) continue;
    item.target = line.substr(space + 1);
    if (IsTarget(item.target)) items.push_back(std::move(item));
  }
  return items;
}

std::string SciencePendingPath(std::string_view popHost, std::string_view popUser) {
  return state::JoinStatePath(LedgerFolder(), LedgerFileName(popHost, popUser) + ".science");
}

bool LoadPendingScience(const std::string& path, std::vector<PendingScienceItem>* items, std::string* reason) {
  items->clear();
  std::string text;
  const state::FileResult result = state::ReadWholeFile(path, kMaxSciencePendingBytes, &text);
  if (result.status == state::FileStatus::kNotFound) return true;
  if (!result.ok()) {
    *reason = state::DescribeFileResult(result);
    return false;
  }
  *items = ParsePendingScience(text);
  return true;
}

bool SavePendingScience(const std::string& path, const std::vector<PendingScienceItem>& items, std::string* reason) {
  state::FileResult result;
  if (items.empty()) {
    result = state::RemoveFile(path);
    if (result.status == state::FileStatus::kNotFound) return true;
  } else {
    result = state::CreateOwnerFolder(LedgerFolder());
    if (result.ok()) result = state::ReplaceFileAtomically(path, PendingScienceText(items));
  }
  if (!result.ok()) {
    *reason = state::DescribeFileResult(result);
    return false;
  }
  return true;
}

}  // namespace ferry
