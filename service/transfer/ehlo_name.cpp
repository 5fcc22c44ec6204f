#include "service/transfer/ehlo_name.h"

#include <string_view>

#include "platform/system_info.h"
#include "service/transfer/run_context.h"

namespace ferry {

bool UsableEhloName(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  if (name.front() == '[') {
    if (name.size() < 3 || name.back() != ']') return false;
    for (char c : name.substr(1, name.size() - 2)) {
      if (c <= ' ' || c > '~' || c == '[' || c == ']' || c == '\\') return false;
    }
    return true;
  }
  std::size_t label = 0;
  char last = '.';
  for (char c : name) {
    bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (c == '.') {
      if (label == 0 || last == '-') return false;
      label = 0;
    } else if (letterOrDigit || (c == '-' && label != 0)) {
      if (++label > 63) return false;
    } else {
      return false;
    }
    last = c;
  }
  return label != 0 && last != '-';
}

std::string EhloName(const RunContext& context) { return EhloNameFor(context.settings.heloName); }

std::string EhloNameFor(std::string_view heloName) {
  if (UsableEhloName(heloName)) return std::string(heloName);
  std::string name = ComputerFullName();
  if (UsableEhloName(name)) return name;
  return "localhost";
}

}  // namespace ferry
