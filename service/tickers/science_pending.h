// The science items a run found but could not mail: the mail that named them
// is forwarded and deleted, so a site that is down, a page cut short or a
// refused ticker mail would lose them. They are kept beside the mailbox's
// delivery ledger, "<ledger name>.science", and tried again in the account's
// next runs, a bounded number of runs; the run holds the ledger's lock, so no
// two runs of the account write the file at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

inline constexpr std::size_t kSciencePendingKept = 500;
// Runs in which an item is tried before it is given up.
inline constexpr int kSciencePendingRuns = 10;
inline constexpr std::size_t kMaxSciencePendingBytes = 1024 * 1024;

struct PendingScienceItem {
  std::string target;  // the request target of the item page
  int runs = 0;        // runs that tried it and could not mail it
};

// Oldest first, one item a line: "<runs> <target>". Targets hold no blank or
// control character; lines that are not of this shape are skipped.
std::string PendingScienceText(const std::vector<PendingScienceItem>& items);
std::vector<PendingScienceItem> ParsePendingScience(std::string_view text);

std::string SciencePendingPath(std::string_view popHost, std::string_view popUser);
// A missing file is no item; false with `*reason` when it cannot be read.
bool LoadPendingScience(const std::string& path, std::vector<PendingScienceItem>* items, std::string* reason);
// Writes the items (at most kSciencePendingKept, the newest) atomically; no
// item removes the file. False with `*reason` when it cannot.
bool SavePendingScience(const std::string& path, const std::vector<PendingScienceItem>& items, std::string* reason);

}  // namespace ferry
