// The two ways a user authorises an account once: the device grant (a code
// entered in a browser anywhere) and the authorization-code grant with PKCE
// and a loopback redirect on 127.0.0.1. Both tell the user what to do through
// `say`, one line at a time.
#pragma once

#include <functional>
#include <string>

#include "service/oauth/token_grants.h"

namespace ferry::oauth {

using Say = std::function<void(const std::string& line)>;

// Prints the verification URL and the user code, then polls until the user
// has confirmed, denied, or the code expired.
GrantOutcome AuthorizeWithDevice(const OAuthClient& client, const Say& say, const PollWait& wait);

// Listens on 127.0.0.1 (a port the system picks), prints the URL to open,
// waits at most `waitMs` for the browser's redirect (requests without the
// right state are answered and ignored), and exchanges the code.
GrantOutcome AuthorizeWithBrowser(const OAuthClient& client, const std::string& loginHint, const Say& say,
                                  int waitMs);

}  // namespace ferry::oauth
