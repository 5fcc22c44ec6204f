#include "service/transfer/refusal_release.h"

#include "service/transfer/address_rules.h"

namespace ferry {

ReleaseResult ReleaseRefusals(DeliveryLedger& ledger, std::string_view which) {
  ReleaseResult result;
  state::FileResult loaded = ledger.Load();
  if (loaded.status == state::FileStatus::kBusy) {
    result.error = "a run is using the mailbox now; try again when it has ended";
    return result;
  }
  if (!loaded.ok()) {
    result.error = "the delivery ledger " + ledger.path() + " cannot be read: " + state::DescribeFileResult(loaded);
    return result;
  }
  std::vector<std::string> ids;
  if (IsLowerAscii(which, "all")) {
    ids = ledger.RefusedIds();
  } else if (ledger.IsRefused(which)) {
    ids.emplace_back(which);
  } else {
    result.error = "no refused message has the id \"" + std::string(which) + "\"";
    return result;
  }
  for (const std::string& id : ids) {
    state::FileResult written = ledger.Release(id);
    if (!written.ok()) {
      result.error = "the delivery ledger " + ledger.path() + " cannot be written: " + state::DescribeFileResult(written);
      return result;
    }
    result.released.push_back(id);
  }
  ledger.Close();
  return result;
}

}  // namespace ferry
