// The ids of the service's events in the event log (source "Mailferry Service"),
// those of the scheduler loop and those an account run reports.
#pragma once

#include <cstdint>

namespace ferry {

inline constexpr uint32_t kEventDispatcherFailed = 0;  // also "SetServiceStatus"
inline constexpr uint32_t kEventLoopStarted = 1;
inline constexpr uint32_t kEventLoopEnded = 2;
inline constexpr uint32_t kEventRunReport = 5;
inline constexpr uint32_t kEventTrigger = 10;
inline constexpr uint32_t kEventAddressReplaced = 20;
inline constexpr uint32_t kEventConnectionRun = 31;
inline constexpr uint32_t kEventConnecting = 32;
inline constexpr uint32_t kEventTickerReport = 105;
// The mailbox's delivery ledger and the messages a run could not take.
inline constexpr uint32_t kEventNoUniqueIds = 60;     // warning: the server lists no unique ids
inline constexpr uint32_t kEventLedgerBusy = 61;      // warning: another run holds the mailbox
inline constexpr uint32_t kEventLedgerFailed = 62;    // error: the ledger file cannot be read or written
inline constexpr uint32_t kEventMessageSkipped = 63;  // warning: a message could not be fetched
// TLS and the SMTP login; strings: connection, account, then as listed.
inline constexpr uint32_t kEventTlsRefused = 70;           // error: protocol, host, reason
inline constexpr uint32_t kEventTlsCertificateWarning = 71;  // warning: host, reason (opportunistic STARTTLS)
inline constexpr uint32_t kEventNoStartTls = 72;           // error: protocol, host, command not offered
inline constexpr uint32_t kEventLoginWithoutTls = 73;      // warning: host, user
// Warnings (type kEventWarning), each at most once per account run: a message
// left on the POP3 server because it is larger than "Max Size" (strings:
// account, message number, size) or than the SMTP server's SIZE (strings:
// account, message number, size, the server's limit).
inline constexpr uint32_t kEventMessageOverMaxSize = 0x80000028;
inline constexpr uint32_t kEventMessageOverServerSize = 0x80000029;
inline constexpr uint32_t kEventFailure = 0xC0000000;
inline constexpr uint32_t kEventTransferError = 0xC000001E;

}  // namespace ferry
