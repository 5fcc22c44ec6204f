// How the dialogues report a failed send or receive, and the SMTP reply test.
#pragma once

#include <string>
#include <string_view>

#include "service/transfer/socket_channel.h"

namespace ferry {

class RunContext;

// The event text for a socket error code; empty when nothing is to be reported.
std::string TransferErrorText(int socketError);

// After every send and receive of a dialogue: a result of 0 or less is reported
// with the thread's last socket error, as an event when DebugLevel is 4 or more.
void ReportTransferError(RunContext& context, long result);

// The report bound to one account, for the channel's helpers.
TransferReport ReportFor(RunContext& context);

// Accepts the codes 250, 251 and 354 (returns -1); any other code is logged at
// level 4 and raises kErrorRejected.
int CheckSmtpReply(RunContext& context, std::string_view reply);

}  // namespace ferry
