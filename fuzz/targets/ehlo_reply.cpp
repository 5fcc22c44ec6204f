// EHLO replies: the capability lines are read whatever they hold; a size limit
// is only ever announced with SIZE; a message is over the limit exactly when
// it is larger; an announced "SIZE n" line reads back as n, in any case and
// wherever it stands among the other keyword lines.
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/transfer/size_limits.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);

  EhloCapabilities caps = ParseEhloReply(input);
  FUZZ_CHECK(caps.sizeLimit == 0 || caps.size);
  FUZZ_CHECK(!OverServerSize(caps, caps.sizeLimit));
  if (caps.sizeLimit != 0) FUZZ_CHECK(OverServerSize(caps, caps.sizeLimit + 1));

  // The input's first eight bytes as a limit, announced among keyword lines
  // made of the rest (without line ends, so that each stays one line).
  uint64_t limit = 0;
  std::memcpy(&limit, input.data(), std::min<std::size_t>(input.size(), sizeof limit));
  limit %= 1000000000000ULL;
  std::string other(input.substr(std::min<std::size_t>(input.size(), sizeof limit)));
  for (char& c : other) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string reply = "250-peer.test greets you\r\n250-" + other + "\r\n250-sIzE " + std::to_string(limit) +
                      "\r\n250 8BITMIME\r\n";
  EhloCapabilities announced = ParseEhloReply(reply);
  FUZZ_CHECK(announced.size);
  FUZZ_CHECK(announced.sizeLimit == limit);
  return 0;
}
