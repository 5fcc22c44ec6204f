// What a scripted peer does in place of its normal answer to one command.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::test {

struct PeerReply {
  enum class Then { Continue, Close, Hang, Stall };
  // Written one after another, each as a segment of its own.
  std::vector<std::string> segments;
  // Continue the dialogue, close the connection, fall silent (read and drop
  // until the client closes), or stop reading altogether (until the peer stops).
  Then then = Then::Continue;
  // A pause between two segments, so that each arrives in a receive of its own.
  int gapMs = 0;
};

// Called with each command line (CR LF included), and with "" for the greeting;
// an answer replaces the peer's own.
using PeerOverride = std::function<std::optional<PeerReply>(std::string_view command)>;

inline PeerReply Say(std::string text) { return PeerReply{{std::move(text)}, PeerReply::Then::Continue}; }
inline PeerReply SayAndClose(std::string text) { return PeerReply{{std::move(text)}, PeerReply::Then::Close}; }
inline PeerReply Silence() { return PeerReply{{}, PeerReply::Then::Hang}; }
inline PeerReply SayAndStopReading(std::string text) { return PeerReply{{std::move(text)}, PeerReply::Then::Stall}; }

}  // namespace ferry::test
