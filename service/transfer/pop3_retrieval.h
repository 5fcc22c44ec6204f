// The POP3 dialogue of an account run: from the greeting to the last RETR
// (messages go into the MailList, delivered in batches), and the DELE of the
// delivered messages.
#pragma once

#include <cstddef>
#include <string>

namespace ferry {

class RunContext;

// The most of a LIST or UIDL reply that is read: room for well over 100,000
// entries with the longest unique ids.
inline constexpr std::size_t kMaxListingBytes = 16 * 1024 * 1024;

// Connects the (created) POP3 channel to the account's server and port; with
// "POP Security" 3 TLS starts right after the connect. Raises kErrorNoConnection,
// or kErrorTls after its event when the server is refused.
void ConnectPop3(RunContext& context);

// On a context whose POP3 channel is connected: login, STAT, LIST, UIDL; with
// the ledger's plan DELE for what is to go, then RETR of every message to be
// fetched, delivered in batches of "Max Mails". With "POP Security" 1 or 2 the
// greeting is followed by CAPA and STLS; no login goes out in clear. A message the server answers
// RETR with a negative status is skipped (reported) and the next one taken.
// Catches every transfer error itself: the records read whole stay in the
// MailList; a connection left out of step is closed at once. Returns 0.
int RetrieveMessages(RunContext& context);

// With "POP Delete" set and the session in step, DELE for every delivered
// record with a server number; then the list is emptied. Never raises: a DELE
// whose reply does not arrive whole closes the session out of step. Returns 0.
int PurgeMessages(RunContext& context);

// QUIT on a session that is in step (what commits its deletes), then closes
// it; `level` is the log level of the command and reply. A QUIT that is not
// answered whole leaves the deletes to RepairDeletes.
void QuitMailbox(RunContext& context, int level);

// When the run's session was closed out of step (or its QUIT not answered)
// and the ledger has messages of its listing to delete: one fresh session
// (login, UIDL, DELE for what the ledger says is to go, QUIT). At most once
// per run; anything still left is deleted by the next run.
void RepairDeletes(RunContext& context);

// The sender value of the sender notice: the rest of the first line that
// follows "\r\nFrom:" and one more character; false when there is none.
bool NoticeSender(const std::string& received, std::string* sender);

}  // namespace ferry
