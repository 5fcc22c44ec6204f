#include "service/transfer/ticker_stages.h"

#include "service/runtime/account_context.h"

namespace ferry {

void RunScienceTickerStage(AccountContext& context) {
  if (context.settings.enableWissenschaft == 0) return;
  context.LogText(1, "science ticker stage not available in this build");
}

void RunCtTickerStage(AccountContext& context) {
  if (context.settings.enableCt == 0) return;
  context.LogText(1, "CT newsticker stage not available in this build");
}

}  // namespace ferry
