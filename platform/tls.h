// TLS on the client side of an already connected stream socket: the handshake,
// the check of the server's certificate, and encrypted sends and receives with
// the plain socket calls' conventions. One implementation per system:
// linux/tls_openssl.cpp (OpenSSL) and win32/tls_schannel.cpp (SChannel).
//
// Guarantees every implementation keeps:
// - Nothing but handshake messages leaves the client before the handshake has
//   finished and the certificate chain and host name were accepted; a refused
//   server gives no session, so a caller has nothing to send a password over.
// - Bytes that are already waiting on the socket when StartTls begins were sent
//   by the server before it could have seen our hello: they are read and
//   dropped, never decrypted and never handed out (the STARTTLS injection
//   class). Bytes the caller itself has buffered past the server's go-ahead
//   line are the caller's to drop before it calls StartTls.
// - Every wait is bounded: the sockets are read only after a wait for
//   readability with a deadline (TlsOptions::timeoutMs for the whole handshake,
//   and for each Receive). Sends block like the plain socket's sends do.
// - No state outside the session: sessions on different threads share nothing.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/socket.h"

namespace ferry::net {

struct TlsOptions {
  // The name the certificate must be for: a DNS name, or an IPv4 or IPv6
  // literal (checked against the certificate's IP addresses). Sent as SNI
  // when it is a name. Must not be empty.
  std::string serverName;
  // A PEM file of CA certificates trusted in addition to the system's roots
  // (an office's own CA); empty for the system's roots alone.
  std::string caFile;
  // Bounds the whole handshake and each Receive, in milliseconds.
  int timeoutMs = 10000;
  // Opportunistic TLS: the certificate is still checked, but a failed check
  // (expired, wrong host name, unknown issuer, ...) gives a session whose
  // CertificateProblem() tells why, instead of no session.
  bool acceptCertificateProblems = false;
};

// Why a TLS connection was not set up. TLS 1.2 is the oldest version accepted.
enum class TlsFailure {
  None,
  Expired,          // a certificate of the chain has expired
  NotYetValid,      // a certificate of the chain is not valid yet
  WrongHostName,    // the certificate is for another host name or address
  UnknownIssuer,    // self-signed, or from a CA that is not trusted
  HandshakeFailed,  // the server broke off, sent garbage, or no common cipher
  ProtocolTooOld,   // the server offers nothing newer than TLS 1.1
  TimedOut,         // the handshake did not finish in time
  Other,            // anything else (an unreadable CA file, a rejected chain, ...)
};

struct TlsError {
  TlsFailure reason = TlsFailure::None;
  // English words for an event: "certificate has expired".
  std::string text;
  // The TLS library's own words, for the debug log.
  std::string detail;
};

class TlsSession {
 public:
  virtual ~TlsSession() = default;

  // Encrypts and sends the bytes: `length` when every byte went out, -1 when
  // the socket failed (LastSocketError tells why).
  virtual long Send(const char* data, std::size_t length) = 0;
  // Decrypted bytes, at most `capacity`: the count, 0 when the server closed
  // (close_notify or end of stream), -1 on failure or when nothing came within
  // the time-out (LastSocketError then gives kErrorTimedOut).
  virtual long Receive(char* buffer, std::size_t capacity) = 0;
  // Decrypted bytes that a Receive hands out without reading the socket.
  virtual std::size_t Pending() const = 0;
  // Bytes already read from the socket and not yet handed out, decrypted or
  // not: while there are any, a wait for the socket to become readable may
  // wait for bytes the server will not send (it waits for our answer).
  virtual std::size_t Buffered() const = 0;
  // Sends close_notify (once); the socket stays open and the caller's to close.
  virtual void Close() = 0;

  // The protocol version and cipher, e.g. "TLSv1.3 TLS_AES_256_GCM_SHA384".
  virtual std::string Description() const = 0;
  // How many bytes were waiting on the socket before the handshake and were dropped.
  virtual std::size_t DroppedBeforeHandshake() const = 0;
  // Why the certificate check failed, for a session of
  // TlsOptions::acceptCertificateProblems; reason None when it passed.
  const TlsError& CertificateProblem() const { return certificateProblem_; }

 protected:
  TlsError certificateProblem_;
};

// Runs the handshake on the connected `socket` and checks the server's
// certificate. nullptr with `*error` filled in when the server is refused.
std::unique_ptr<TlsSession> StartTls(SocketHandle socket, const TlsOptions& options, TlsError* error);

// The words for a failure reason ("certificate has expired"), for events.
const char* TlsFailureText(TlsFailure reason);

}  // namespace ferry::net
