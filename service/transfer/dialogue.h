// The steps shared by the POP3 and SMTP dialogues: a command sent in full, and
// a whole reply read, each reported like every transfer.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "service/transfer/reply_reader.h"

namespace ferry {

class RunContext;

// How much of one reply is kept and logged.
inline constexpr std::size_t kGreetingKept = 180;
inline constexpr std::size_t kReplyKept = 1024;

// Sends every byte of `command` unless the send stalls past the run's send
// time-out; returns the bytes taken.
std::size_t SendCommand(RunContext& context, SocketChannel& channel, std::string_view command);

// Each within the run's deadline for it: a POP3 status line, an SMTP reply (by
// default the deadline of a command's reply; `whole` for the replies to DATA
// and the text).
Reply ReadPop3Status(RunContext& context, SocketChannel& channel);
Reply ReadSmtpReply(RunContext& context, SocketChannel& channel);
Reply ReadSmtpReply(RunContext& context, SocketChannel& channel, std::chrono::milliseconds whole);

// The first `capacity` bytes of a reply.
std::string Kept(std::string_view text, std::size_t capacity);

// Raises kErrorProtocol, after a level-2 log line naming the step, when the
// reply did not arrive whole.
void RequireWhole(RunContext& context, const Reply& reply, const char* step);

}  // namespace ferry
