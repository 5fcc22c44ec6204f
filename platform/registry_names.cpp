#include "platform/registry.h"

namespace ferry::reg {

std::string FoldName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = static_cast<char>(u - 0x20);
  }
  return out;
}

}  // namespace ferry::reg
