// One SMTP command and its reply, shared by the session opening and the
// message transactions.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace ferry {

class RunContext;

inline constexpr int kSmtpServiceClosing = 421;

// Raises kErrorProtocol when bytes are waiting before a command or the text is
// sent: they answer nothing that was sent, and read as the next reply they
// would put the dialogue out of step.
void RequireInStep(RunContext& context, const char* step);

// Sends a command and reads its whole reply within `deadline` (by default that
// of a command); a reply that does not arrive whole, or a 421, ends the
// connection. Returns the reply as kept.
std::string Exchange(RunContext& context, std::string_view command, const char* step,
                     std::chrono::milliseconds deadline = {});

// Sends a group of commands in one write (PIPELINING); a send that is cut
// short ends the connection. Their replies are read in order with
// ReadExchangeReply.
void SendGroup(RunContext& context, std::string_view commands, const char* step);

// Reads the reply to a command already sent, like Exchange.
std::string ReadExchangeReply(RunContext& context, const char* step, std::chrono::milliseconds deadline = {});

// For the commands of one message: true when accepted; false when the server
// rejected this message (4xx or 5xx); anything else ends the connection.
bool Accepted(RunContext& context, const std::string& reply);

}  // namespace ferry
