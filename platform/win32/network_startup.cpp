// Winsock 2.0 for the service's lifetime.
#include "platform/network_startup.h"

#include <winsock2.h>

namespace ferry {

bool StartNetworking() {
  WSADATA data{};
  return WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void StopNetworking() { WSACleanup(); }

}  // namespace ferry
