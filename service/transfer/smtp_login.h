// The SMTP login of an account with "SMTP User": AUTH PLAIN, else AUTH LOGIN
// (RFC 4954). The login data never reach the debug log.
#pragma once

#include "service/transfer/capability_lines.h"

namespace ferry {

class RunContext;

// Logs in with the account's "SMTP User" and "SMTP Passwort" over the opened
// session. Over a plain connection only with "SMTP Security" 0 (then with a
// warning event each run); otherwise kErrorTls after its event. Raises
// kErrorSmtpLogin when the server offers neither mechanism (with "SMTP Auth"
// set: not the OAuth mechanism chosen) or refuses the login.
void SmtpLogin(RunContext& context, const SmtpOffers& offers);

}  // namespace ferry
