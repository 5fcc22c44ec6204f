// The opening of an SMTP session: connect, greeting, EHLO (HELO when the
// server does not know EHLO). What the server announced comes back.
#pragma once

#include "service/transfer/size_limits.h"

namespace ferry {

class RunContext;

// Raises a TransferError when the server cannot be reached or refuses the
// session; the channel is left open and in step on success.
EhloCapabilities OpenSmtpSession(RunContext& context);

}  // namespace ferry
