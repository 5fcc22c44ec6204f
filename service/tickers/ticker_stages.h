// The news ticker stages of an account run. Each runs with the account's
// "Addressmode Ticker" in place of its "Addressmode" and RunStage 2.
#pragma once

namespace ferry {

class RunContext;

// After the last delivery of a POP3 session's mail, before its deletes: the
// links of the messages still in the MailList. Does nothing without
// "Enable Wissenschaft".
void CollectScienceLinks(RunContext& context);
// Once the POP3 session is closed (its deletes committed): fetches the
// collected items and delivers their mails. Does nothing without
// "Enable Wissenschaft".
void RunScienceTickerStage(RunContext& context);
// After the run report: the CT newsticker, its delivery and its report
// (event 105). Does nothing without "Enable CT".
void RunCtTickerStage(RunContext& context);

}  // namespace ferry
