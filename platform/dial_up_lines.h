// The active dial-up lines of the system. On Windows these are the connections of
// the Remote Access Service (rasapi32.dll, loaded by name). On Linux they are the
// point-to-point interfaces that are up (IFF_POINTOPOINT: ppp, wwan, tun and the
// like): the handle is the interface index (a ppp link gets a new index each time
// it comes up), the entry name the interface name. Ethernet and Wi-Fi interfaces
// are the office's permanent network, never a line: a server with only eth0 has
// no line and polls the permanent connection "NORAS" when "Listen RAS" is 0.
// Loopback is never a line either.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ferry {

inline constexpr int kMaxDialUpLines = 20;

struct DialUpLine {
  uint64_t handle = 0;  // never 0 for an active line
  std::string entryName;
};

// Binds the system's dial-up library. False when it is not available; the
// enumeration then always fails.
bool LoadDialUpLibrary();
void FreeDialUpLibrary();

// Lists the active lines into `lines` (at most kMaxDialUpLines) and sets `*count`
// to the number the system reports. Returns 0 on success; nonzero on failure,
// also when more than kMaxDialUpLines lines are active (then `*count` tells how
// many there are and `lines` is left empty).
int EnumerateDialUpLines(std::vector<DialUpLine>* lines, int* count);

}  // namespace ferry
