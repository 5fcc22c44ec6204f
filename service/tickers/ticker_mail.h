// What becomes of a fetched ticker page: a copy in a folder and an HTML mail
// on the account's MailList, delivered in batches of "Max Mails".
#pragma once

#include <string>
#include <string_view>

namespace ferry {

class RunContext;

// Writes `text` to the file `name` + ".htm" inside `folder` (the name made
// safe first), replacing an older file; in the current folder when `folder` is
// empty or is no folder. A file that cannot be written is passed over silently.
// Returns the path written to, empty when nothing was written.
std::string SaveTickerPage(const std::string& folder, std::string_view name, std::string_view text);

// Queues the mail made of `header` and `body` (which ends with the mail
// terminator), counts it, and delivers the queue when a batch is full.
void QueueTickerMail(RunContext& context, const std::string& header, std::string_view body);

}  // namespace ferry
