// The SMTP delivery: one connection per call that forwards every undelivered
// record of the MailList with its computed envelope and the x-info line.
#pragma once

#include <string_view>

namespace ferry {

class RunContext;

inline constexpr std::string_view kXInfoLine = "x-info: Forwarded from POP3 <-> SMTP Gateway\r\n";

// Marks a record delivered only once the server accepted its data. A message
// the server rejects stays undelivered and the delivery goes on with the next;
// a failed connection ends the call. Never raises; returns 0.
int DeliverMessages(RunContext& context);

}  // namespace ferry
