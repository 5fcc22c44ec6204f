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
// Warning: the SMTP server refused a message for good; it stays on the POP3
// server, marked refused in the ledger (strings: connection, account, message
// number, From, Subject, the server's reply, the message's unique id).
inline constexpr uint32_t kEventMessageRefused = 64;
// Error: a run ended before it was done (strings: connection, account, the
// step, the reason in words with the server's reply where there was one).
inline constexpr uint32_t kEventRunFailed = 65;
// The settings store and the runs it refuses.
inline constexpr uint32_t kEventStoreUnusable = 70;     // error: the store cannot be used at start
inline constexpr uint32_t kEventStoreWriteFailed = 71;  // error: a value could not be written
inline constexpr uint32_t kEventRunInUse = 72;          // warning: a run of the account is still in progress
// Running and administering the service.
inline constexpr uint32_t kEventTriggerPortUnusable = 76;  // error: port, reason; the service does not start
inline constexpr uint32_t kEventCommandFailed = 77;        // warning: connection, account, command, outcome
inline constexpr uint32_t kEventAdminVerbFailed = 78;      // error: the verb (-install, -remove), the reason
inline constexpr uint32_t kEventSettingsSaved = 79;        // information: the .reg file -remove wrote
// TLS and the SMTP login; strings: connection, account, then as listed.
inline constexpr uint32_t kEventTlsRefused = 66;           // error: protocol, host, reason
inline constexpr uint32_t kEventTlsCertificateWarning = 67;  // warning: host, reason (opportunistic STARTTLS)
inline constexpr uint32_t kEventNoStartTls = 68;           // error: protocol, host, command not offered
inline constexpr uint32_t kEventLoginWithoutTls = 69;      // warning: host, user
// Error: the authorization server refused the account's OAuth refresh token
// (revoked, expired consent, wrong client); the run ends before any mail is
// touched (strings: connection, account, the server's answer).
inline constexpr uint32_t kEventOAuthRefused = 73;
// The news tickers (warnings); strings: connection, account, then as listed.
inline constexpr uint32_t kEventTickerPageStatus = 80;  // site, page, status: the page is not mailed
inline constexpr uint32_t kEventTickerCopyFailed = 81;  // folder, reason: no copy of the page was written
inline constexpr uint32_t kEventTickerStateFailed = 82; // file, reason: items may be mailed again
inline constexpr uint32_t kEventFeedFailed = 83;       // feed, URL, reason: no item of the feed is mailed
inline constexpr uint32_t kEventFeedStatus = 84;       // feed, URL, status: the answer is not read
inline constexpr uint32_t kEventFeedStateFailed = 85;  // file, reason: feed items may be mailed again
// Warnings (type kEventWarning), each at most once per account run: a message
// left on the POP3 server because it is larger than "Max Size" (strings:
// account, message number, size) or than the SMTP server's SIZE (strings:
// account, message number, size, the server's limit).
inline constexpr uint32_t kEventMessageOverMaxSize = 0x80000028;
inline constexpr uint32_t kEventMessageOverServerSize = 0x80000029;
inline constexpr uint32_t kEventFailure = 0xC0000000;
inline constexpr uint32_t kEventTransferError = 0xC000001E;

}  // namespace ferry
