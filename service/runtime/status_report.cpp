#include "service/runtime/status_report.h"

namespace ferry {

std::string FormatStatus(const std::vector<LastRun>& runs) {
  if (runs.empty()) return "No accounts. Make one with \"mailferry2 -create CONNECTION ACCOUNT\".\n";
  std::string out;
  for (const LastRun& run : runs) {
    out += run.connectionName + "\\" + run.accountName + "\n";
    if (run.time.empty()) {
      out += "  last run:   never\n";
      continue;
    }
    out += "  last run:   " + run.time + "\n";
    out += "  outcome:    " + run.outcome + "\n";
    out += "  forwarded:  " + std::to_string(run.forwarded) + "\n";
    out += "  left:       " + std::to_string(run.left) + "\n";
    out += "  last error: " + (run.error.empty() ? std::string("-") : run.error) + "\n";
  }
  return out;
}

}  // namespace ferry
