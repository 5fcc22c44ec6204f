#include "service/transfer/account_run.h"

#include "service/runtime/account_context.h"

namespace ferry {

// The mail transfer is not built yet: no run takes place and none is reported.
int RunAccount(AccountContext& context) {
  context.LogText(1, "mail transfer not available in this build");
  return -1;
}

}  // namespace ferry
