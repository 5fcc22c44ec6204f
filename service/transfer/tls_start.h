// Turning a run's plain connection into a TLS one: the options from the
// account's settings, the handshake, and the events of a refusal.
#pragma once

#include <string>

#include "platform/tls.h"

namespace ferry {

class RunContext;
class SocketChannel;

// The CA file a run's TLS connections trust besides the system's roots: the
// account's "TLS CA File", else the global one.
std::string TrustedCaFile(const RunContext& context);

// Starts TLS on `channel`, connected to `host`, for `protocol` ("POP3",
// "SMTP"). A refused server gives an error event naming the reason, a closed
// channel and a raised kErrorTls: nothing more goes over the connection. With
// `opportunistic` a failed certificate check is a warning event instead and
// the session goes on encrypted.
void StartTlsOrRaise(RunContext& context, SocketChannel& channel, const std::string& host, const char* protocol,
                     bool opportunistic = false);

// The error event and kErrorTls for a server that does not offer `command`
// (STLS, STARTTLS) where the account requires TLS.
[[noreturn]] void RaiseNotOffered(RunContext& context, const std::string& host, const char* protocol,
                                  const char* command);

}  // namespace ferry
