// The opening of an SMTP session: connect (TLS at once with "SMTP Security"
// 3), greeting, EHLO (HELO when the server does not know EHLO), STARTTLS and
// EHLO again with "SMTP Security" 1 or 2, and the login when "SMTP User" is
// set. What the server announced (over TLS, once started) comes back.
#pragma once

#include "service/transfer/size_limits.h"

namespace ferry {

class RunContext;

// Raises a TransferError when the server cannot be reached or refuses the
// session; the channel is left open and in step on success.
EhloCapabilities OpenSmtpSession(RunContext& context);

}  // namespace ferry
