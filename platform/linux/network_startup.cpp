#include "platform/network_startup.h"

#include <csignal>

namespace ferry {

bool StartNetworking() {
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}

void StopNetworking() {}

}  // namespace ferry
