// Lifting the refusals of a mailbox's delivery ledger ("mailferry2 -release"):
// the messages the SMTP server refused for good stay on the POP3 server and
// are sent again by the next run once released.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/transfer/delivery_ledger.h"

namespace ferry {

struct ReleaseResult {
  std::vector<std::string> released;  // the unique ids released
  std::string error;                  // empty on success
};

// Releases one refused id, or every refused id for "all" (any letter case).
// Loads the ledger (and claims the mailbox) first: fails while a run holds
// the mailbox, or when the id is not refused.
ReleaseResult ReleaseRefusals(DeliveryLedger& ledger, std::string_view which);

}  // namespace ferry
