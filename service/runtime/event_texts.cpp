#include "service/runtime/event_texts.h"

#include <cstdio>

#include "service/transfer/event_ids.h"

namespace ferry {
namespace {

using P = EventPriority;

const EventText* Find(uint32_t eventId) {
  for (const EventText& e : EventTexts())
    if (e.id == eventId) return &e;
  return nullptr;
}

std::string IdText(uint32_t eventId) {
  char id[16];
  std::snprintf(id, sizeof id, eventId < 0x10000 ? "%u" : "0x%08X", eventId);
  return id;
}

}  // namespace

const std::vector<EventText>& EventTexts() {
  static const std::vector<EventText> kTexts{
      // Reported when the service manager could not be reached or told the state.
      {kEventDispatcherFailed, "Service control: %1", P::Warning},
      {kEventLoopStarted, "The mail gateway service has started.", P::Information},
      {kEventLoopEnded, "The mail gateway service has stopped.", P::Information},
      {kEventRunReport, "Connection %1, account %2: %3 message(s) forwarded.", P::Information},
      {kEventTrigger, "Trigger datagram received for connection %1.", P::Information},
      {kEventAddressReplaced, "%1: the account's own address was used instead.", P::Warning},
      {kEventConnectionRun, "A run of connection %1 begins.", P::Information},
      {kEventConnecting, "Connecting to %1.", P::Information},
      {kEventNoUniqueIds,
       "Connection %1, account %2: the POP3 server %3 lists no unique ids (UIDL). Messages are not recorded in the "
       "delivery ledger: a run that fails may forward some again, and without \"POP Delete\" every run forwards the "
       "whole mailbox.",
       P::Warning},
      {kEventLedgerBusy, "Connection %1, account %2: another run is using the mailbox (%3); this run is skipped.",
       P::Warning},
      {kEventLedgerFailed, "Connection %1, account %2: the delivery ledger %3 cannot be read or written: %4",
       P::Error},
      {kEventMessageSkipped,
       "Connection %1, account %2: message %3 could not be fetched (%4). It stays on the server and is tried again "
       "in the next run.",
       P::Warning},
      {kEventMessageRefused,
       "Connection %1, account %2: message %3 (From %4, Subject %5) refused: %6. It stays on the POP3 server and is "
       "not sent again until it is released: mailferry2 -release %1 %2 %7",
       P::Warning},
      {kEventRunFailed, "Connection %1, account %2: the run failed at %3: %4", P::Error},
      {kEventStoreUnusable, "The settings store %1 %2; the service does not start.", P::Error},
      {kEventStoreWriteFailed, "The settings store %1: %2 could not be written: %3", P::Error},
      {kEventTriggerPortUnusable, "The trigger port %1 cannot be bound: %2; the service does not start.", P::Error},
      {kEventCommandFailed, "Connection %1, account %2: the command %3 failed: %4. The run goes on.", P::Warning},
      {kEventAdminVerbFailed, "mailferry2 %1: %2", P::Error},
      {kEventSettingsSaved,
       "The service's settings were saved to %1 before it was removed; \"reg import %1\" puts them back.",
       P::Information},
      {kEventRunInUse,
       "Connection %1, account %2: a run of this account is still marked as in progress (\"In Use\"); this run is "
       "skipped.",
       P::Warning},
      {kEventTlsRefused,
       "Connection %1, account %2: TLS with the %3 server %4 was refused: %5. The connection was closed before any "
       "login or message was sent.",
       P::Error},
      {kEventTlsCertificateWarning,
       "Connection %1, account %2: the certificate of the SMTP server %3 failed its check (%4); the delivery goes on "
       "encrypted, as \"SMTP Security\" 1 allows.",
       P::Warning},
      {kEventNoStartTls,
       "Connection %1, account %2: the %3 server %4 does not offer %5; nothing is sent without TLS.", P::Error},
      {kEventLoginWithoutTls,
       "Connection %1, account %2: the SMTP login %4 is sent to %3 without TLS (\"SMTP Security\" is 0).",
       P::Warning},
      {kEventOAuthRefused,
       "Connection %1, account %2: the authorization server refused the sign-in (%3); no mail was fetched. Authorise "
       "again with mailferry2 -authorize %1 %2",
       P::Error},
      {kEventTickerPageStatus,
       "Connection %1, account %2: the ticker site %3 answered the page %4 with status %5; the page is not mailed.",
       P::Warning},
      {kEventTickerCopyFailed,
       "Connection %1, account %2: no copy of a ticker page was written to the folder \"%3\": %4.", P::Warning},
      {kEventTickerStateFailed,
       "Connection %1, account %2: the ticker state %3 cannot be read or written: %4. Items may be mailed again.",
       P::Warning},
      {kEventFeedFailed, "Connection %1, account %2: the news feed %3 (%4) was not read: %5.", P::Warning},
      {kEventFeedStatus,
       "Connection %1, account %2: the news feed %3 (%4) answered with status %5; no item is mailed.", P::Warning},
      {kEventFeedStateFailed,
       "Connection %1, account %2: the feed state %3 cannot be read or written: %4. Feed items may be mailed again.",
       P::Warning},
      {kEventTickerReport, "Connection %1, account %2: %3 ticker item(s) sent.", P::Information},
      {kEventMessageOverMaxSize, "%1: message %2 (%3 bytes) is larger than \"Max Size\"; it stays on the POP3 server.",
       P::Warning},
      {kEventMessageOverServerSize,
       "%1: message %2 (%3 bytes) is larger than the SMTP server accepts (%4 bytes); it stays on the POP3 server.",
       P::Warning},
      {kEventFailure, "Failure: %1", P::Error},
      {kEventTransferError, "Mail transfer error: %1", P::Error},
  };
  return kTexts;
}

std::string FillInsertions(std::string_view text, const std::vector<std::string>& strings) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%' || i + 1 == text.size()) {
      out += text[i];
    } else if (text[i + 1] >= '1' && text[i + 1] <= '9') {
      auto n = static_cast<std::size_t>(text[i + 1] - '1');
      if (n < strings.size()) out += strings[n];
      ++i;
    } else if (text[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ReadableEventLine(uint32_t eventId, const std::vector<std::string>& strings) {
  std::string line = "[event " + IdText(eventId) + "] ";
  if (const EventText* e = Find(eventId)) {
    line += FillInsertions(e->text, strings);
  } else {
    for (std::size_t i = 0; i < strings.size(); ++i) line += (i == 0 ? "" : ", ") + strings[i];
  }
  // One line per event: a line break inside an insertion string stays visible.
  for (char& c : line)
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  return line;
}

EventPriority PriorityOf(uint32_t eventId) {
  const EventText* e = Find(eventId);
  return e != nullptr ? e->priority : EventPriority::Information;
}

}  // namespace ferry
