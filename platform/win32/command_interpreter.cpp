#include "platform/command_interpreter.h"

#include <cstdlib>

namespace ferry {

int RunCommandInterpreter(const std::string& command) { return std::system(command.c_str()); }

}  // namespace ferry
