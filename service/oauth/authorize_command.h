// "mailferry2 -authorize CONNECTION ACCOUNT": runs the account's sign-in flow
// once (the device grant when a device-authorization endpoint is set, else
// the browser with a loopback redirect) and keeps the refresh token in the
// account's entry, where only the service writes it.
#pragma once

#include <string>

#include "service/oauth/authorize_flows.h"

namespace ferry {

// 0 when the account is authorised, 1 otherwise (the reason said through
// `say`). `wait` paces the device grant's polls; `browserWaitMs` bounds the
// wait for the browser's redirect.
int AuthorizeAccount(const std::string& connectionName, const std::string& accountName, const oauth::Say& say,
                     const oauth::PollWait& wait, int browserWaitMs);

}  // namespace ferry
