// The places of the news ticker stages in an account run. The tickers are not
// part of this build: an enabled stage says so in the debug log and sends nothing.
#pragma once

namespace ferry {

class AccountContext;

// Runs after the last delivery, with the account's "Addressmode Ticker" in force.
void RunScienceTickerStage(AccountContext& context);
// Runs after the run report; writes its own report when it mailed anything.
void RunCtTickerStage(AccountContext& context);

}  // namespace ferry
