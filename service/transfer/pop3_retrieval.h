// The POP3 dialogue of an account run: from the greeting to the last RETR
// (messages go into the MailList, delivered in batches), and the DELE of the
// delivered messages.
#pragma once

#include <cstddef>
#include <string>

namespace ferry {

class RunContext;

// On a context whose POP3 channel is connected. Catches every transfer error
// itself: the records stored so far stay in the MailList. Returns 0.
int RetrieveMessages(RunContext& context);

// With "POP Delete" set, DELE for every delivered record with a server number;
// then the list is emptied. Returns 0.
int PurgeMessages(RunContext& context);

// The sender value of the sender notice: the rest of the first line that
// follows "\r\nFrom:" and one more character; false when there is none.
bool NoticeSender(const std::string& received, std::string* sender);

}  // namespace ferry
