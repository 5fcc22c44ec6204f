// Winsock must be started in a process before its first socket call. The
// service starts it through StartNetworking; the sockets below also start it
// themselves once, so that programs which never call StartNetworking (the
// scripted peers, the test programs) work the same. WSAStartup counts its
// callers, so the two never clash.
#pragma once

#include <winsock2.h>

namespace ferry::win32 {

inline bool WinsockReady() {
  static const bool ready = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 0), &data) == 0;
  }();
  return ready;
}

}  // namespace ferry::win32
