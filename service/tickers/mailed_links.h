// The links a ticker has mailed, kept in a state file beside the store so
// that no item is mailed twice, across runs and within one. Bounded: the
// oldest links are forgotten first. A link is added only once the SMTP server
// accepted its mail.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

namespace ferry {

inline constexpr std::size_t kMailedLinksKept = 2000;
inline constexpr std::string_view kScienceLinksFile = "ticker-science.links";
inline constexpr std::string_view kCtLinksFile = "ticker-ct.links";

class MailedLinks {
 public:
  explicit MailedLinks(std::size_t kept = kMailedLinksKept) : kept_(kept) {}

  // One link a line, oldest first, as Text gives them.
  void Parse(std::string_view text);
  std::string Text() const;

  bool Contains(std::string_view link) const { return set_.contains(std::string(link)); }
  void Add(std::string_view link);
  // Adds the links of `other` (oldest first) that this set does not hold.
  void Merge(const MailedLinks& other);
  bool Empty() const { return order_.empty(); }
  std::size_t Size() const { return order_.size(); }

 private:
  std::size_t kept_;
  std::deque<std::string> order_;
  std::unordered_set<std::string> set_;
};

// The state file of a ticker in the state folder.
std::string MailedLinksPath(std::string_view fileName);
// The lock file a run holds while its CT ticker stage runs.
std::string CtStageLockPath();
// Reads the file into `links`; false (with `*reason`) when it exists but
// cannot be read. A missing file is an empty set.
bool LoadMailedLinks(const std::string& path, MailedLinks& links, std::string* reason);
// Adds the set to what the file holds now and writes the result atomically,
// under a lock file beside it (two runs saving at once lose nothing); false
// with `*reason` when it cannot.
bool SaveMailedLinks(const std::string& path, const MailedLinks& links, std::string* reason);

}  // namespace ferry
