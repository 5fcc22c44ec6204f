// The delivery ledger of one mailbox (POP host and user): which unique ids the
// SMTP server has accepted, for which recipients, and which it refused for
// good. A journal of text lines in an owner-only file beside the store, one
// record appended and flushed to the disk per change, rewritten whole only by
// Compact. The same format on every system:
//
//   A <uidl> <time> [<recipient>...]   accepted (delivery complete)
//   P <uidl> <time> <recipient>...     accepted by these recipients so far
//   R <uidl> <time> <reason>           refused for good: left on the server
//   L <uidl>                           refusal released by the user
//   D <uidl>                           forgotten (gone from the server)
//
// Fields are separated by one blank; <time> is seconds since 1970; recipients
// and reason have every byte outside 0x21..0x7E and '%' written as %XX. Later
// lines of an id update its entry; recipients accumulate. A line without its
// line feed (a crash during the write) and malformed lines are skipped.
// Removing the file resets the mailbox's ledger.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/state_files.h"

namespace ferry {

// The most of a ledger file that is read.
inline constexpr std::size_t kMaxLedgerBytes = 64 * 1024 * 1024;

// The folder of the ledgers: "ledgers" in the state folder beside the store.
std::string LedgerFolder();

// The file name of a mailbox's ledger: "<host>_<user>_<hash>.ledger" with the
// host in lower case, both cut short and with every byte outside
// [A-Za-z0-9._-] written as %XX; the hash (64-bit FNV-1a of the lower-case
// host and the user, hex) keeps mailboxes apart whatever the cut or case.
std::string LedgerFileName(std::string_view popHost, std::string_view popUser);

enum class LedgerState { kPartial, kAccepted, kRefused };

struct LedgerEntry {
  LedgerState state = LedgerState::kPartial;
  int64_t when = 0;                     // time of its last A, P or R record
  std::vector<std::string> recipients;  // sorted, each once
  std::string reason;                   // of a refusal
};

class DeliveryLedger {
 public:
  // The ledger file `fileName` in `folder` (created when first written).
  DeliveryLedger(std::string folder, std::string fileName);
  // The ledger of a mailbox in LedgerFolder().
  static DeliveryLedger ForMailbox(std::string_view popHost, std::string_view popUser);

  // Claims the mailbox (the lock file "<file>.lock": kBusy while another
  // ledger object of the same mailbox, in any thread or process, holds it)
  // and reads the file (at most kMaxLedgerBytes); a missing file is an empty
  // ledger. On failure the ledger stays unloaded and writes nothing.
  state::FileResult Load();
  // Ends the journal and gives up the claim (also when the object ends).
  void Close();

  // Each record loads the ledger when it is not loaded, and is appended and
  // flushed before it returns. The entry in memory changes even when the
  // write fails (the result says so); an id that is not valid (IsValidUidl)
  // is refused with kInvalid and changes nothing.
  state::FileResult RecordAccepted(std::string_view uidl, const std::vector<std::string>& recipients, int64_t now);
  state::FileResult RecordPartial(std::string_view uidl, const std::vector<std::string>& recipients, int64_t now);
  state::FileResult RecordRefused(std::string_view uidl, std::string_view reason, int64_t now);
  // Lifts a refusal: the message is uploaded again by the next run.
  state::FileResult Release(std::string_view uidl);
  state::FileResult Forget(std::string_view uidl);
  // Forgets every id the server no longer lists (one write). Only with a
  // complete listing: an id left out is forwarded again if it comes back.
  state::FileResult Prune(const std::unordered_set<std::string>& listed);
  // Rewrites the file atomically with one record per live entry (and without
  // a torn last line). Loads first when not loaded.
  state::FileResult Compact();

  bool IsAccepted(std::string_view uidl) const;
  bool IsRefused(std::string_view uidl) const;
  // The entry of an id, or null.
  const LedgerEntry* Find(std::string_view uidl) const;
  // The refused ids, sorted.
  std::vector<std::string> RefusedIds() const;
  // The accepted ids whose acceptance is older than `cutoff` (for "Keep Days").
  std::vector<std::string> AcceptedBefore(int64_t cutoff) const;

  std::size_t size() const { return entries_.size(); }
  // Lines of the last Load that were skipped as malformed or torn.
  std::size_t skippedLines() const { return skipped_; }
  const std::string& path() const { return path_; }

 private:
  // Applies one record line; false when it is malformed.
  bool Apply(std::string_view line);
  state::FileResult EnsureLoaded();
  state::FileResult OpenJournal();
  state::FileResult Write(std::string_view uidl, const std::string& line);

  std::string folder_;
  std::string path_;
  std::unordered_map<std::string, LedgerEntry> entries_;
  state::FileLock lock_;
  state::AppendFile journal_;
  bool loaded_ = false;
  bool torn_ = false;  // the file ends without a line feed
  std::size_t skipped_ = 0;
};

}  // namespace ferry
