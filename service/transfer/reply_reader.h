// Reads one whole reply from a channel: receives until the framing function
// finds its end, the peer closes, a receive fails, the reply's time limit runs
// out or the reply grows past its bound.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "service/transfer/socket_channel.h"

namespace ferry {

enum class ReplyEnd { Whole, Closed, Failed, TooLong };

struct Reply {
  std::string text;  // the whole reply, or what arrived of it
  ReplyEnd end = ReplyEnd::Failed;
  bool Whole() const { return end == ReplyEnd::Whole; }
};

// Bounds of what a sane peer sends as one reply.
inline constexpr std::size_t kMaxStatusReply = 16 * 1024;
inline constexpr std::size_t kMaxSmtpReply = 64 * 1024;

using ReplyFraming = std::size_t (*)(std::string_view buffered);

// Bytes past the reply's end stay in the channel for the next read.
Reply ReadReply(SocketChannel& channel, ReplyFraming framing, std::size_t bound, const TransferReport& report,
                const ReceiveLimit& limit);

}  // namespace ferry
