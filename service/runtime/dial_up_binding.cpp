#include "service/runtime/dial_up_binding.h"

#include <atomic>

namespace ferry {
namespace {

std::atomic<bool> gBound{false};

}  // namespace

void LoadRasBinding() { gBound = LoadDialUpLibrary(); }

void FreeRasBinding() {
  if (gBound.exchange(false)) FreeDialUpLibrary();
}

int EnumerateActiveLines(std::vector<DialUpLine>* lines, int* count) {
  if (!gBound) return -1;
  return EnumerateDialUpLines(lines, count);
}

}  // namespace ferry
