// Dial-up lines on Linux: the point-to-point interfaces that are
// administratively up (see the header for why).
#include "platform/dial_up_lines.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <set>

namespace ferry {

bool LoadDialUpLibrary() { return true; }
void FreeDialUpLibrary() {}

bool IsDialUpInterface(unsigned flags) {
  return (flags & IFF_UP) != 0 && (flags & IFF_POINTOPOINT) != 0 && (flags & IFF_LOOPBACK) == 0;
}

int EnumerateDialUpLines(std::vector<DialUpLine>* lines, int* count) {
  lines->clear();
  *count = 0;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return -1;
  // getifaddrs answers one entry per address family of an interface; the
  // interface index identifies it once. The order is the kernel's, which lists
  // interfaces by index.
  std::vector<DialUpLine> found;
  std::set<unsigned> seen;
  for (ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_name == nullptr) continue;
    if (!IsDialUpInterface(entry->ifa_flags)) continue;
    unsigned index = if_nametoindex(entry->ifa_name);
    if (index == 0 || !seen.insert(index).second) continue;
    found.push_back({index, entry->ifa_name});
  }
  freeifaddrs(list);
  *count = static_cast<int>(found.size());
  if (found.size() > static_cast<std::size_t>(kMaxDialUpLines)) return -2;
  *lines = std::move(found);
  return 0;
}

}  // namespace ferry
