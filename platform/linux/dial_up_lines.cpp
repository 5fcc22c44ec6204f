// Dial-up lines on Linux: the network interfaces that are administratively up,
// loopback excepted (see the header for why).
#include "platform/dial_up_lines.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <set>

namespace ferry {

bool LoadDialUpLibrary() { return true; }
void FreeDialUpLibrary() {}

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
    if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
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
