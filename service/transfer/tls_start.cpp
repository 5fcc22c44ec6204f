#include "service/transfer/tls_start.h"

#include <algorithm>
#include <cstdint>

#include "platform/event_log.h"
#include "service/transfer/run_context.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

std::string TrustedCaFile(const RunContext& context) {
  const AccountSettings& s = context.settings;
  return s.tlsCaFile.empty() ? s.globalTlsCaFile : s.tlsCaFile;
}

void StartTlsOrRaise(RunContext& context, SocketChannel& channel, const std::string& host, const char* protocol,
                     bool opportunistic) {
  const AccountSettings& s = context.settings;
  net::TlsOptions options;
  options.serverName = host;
  options.caFile = TrustedCaFile(context);
  options.timeoutMs = static_cast<int>(std::min<long long>(context.Deadlines().pop3Reply.count(), INT32_MAX));
  if (options.timeoutMs <= 0) options.timeoutMs = static_cast<int>(kDefaultReceiveTimeout.count());
  options.acceptCertificateProblems = opportunistic;
  net::TlsError error;
  context.LogString(3, "TLS with %s", host);
  if (!channel.StartTls(options, &error)) {
    context.LogString(1, "TLS refused: %s", error.text + " (" + error.detail + ")");
    context.Event(kEventTlsRefused, kEventError, {s.connectionName, s.accountName, protocol, host, error.text});
    context.failureReported = true;  // this event is the run's failure event
    Raise(kErrorTls);
  }
  if (channel.DroppedBeforeTls() > 0) {
    context.LogNumber(2, "TLS: %d bytes sent before the handshake dropped",
                      static_cast<int32_t>(channel.DroppedBeforeTls()));
  }
  context.LogString(3, "TLS: %s", channel.TlsDescription());
  // Only a session of `opportunistic` can carry a problem.
  const net::TlsError& problem = channel.CertificateProblem();
  if (problem.reason != net::TlsFailure::None) {
    context.LogString(2, "TLS certificate not accepted, going on encrypted: %s",
                      problem.text + " (" + problem.detail + ")");
    context.Event(kEventTlsCertificateWarning, kEventWarning, {s.connectionName, s.accountName, host, problem.text});
  }
}

void RaiseNotOffered(RunContext& context, const std::string& host, const char* protocol, const char* command) {
  const AccountSettings& s = context.settings;
  context.LogString(1, "TLS required, but the server does not offer %s", command);
  context.Event(kEventNoStartTls, kEventError, {s.connectionName, s.accountName, protocol, host, command});
  context.failureReported = true;  // this event is the run's failure event
  Raise(kErrorTls);
}

}  // namespace ferry
