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

// Fetches the collected items, the last found first, until a connect fails;
// only a 200 page is mailed. Delivers every mail it queued before it returns.
void FetchScienceItems(RunContext& context);

}  // namespace ferry
