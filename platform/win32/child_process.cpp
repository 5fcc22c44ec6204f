// Another computer's store is reached through the system's remote registry
// here, so no program is run over SSH.
#include "platform/child_process.h"

namespace ferry {

ChildRun RunChild(const std::vector<std::string>& /*argv*/, std::string_view /*input*/, std::size_t /*maxOutput*/,
                  std::chrono::milliseconds /*deadline*/) {
  ChildRun run;
  run.error = "not available on this system";
  return run;
}

bool RemoteStoreOverSsh() { return false; }

}  // namespace ferry
