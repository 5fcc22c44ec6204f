// One run of one account: fetch, forward, delete, report.
#pragma once

namespace ferry {

class RunContext;

inline constexpr int kRunDone = 0;
inline constexpr int kRunInUse = 10;
inline constexpr int kRunNotEnabled = 20;

// Runs the account on the settings `context` holds: sets "In Use" and hands
// that state over (StateChanged) before it connects, and clears it again at the
// end. The mailbox's delivery ledger is claimed for the whole run: a mailbox
// that another run holds is not run (kRunInUse, with a warning event), nor is
// one whose ledger cannot be read (an error event naming the file). Returns
// kRunDone, kRunInUse or kRunNotEnabled.
int RunAccount(RunContext& context);

}  // namespace ferry
