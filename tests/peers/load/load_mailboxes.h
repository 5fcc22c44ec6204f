// The mailboxes of the load peers: many named mailboxes ("box1" ... "boxN"),
// each refilled over time with messages whose text is a pure function of their
// id, so that the sink can tell a delivered message from a damaged one. A
// mailbox is locked by one POP3 session at a time; deletions are committed at
// QUIT. Every committed deletion and every delivery is appended to a record
// file as it happens.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::load {

struct StoredMessage {
  std::string id;
  std::string text;
};

// The text of message `sequence` of mailbox `box`: headers in one of several
// forms (with and without From/To, lower-case names, bracketed and bare
// addresses), "X-Load-Id: <box>-<sequence>", a body of varying length with
// dot lines; every line ends in CR LF.
std::string MessageText(std::string_view box, uint64_t sequence);
std::string MessageId(std::string_view box, uint64_t sequence);

// The value of the first "X-Load-Id:" header of a text (empty when none).
std::string LoadIdOf(std::string_view text);

// POP3 dot-stuffing and its undoing, line by line (CR LF lines).
std::string DotStuff(std::string_view text);
std::string DotUnstuff(std::string_view text);

class Mailboxes {
 public:
  Mailboxes(int count, std::size_t cap, const std::string& outputFolder);
  ~Mailboxes();
  Mailboxes(const Mailboxes&) = delete;
  Mailboxes& operator=(const Mailboxes&) = delete;

  bool Exists(const std::string& name) const;
  // Locks the mailbox for a session and gives its messages as they are now;
  // false when another session holds it.
  bool Open(const std::string& name, std::vector<StoredMessage>* snapshot);
  // Removes the messages with these ids (a QUIT after DELE) and unlocks.
  void Commit(const std::string& name, const std::vector<std::string>& deletedIds);
  // Unlocks without removing (a session that ended without QUIT).
  void Abandon(const std::string& name);

  // Adds one new message to every mailbox that holds fewer than the cap.
  void Refill();

  // Records a message the sink accepted; `intact` when its text is the one
  // that was generated for its id. The first few damaged texts are kept as
  // damaged-N.txt for a look.
  void RecordDelivery(const std::string& id, bool intact, const std::string& text);

  // Writes the ids still in the mailboxes and the counts.
  void WriteFinalRecords(const std::string& summary);

 private:
  struct Box {
    std::vector<StoredMessage> messages;
    uint64_t next = 1;
    bool locked = false;
  };
  std::map<std::string, Box> boxes_;
  std::size_t cap_;
  std::string folder_;
  mutable std::mutex mutex_;
  std::FILE* generated_ = nullptr;
  std::FILE* deleted_ = nullptr;
  std::FILE* delivered_ = nullptr;

 public:
  // Counts for the summary (read under no lock once the servers stopped).
  uint64_t generatedCount = 0;
  uint64_t deletedCount = 0;
  uint64_t deliveredCount = 0;
  uint64_t damagedCount = 0;
  uint64_t sessions = 0;
  uint64_t lockRefusals = 0;
  uint64_t abandoned = 0;
};

}  // namespace ferry::load
