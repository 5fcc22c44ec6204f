// One run of one account: fetch, forward, delete, report.
#pragma once

namespace ferry {

class AccountContext;

inline constexpr int kRunDone = 0;
inline constexpr int kRunInUse = 10;
inline constexpr int kRunNotEnabled = 20;

// Runs the account whose settings `context` holds; returns kRunDone, kRunInUse
// or kRunNotEnabled.
int RunAccount(AccountContext& context);

}  // namespace ferry
