// Where the service sends what an account run reports: events to the event
// log, notices as UDP datagrams. The run's state is kept by the worker
// (StoredRun); here it is let go.
#pragma once

#include "service/runtime/service_events.h"
#include "service/runtime/udp_notice.h"
#include "service/transfer/run_reports.h"

namespace ferry {

class ServiceReports : public RunReports {
 public:
  void Event(uint32_t id, const std::string& text) override { ReportServiceEvent(id, text); }
  void Event(uint32_t id, uint16_t type, const std::vector<std::string>& strings) override {
    ReportServiceEvent(id, type, strings);
  }
  void Notice(const std::string& text, uint32_t port) override { BroadcastNotice(text, port); }
  void StateChanged(const AccountSettings&) override {}
};

}  // namespace ferry
