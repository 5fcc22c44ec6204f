// What a run does with each message the server lists, from its unique id and
// the mailbox's delivery ledger: fetch it, delete it, or leave it alone.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "service/transfer/delivery_ledger.h"
#include "service/transfer/uidl_listing.h"

namespace ferry {

struct PlanOptions {
  bool popDelete = false;  // delete what the SMTP server accepted
  int32_t keepDays = 0;    // without popDelete: delete what was accepted this
                           // many days ago or more; 0 keeps it for ever
  int64_t now = 0;         // seconds since 1970
};

// Message numbers in listing order.
struct RunPlan {
  std::vector<int32_t> fetch;   // new, or accepted by some recipients so far
  std::vector<int32_t> remove;  // accepted, and to be deleted from the server
  std::vector<int32_t> keep;    // accepted, and kept on the server
  std::vector<int32_t> leave;   // refused, or a number listed before
  bool operator==(const RunPlan&) const = default;
};

RunPlan PlanRun(const std::vector<UidlEntry>& listing, const DeliveryLedger& ledger, const PlanOptions& options);

// The unique ids of a listing, for DeliveryLedger::Prune.
std::unordered_set<std::string> ListedIds(const std::vector<UidlEntry>& listing);

}  // namespace ferry
