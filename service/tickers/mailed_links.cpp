#include "service/tickers/mailed_links.h"

#include <chrono>
#include <thread>

#include "platform/state_files.h"
#include "service/tickers/ticker_links.h"

namespace ferry {

void MailedLinks::Parse(std::string_view text) {
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) Add(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

std::string MailedLinks::Text() const {
  std::string text;
  for (const std::string& link : order_) text.append(link).append("\n");
  return text;
}

void MailedLinks::Merge(const MailedLinks& other) {
  for (const std::string& link : other.order_) Add(link);
}

void MailedLinks::Add(std::string_view link) {
  if (link.empty() || link.find('\n') != std::string_view::npos || Contains(link)) return;
  order_.emplace_back(link);
  set_.insert(order_.back());
  while (order_.size() > kept_) {
    set_.erase(order_.front());
    order_.pop_front();
  }
}

std::string MailedLinksPath(std::string_view fileName) {
  return state::JoinStatePath(state::StateFolder(), fileName);
}

std::string CtStageLockPath() { return MailedLinksPath(kCtLinksFile) + ".stage"; }

bool LoadMailedLinks(const std::string& path, MailedLinks& links, std::string* reason) {
  std::string text;
  state::FileResult result = state::ReadWholeFile(path, (kMaxLinkLength + 2) * kMailedLinksKept, &text);
  if (result.status == state::FileStatus::kNotFound) return true;
  if (!result.ok()) {
    *reason = state::DescribeFileResult(result);
    return false;
  }
  links.Parse(text);
  return true;
}

bool SaveMailedLinks(const std::string& path, const MailedLinks& links, std::string* reason) {
  // Two runs may save at once: under the lock, what the file holds now is
  // kept and this run's links are added to it.
  state::FileLock lock;
  state::FileResult locked;
  for (int attempt = 0; attempt < 50; ++attempt) {
    locked = lock.TryLock(path + ".lock");
    if (locked.status != state::FileStatus::kBusy) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!locked.ok()) {
    *reason = state::DescribeFileResult(locked);
    return false;
  }
  MailedLinks merged;
  if (!LoadMailedLinks(path, merged, reason)) return false;
  merged.Merge(links);
  state::FileResult result = state::ReplaceFileAtomically(path, merged.Text());
  if (!result.ok()) {
    *reason = state::DescribeFileResult(result);
    return false;
  }
  return true;
}

}  // namespace ferry
