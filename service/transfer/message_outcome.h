// What becomes of one mailbox message at the SMTP server beyond its plain
// acceptance: the recipients an earlier run already finished, and a refusal
// for good (kept in the ledger, so the message stays on the POP3 server and is
// not uploaded again until the user releases it).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferry {

class MailRecord;
class RunContext;

// The recipients the ledger holds for a message accepted by some of its
// recipients in an earlier run; empty for every other message.
std::vector<std::string> DoneRecipients(const RunContext& context, const MailRecord& record);

// `recipients` without those in `done` (addresses compared without regard to
// ASCII letter case), in their order.
std::vector<std::string> Missing(const std::vector<std::string>& recipients, const std::vector<std::string>& done);

// Writes to the ledger the recipients a message is done with (accepted, or
// refused for good) while others are still to be tried, without counting the
// message as forwarded.
void RecordDoneSoFar(RunContext& context, const MailRecord& record, const std::vector<std::string>& recipients);

// The text of a header for an event: unfolded, control characters as blanks,
// cut to `limit` bytes; empty when the block has no such header.
std::string HeaderForEvent(std::string_view headerBlock, std::string_view name, std::size_t limit);

// The server refused a message for good (a 5xx to MAIL FROM, DATA or the final
// "."): marks it refused in the ledger and reports it as a warning event naming
// the message, its sender and subject, and the server's reply.
void RefuseMessage(RunContext& context, const MailRecord& record, std::string_view headerBlock,
                   std::string_view reply);

}  // namespace ferry
