// mailferry2: the gateway service. The shell has already split the command line,
// so the argument table is argv (its first 15 entries).
#include <string>
#include <vector>

#include "service/runtime/command_line.h"
#include "service/runtime/service_entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc && args.size() < ferry::kMaxArguments; ++i) args.emplace_back(argv[i]);
  return ferry::ProcessEntry(args);
}
