// What the feed stage keeps of each feed of an account between runs: the ids
// of the items mailed (bounded, oldest forgotten first), the validators of
// the last answer (ETag, Last-Modified) and when it was last fetched. One
// file beside the mailbox's delivery ledger, "<ledger name>.feeds", written
// atomically; the run holds the ledger's lock, so no two runs of the account
// write it at once.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "service/tickers/mailed_links.h"

namespace ferry {

inline constexpr std::size_t kFeedIdsKept = 1000;
inline constexpr std::size_t kMaxFeedStateBytes = 16 * 1024 * 1024;

struct FeedState {
  std::string etag;
  std::string lastModified;
  int64_t fetched = 0;  // seconds since 1970 (UTC) of the last fetch; 0: never
  MailedLinks ids{kFeedIdsKept};
};

// Feeds by name.
using FeedStates = std::map<std::string, FeedState>;

// "feed <name>", then "etag", "modified", "fetched" and one "id" line each;
// line ends and control characters in names and values become blanks.
std::string FeedStatesText(const FeedStates& states);
FeedStates ParseFeedStates(std::string_view text);

// The state file of the mailbox's feeds in the ledger folder.
std::string FeedStatePath(std::string_view popHost, std::string_view popUser);
// Reads the file; a missing file is no state. False with `*reason` when it
// exists but cannot be read.
bool LoadFeedStates(const std::string& path, FeedStates* states, std::string* reason);
// Writes the file atomically; false with `*reason` when it cannot.
bool SaveFeedStates(const std::string& path, const FeedStates& states, std::string* reason);

}  // namespace ferry
