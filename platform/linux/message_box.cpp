#include "platform/message_box.h"

#include <cstdio>

namespace ferry {

void ShowWarning(const std::string& text, const std::string& title) {
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace ferry
