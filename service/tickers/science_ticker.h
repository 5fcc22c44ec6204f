// The science ticker: item links collected from the account's forwarded mail,
// each item page fetched, kept in "BDWDir" and mailed to "TickerEMail".
#pragma once

#include <string_view>

namespace ferry {

class RunContext;

// Scans every message still in the MailList (a delivered batch).
void ScanScienceLinks(RunContext& context);
// Appends one item per link in `text` to the account's science items.
void ScanMessageForScienceLinks(RunContext& context, std::string_view text);

// Fetches the collected items, the last found first, until a connect fails.
//
// "Enable KeepAlive" only changes the request: it asks for a kept-alive
// connection, and since the server may then leave the connection open, the
// response ends with the length its header names. Every item is still
// fetched over a connection of its own, saved and mailed, as without it.
void FetchScienceItems(RunContext& context);

}  // namespace ferry
