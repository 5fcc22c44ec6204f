// mailferry2: the gateway service. The shell has already split the command line,
// so the argument table is argv (its first 15 entries).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "service/runtime/command_line.h"
#include "service/runtime/service_entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc && args.size() < ferry::kMaxArguments; ++i) args.emplace_back(argv[i]);
  int status = ferry::ProcessEntry(args);
  // Account workers are never waited for: they end with the process. Leaving
  // without static destructors keeps a worker still at work from meeting torn
  // down globals (the store, the run guards).
  std::fflush(nullptr);
  std::_Exit(status);
}
