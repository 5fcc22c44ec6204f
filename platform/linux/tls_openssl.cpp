// The TLS client over OpenSSL (platform/tls.h). OpenSSL reads and writes memory
// buffers only; the bytes cross the socket through tls_transport.h, so each
// wait has a deadline and the seam's error codes. Every session has its own
// SSL_CTX (OpenSSL 3 initialises itself once, thread-safely).
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <climits>

#include "platform/socket_calls.h"
#include "platform/tls.h"
#include "platform/tls_transport.h"

namespace ferry::net {
namespace {

constexpr std::size_t kChunk = 16 * 1024;
constexpr std::size_t kDropBound = 64 * 1024;

std::string LibraryErrors() {
  std::string text;
  while (unsigned long code = ERR_get_error()) {
    std::array<char, 256> line{};
    ERR_error_string_n(code, line.data(), line.size());
    if (!text.empty()) text += "; ";
    text += line.data();
  }
  return text;
}

bool IsAddressLiteral(const std::string& name) {
  uint32_t ignored = 0;
  return name.find(':') != std::string::npos || sys::ParseIpv4(name.c_str(), &ignored);
}

TlsFailure FromVerifyResult(long result) {
  switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CRL_HAS_EXPIRED: return TlsFailure::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CRL_NOT_YET_VALID: return TlsFailure::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH: return TlsFailure::WrongHostName;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED: return TlsFailure::UnknownIssuer;
    default: return TlsFailure::Other;
  }
}

bool IsVersionRefusal(unsigned long code) {
  if (ERR_GET_LIB(code) != ERR_LIB_SSL) return false;
  switch (ERR_GET_REASON(code)) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_UNSUPPORTED_SSL_VERSION: return true;
    default: return false;
  }
}

class OpenSslSession final : public TlsSession {
 public:
  OpenSslSession(SocketHandle socket, int timeoutMs) : socket_(socket), timeoutMs_(timeoutMs) {}
  ~OpenSslSession() override {
    SSL_free(ssl_);  // frees both memory BIOs
    SSL_CTX_free(context_);
  }
  OpenSslSession(const OpenSslSession&) = delete;
  OpenSslSession& operator=(const OpenSslSession&) = delete;

  bool Setup(const TlsOptions& options, TlsError* error);
  bool Handshake(TlsError* error);

  long Send(const char* data, std::size_t length) override;
  long Receive(char* buffer, std::size_t capacity) override;
  std::size_t Pending() const override { return static_cast<std::size_t>(SSL_pending(ssl_)); }
  std::size_t Buffered() const override { return Pending() + BIO_ctrl_pending(incoming_); }
  void Close() override;
  std::string Description() const override;
  std::size_t DroppedBeforeHandshake() const override { return dropped_; }

 private:
  // Sends what OpenSSL has written to its outgoing buffer.
  bool Flush();
  // Moves one receive's bytes into OpenSSL's incoming buffer: as ReceiveBefore.
  long Fill(tls::Clock::time_point deadline);
  bool Fail(TlsError* error, TlsFailure reason, std::string detail);

  SocketHandle socket_;
  int timeoutMs_;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  BIO* incoming_ = nullptr;
  BIO* outgoing_ = nullptr;
  std::size_t dropped_ = 0;
  bool closed_ = false;
  bool acceptProblems_ = false;
};

bool OpenSslSession::Fail(TlsError* error, TlsFailure reason, std::string detail) {
  if (error != nullptr) {
    error->reason = reason;
    error->text = TlsFailureText(reason);
    error->detail = std::move(detail);
  }
  return false;
}

bool OpenSslSession::Setup(const TlsOptions& options, TlsError* error) {
  if (options.serverName.empty()) return Fail(error, TlsFailure::Other, "no server name to check the certificate against");
  ERR_clear_error();
  context_ = SSL_CTX_new(TLS_client_method());
  if (context_ == nullptr) return Fail(error, TlsFailure::Other, LibraryErrors());
  SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
  // Without SSL_VERIFY_PEER the chain and name are still checked; the result
  // is read after the handshake.
  acceptProblems_ = options.acceptCertificateProblems;
  SSL_CTX_set_verify(context_, acceptProblems_ ? SSL_VERIFY_NONE : SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_options(context_, SSL_OP_NO_RENEGOTIATION);
  if (SSL_CTX_set_default_verify_paths(context_) != 1) return Fail(error, TlsFailure::Other, LibraryErrors());
  if (!options.caFile.empty() && SSL_CTX_load_verify_locations(context_, options.caFile.c_str(), nullptr) != 1) {
    return Fail(error, TlsFailure::Other, "CA file " + options.caFile + " cannot be read: " + LibraryErrors());
  }

  ssl_ = SSL_new(context_);
  incoming_ = BIO_new(BIO_s_mem());
  outgoing_ = BIO_new(BIO_s_mem());
  if (ssl_ == nullptr || incoming_ == nullptr || outgoing_ == nullptr) {
    BIO_free(incoming_);
    BIO_free(outgoing_);
    return Fail(error, TlsFailure::Other, LibraryErrors());
  }
  // An empty buffer means "wait for more", not the end of the stream.
  BIO_set_mem_eof_return(incoming_, -1);
  BIO_set_mem_eof_return(outgoing_, -1);
  SSL_set_bio(ssl_, incoming_, outgoing_);

  bool checked = false;
  if (IsAddressLiteral(options.serverName)) {
    checked = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), options.serverName.c_str()) == 1;
  } else {
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    checked = SSL_set1_host(ssl_, options.serverName.c_str()) == 1 &&
              SSL_set_tlsext_host_name(ssl_, options.serverName.c_str()) == 1;
  }
  if (!checked) return Fail(error, TlsFailure::Other, "server name " + options.serverName + " cannot be checked");
  return true;
}

bool OpenSslSession::Flush() {
  std::array<char, kChunk> chunk{};
  while (BIO_ctrl_pending(outgoing_) > 0) {
    int n = BIO_read(outgoing_, chunk.data(), static_cast<int>(chunk.size()));
    if (n <= 0) break;
    if (!tls::SendEverything(socket_, chunk.data(), static_cast<std::size_t>(n))) return false;
  }
  return true;
}

long OpenSslSession::Fill(tls::Clock::time_point deadline) {
  std::array<char, kChunk> chunk{};
  long n = tls::ReceiveBefore(socket_, chunk.data(), chunk.size(), deadline);
  if (n > 0) BIO_write(incoming_, chunk.data(), static_cast<int>(n));
  return n;
}

bool OpenSslSession::Handshake(TlsError* error) {
  dropped_ = tls::DropWaitingBytes(socket_, kDropBound);
  auto deadline = tls::DeadlineAfter(timeoutMs_);
  for (;;) {
    ERR_clear_error();
    int rc = SSL_connect(ssl_);
    int status = SSL_get_error(ssl_, rc);
    bool flushed = Flush();  // the hello, the next flight, or the alert of a refusal
    if (rc == 1) {
      if (!flushed) return Fail(error, TlsFailure::HandshakeFailed, "connection lost after the handshake");
      long verified = SSL_get_verify_result(ssl_);
      if (acceptProblems_ && verified != X509_V_OK) {
        Fail(&certificateProblem_, FromVerifyResult(verified), X509_verify_cert_error_string(verified));
      }
      return true;
    }
    if (status == SSL_ERROR_WANT_READ && flushed) {
      long n = Fill(deadline);
      if (n > 0) continue;
      if (n == 0) return Fail(error, TlsFailure::HandshakeFailed, "server closed the connection during the handshake");
      if (LastSocketError() == kErrorTimedOut) {
        return Fail(error, TlsFailure::TimedOut, "no answer within " + std::to_string(timeoutMs_) + " ms");
      }
      return Fail(error, TlsFailure::HandshakeFailed, "socket error " + std::to_string(LastSocketError()));
    }
    if (!flushed && status == SSL_ERROR_WANT_READ) {
      return Fail(error, TlsFailure::HandshakeFailed, "socket error " + std::to_string(LastSocketError()));
    }

    long verified = SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK) {
      ERR_clear_error();
      return Fail(error, FromVerifyResult(verified), X509_verify_cert_error_string(verified));
    }
    unsigned long first = ERR_peek_error();
    std::string detail = LibraryErrors();
    if (detail.empty()) detail = "TLS error " + std::to_string(status);
    return Fail(error, IsVersionRefusal(first) ? TlsFailure::ProtocolTooOld : TlsFailure::HandshakeFailed, detail);
  }
}

long OpenSslSession::Send(const char* data, std::size_t length) {
  if (closed_) {
    sys::RecordError(kErrorShutDown);
    return -1;
  }
  for (std::size_t at = 0; at < length;) {
    std::size_t piece = std::min(kChunk * 4, length - at);
    ERR_clear_error();
    int n = SSL_write(ssl_, data + at, static_cast<int>(piece));
    if (n <= 0) {
      ERR_clear_error();
      sys::RecordError(kErrorConnectionAborted);
      return -1;
    }
    if (!Flush()) return -1;
    at += static_cast<std::size_t>(n);
  }
  sys::RecordError(0);
  return static_cast<long>(length);
}

long OpenSslSession::Receive(char* buffer, std::size_t capacity) {
  if (capacity == 0) return 0;
  auto deadline = tls::DeadlineAfter(timeoutMs_);
  int wanted = static_cast<int>(std::min<std::size_t>(capacity, INT_MAX));
  for (;;) {
    ERR_clear_error();
    int n = SSL_read(ssl_, buffer, wanted);
    if (n > 0) {
      sys::RecordError(0);
      return n;
    }
    int status = SSL_get_error(ssl_, n);
    if (status == SSL_ERROR_ZERO_RETURN) {
      sys::RecordError(0);
      return 0;
    }
    if (status != SSL_ERROR_WANT_READ) {
      ERR_clear_error();
      sys::RecordError(kErrorConnectionAborted);
      return -1;
    }
    if (!Flush()) return -1;  // e.g. the answer to a key update
    long got = Fill(deadline);
    if (got <= 0) return got;
  }
}

void OpenSslSession::Close() {
  if (closed_) return;
  closed_ = true;
  ERR_clear_error();
  SSL_shutdown(ssl_);
  Flush();
  ERR_clear_error();
}

std::string OpenSslSession::Description() const {
  return std::string(SSL_get_version(ssl_)) + " " + SSL_get_cipher_name(ssl_);
}

}  // namespace

std::unique_ptr<TlsSession> StartTls(SocketHandle socket, const TlsOptions& options, TlsError* error) {
  if (error != nullptr) *error = TlsError{};
  auto session = std::make_unique<OpenSslSession>(socket, options.timeoutMs);
  if (!session->Setup(options, error) || !session->Handshake(error)) return nullptr;
  return session;
}

}  // namespace ferry::net
