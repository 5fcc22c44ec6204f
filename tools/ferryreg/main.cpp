// ferryreg: the command-line tool over the settings store (query, add, delete,
// export, import), for scripts, headless hosts and the demo.
#include <iostream>
#include <string>
#include <vector>

#include "tools/ferryreg/commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return ferry::regtool::RunFerryReg(args, std::cin, std::cout, std::cerr);
}
