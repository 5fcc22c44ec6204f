// A message for the person at the console: a message box on Windows, a line on
// standard error on Linux.
#pragma once

#include <string>

namespace ferry {

void ShowWarning(const std::string& text, const std::string& title);

}  // namespace ferry
