#include "service/transfer/delivery_plan.h"

namespace ferry {

RunPlan PlanRun(const std::vector<UidlEntry>& listing, const DeliveryLedger& ledger, const PlanOptions& options) {
  constexpr int64_t kSecondsPerDay = 86400;
  RunPlan plan;
  std::unordered_set<int32_t> numbers;
  for (const UidlEntry& listed : listing) {
    // A repeated number is the same message: it is fetched once. A repeated id
    // under another number is planned like the first (never lost; forwarded
    // twice at worst, once).
    if (!numbers.insert(listed.number).second) {
      plan.leave.push_back(listed.number);
      continue;
    }
    const LedgerEntry* entry = ledger.Find(listed.uidl);
    if (entry == nullptr || entry->state == LedgerState::kPartial) {
      plan.fetch.push_back(listed.number);
    } else if (entry->state == LedgerState::kRefused) {
      plan.leave.push_back(listed.number);
    } else if (options.popDelete ||
               (options.keepDays > 0 && options.now - entry->when >= options.keepDays * kSecondsPerDay)) {
      plan.remove.push_back(listed.number);
    } else {
      plan.keep.push_back(listed.number);
    }
  }
  return plan;
}

std::unordered_set<std::string> ListedIds(const std::vector<UidlEntry>& listing) {
  std::unordered_set<std::string> ids;
  for (const UidlEntry& listed : listing) ids.insert(listed.uidl);
  return ids;
}

}  // namespace ferry
