// The science ticker: item links collected from the account's forwarded mail,
// each item page fetched once the POP3 session is closed, kept in "BDWDir" and
// mailed to "TickerEMail". A link whose mail the SMTP server accepted is kept
// in the ticker's state and never mailed again.
#pragma once

#include <string_view>

namespace ferry {

class RunContext;

// Scans every message still in the MailList (a delivered batch).
void ScanScienceLinks(RunContext& context);
// Appends one item per link in `text` to the account's science items.
void ScanMessageForScienceLinks(RunContext& context, std::string_view text);

// Whether the run has science items to fetch: links found in its mail, or
// items earlier runs could not mail and this run has not tried yet.
bool ScienceItemsWaiting(RunContext& context);
// Fetches the collected items, the last found first, then those earlier runs
// left, until a connect fails; only a 200 page is mailed. Delivers every mail
// it queued before it returns. An item not mailed (the site could not be
// reached, the page was cut or answered 5xx, the mail was refused) is kept
// for the account's next runs.
void FetchScienceItems(RunContext& context);

}  // namespace ferry
