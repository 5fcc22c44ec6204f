#include "service/transfer/reply_reader.h"

#include <array>

namespace ferry {

Reply ReadReply(SocketChannel& channel, ReplyFraming framing, std::size_t bound, const TransferReport& report,
                const ReceiveLimit& limit) {
  Reply reply;
  std::array<char, 4096> chunk{};
  ReceiveWatch watch(limit);
  for (;;) {
    long n = channel.Receive(chunk.data(), chunk.size(), watch);
    if (report) report(n);
    if (n <= 0) {
      reply.end = n == 0 ? ReplyEnd::Closed : ReplyEnd::Failed;
      return reply;
    }
    reply.text.append(chunk.data(), static_cast<std::size_t>(n));
    if (std::size_t length = framing(reply.text); length != 0) {
      channel.Unread(std::string_view(reply.text).substr(length));
      reply.text.resize(length);
      reply.end = ReplyEnd::Whole;
      return reply;
    }
    if (reply.text.size() > bound) {
      reply.end = ReplyEnd::TooLong;
      return reply;
    }
  }
}

}  // namespace ferry
