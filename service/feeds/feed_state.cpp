#include "service/feeds/feed_state.h"

#include <charconv>

#include "platform/state_files.h"
#include "service/transfer/delivery_ledger.h"

namespace ferry {
namespace {

std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return out;
}

}  // namespace

std::string FeedStatesText(const FeedStates& states) {
  std::string out;
  for (const auto& [name, state] : states) {
    out += "feed " + OneLine(name) + "\n";
    if (!state.etag.empty()) out += "etag " + OneLine(state.etag) + "\n";
    if (!state.lastModified.empty()) out += "modified " + OneLine(state.lastModified) + "\n";
    out += "fetched " + std::to_string(state.fetched) + "\n";
    const std::string ids = state.ids.Text();
    std::size_t at = 0;
    while (at < ids.size()) {
      std::size_t end = ids.find('\n', at);
      if (end == std::string::npos) end = ids.size();
      if (end > at) out += "id " + ids.substr(at, end - at) + "\n";
      at = end + 1;
    }
  }
  return out;
}

FeedStates ParseFeedStates(std::string_view text) {
  FeedStates states;
  FeedState* current = nullptr;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const std::string_view word = line.substr(0, space);
    const std::string_view value = line.substr(space + 1);
    if (word == "feed") {
      current = &states[std::string(value)];
      continue;
    }
    if (current == nullptr) continue;
    if (word == "etag") current->etag = value;
    else if (word == "modified") current->lastModified = value;
    else if (word == "fetched") std::from_chars(value.data(), value.data() + value.size(), current->fetched);
    else if (word == "id" && !value.empty()) current->ids.Add(value);
  }
  return states;
}

std::string FeedStatePath(std::string_view popHost, std::string_view popUser) {
  return state::JoinStatePath(LedgerFolder(), LedgerFileName(popHost, popUser) + ".feeds");
}

bool LoadFeedStates(const std::string& path, FeedStates* states, std::string* reason) {
  states->clear();
  std::string text;
  const state::FileResult result = state::ReadWholeFile(path, kMaxFeedStateBytes, &text);
  if (result.status == state::FileStatus::kNotFound) return true;
  if (!result.ok()) {
    *reason = state::DescribeFileResult(result);
    return false;
  }
  *states = ParseFeedStates(text);
  return true;
}

bool SaveFeedStates(const std::string& path, const FeedStates& states, std::string* reason) {
  state::FileResult result = state::CreateOwnerFolder(LedgerFolder());
  if (result.ok()) result = state::ReplaceFileAtomically(path, FeedStatesText(states));
  if (!result.ok()) {
    *reason = state::DescribeFileResult(result);
    return false;
  }
  return true;
}

}  // namespace ferry
