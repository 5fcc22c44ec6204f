// The words of the TLS failure reasons, the same on every system.
#include "platform/tls.h"

namespace ferry::net {

const char* TlsFailureText(TlsFailure reason) {
  switch (reason) {
    case TlsFailure::None: return "no failure";
    case TlsFailure::Expired: return "certificate has expired";
    case TlsFailure::NotYetValid: return "certificate is not yet valid";
    case TlsFailure::WrongHostName: return "certificate is for another host name";
    case TlsFailure::UnknownIssuer: return "certificate issuer is unknown";
    case TlsFailure::HandshakeFailed: return "TLS handshake failed";
    case TlsFailure::ProtocolTooOld: return "server offers only TLS versions older than 1.2";
    case TlsFailure::TimedOut: return "TLS handshake timed out";
    case TlsFailure::Other: return "TLS connection refused";
  }
  return "TLS connection refused";
}

}  // namespace ferry::net
