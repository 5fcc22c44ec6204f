// What becomes of a fetched ticker page: a copy in a folder and an HTML mail
// on the account's MailList, delivered in batches of "Max Mails"; what the
// SMTP server accepted is told back to the stage that queued it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ferry {

class MailRecord;
struct TickerMailParts;
class RunContext;
struct TickerStageState;

// Writes `text` to the file `name` (made safe, see SafeFileName) + ".htm"
// inside `folder`, replacing an older file (a link of that name is replaced,
// never followed). Nothing is written when the folder is empty, missing or no
// folder, or the file cannot be written: the stage's first such failure is a
// warning event. Returns whether the copy was written.
bool SaveTickerPage(RunContext& context, TickerStageState& state, const std::string& folder, std::string_view name,
                    std::string_view text);

// Fills in the date (local time with its zone) and a new Message-ID.
void StampMail(TickerMailParts& parts);

// The mails of one ticker stage on their way to the SMTP server.
class TickerOutbox {
 public:
  explicit TickerOutbox(RunContext& context) : context_(context) {}
  TickerOutbox(const TickerOutbox&) = delete;
  TickerOutbox& operator=(const TickerOutbox&) = delete;

  // Queues `mail` (header and body, see TickerMimeMail) and counts it;
  // `accepted` runs once the SMTP server accepted it. A full batch is
  // delivered at once.
  void Queue(std::string_view mail, std::function<void()> accepted);
  // Delivers what is queued, tells back what was accepted and empties the list.
  void Flush();
  // Mails the SMTP server accepted so far.
  int32_t Accepted() const { return accepted_; }

 private:
  RunContext& context_;
  std::vector<std::pair<const MailRecord*, std::function<void()>>> pending_;
  int32_t accepted_ = 0;
};

}  // namespace ferry
