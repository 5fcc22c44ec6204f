// The trigger datagram: a name is taken only from 2 to 30 bytes, ends at the
// first NUL, and is a prefix of the datagram.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/runtime/trigger_listener.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view datagram = fuzz::AsText(data, size);
  std::string name = "unchanged";
  bool taken = TriggerNameOf(datagram, &name);
  FUZZ_CHECK(taken == (size >= kMinTriggerLength && size <= kMaxTriggerLength));
  if (!taken) {
    FUZZ_CHECK(name == "unchanged");
    return 0;
  }
  FUZZ_CHECK(name.size() <= kMaxTriggerLength);
  FUZZ_CHECK(name.find('\0') == std::string::npos);
  FUZZ_CHECK(datagram.starts_with(name));
  return 0;
}
