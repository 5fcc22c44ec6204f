// What an account run hands out of itself: events, UDP notices and its state.
// The run never writes the event log, sends a notice or touches the store on
// its own; whoever runs it supplies these (the service's worker, or a test).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/transfer/account_settings.h"

namespace ferry {

class RunReports {
 public:
  virtual ~RunReports() = default;

  // One event with one insertion string, of the type its id calls for.
  virtual void Event(uint32_t id, const std::string& text) = 0;
  // One event of `type` with any number of insertion strings (the run reports).
  virtual void Event(uint32_t id, uint16_t type, const std::vector<std::string>& strings) = 0;
  // One notice datagram on the low 16 bits of `port`.
  virtual void Notice(const std::string& text, uint32_t port) = 0;
  // The run changed its state ("In Use" set at its start): `settings` as they
  // are now, for whoever keeps them.
  virtual void StateChanged(const AccountSettings& settings) = 0;
};

}  // namespace ferry
