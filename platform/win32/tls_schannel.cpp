// The TLS client over SChannel (platform/tls.h): secur32 for the handshake and
// the records, crypt32 for the certificate check. SChannel is told to leave the
// server's certificate to us (manual validation): the chain is built against
// the system's roots, checked with the SSL policy for the server name, and a
// chain whose root is a certificate of the CA file counts as trusted (the
// private CA of an office). The bytes cross the socket through tls_transport.h,
// so each wait has a deadline. TLS 1.2 is the version offered (1.3 would need
// the newer SCH_CREDENTIALS structure, which older systems and Wine lack).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/socket_calls.h"
#include "platform/win32/ca_file_store.h"
#include "platform/tls.h"
#include "platform/tls_server_hello.h"
#include "platform/tls_transport.h"

namespace ferry::net {
namespace {

constexpr std::size_t kChunk = 16 * 1024;
constexpr std::size_t kDropBound = 64 * 1024;
// More buffered ciphertext than the largest record can need: a broken peer.
constexpr std::size_t kIncomingBound = 256 * 1024;
// SSL_EXTRA_CERT_CHAIN_POLICY_PARA::fdwChecks: accept an untrusted root (the
// root is compared with the CA file's certificates instead), and skip the
// name check (an address is checked against the certificate's addresses here,
// as not every SChannel does).
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
constexpr DWORD kIgnoreName = 0x00001000;
// Chain states that mean the issuer is not trusted, whatever the policy said.
constexpr DWORD kBrokenChain = CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_NOT_SIGNATURE_VALID |
                               CERT_TRUST_IS_CYCLIC;

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                           ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

std::string StatusText(long status) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  std::string text = std::string("SChannel status ") + code;
  char* message = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<char*>(&message), 0, nullptr);
  if (length > 0 && message != nullptr) {
    std::string words(message, length);
    while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' ')) words.pop_back();
    text += ": " + words;
  }
  if (message != nullptr) LocalFree(message);
  return text;
}

std::wstring Widen(const std::string& text) {
  int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<std::size_t>(length) : 1U, L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

// An IPv4 or IPv6 literal as its bytes in network order; empty for a name.
std::string AddressBytes(const std::string& name) {
  in_addr v4{};
  if (inet_pton(AF_INET, name.c_str(), &v4) == 1) return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
  in6_addr v6{};
  if (inet_pton(AF_INET6, name.c_str(), &v6) == 1) return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
  return {};
}

// Whether the certificate's subject alternative names hold the address.
bool CertificateHasAddress(PCCERT_CONTEXT certificate, const std::string& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  PCERT_EXTENSION extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  if (extension == nullptr) return false;
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                           CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
    return false;
  }
  bool found = false;
  for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            std::string_view(reinterpret_cast<const char*>(entry.IPAddress.pbData), entry.IPAddress.cbData) == address;
  }
  LocalFree(names);
  return found;
}

bool RootIsIn(PCCERT_CHAIN_CONTEXT chain, HCERTSTORE store) {
  if (store == nullptr || chain->cChain == 0) return false;
  const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
  if (simple->cElement == 0) return false;
  PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
  PCCERT_CONTEXT candidate = nullptr;
  while ((candidate = CertEnumCertificatesInStore(store, candidate)) != nullptr) {
    if (CertCompareCertificate(X509_ASN_ENCODING, candidate->pCertInfo, root->pCertInfo)) {
      CertFreeCertificateContext(candidate);
      return true;
    }
  }
  return false;
}

// Expired and not yet valid share one policy error; the certificate's dates tell.
TlsFailure TimeFailure(PCCERT_CHAIN_CONTEXT chain) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  for (DWORD c = 0; c < chain->cChain; ++c) {
    const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[c];
    for (DWORD e = 0; e < simple->cElement; ++e) {
      const CERT_INFO* info = simple->rgpElement[e]->pCertContext->pCertInfo;
      if (CompareFileTime(&now, &info->NotBefore) < 0) return TlsFailure::NotYetValid;
      if (CompareFileTime(&now, &info->NotAfter) > 0) return TlsFailure::Expired;
    }
  }
  return TlsFailure::Expired;
}

TlsFailure FromPolicyError(DWORD error, PCCERT_CHAIN_CONTEXT chain) {
  switch (static_cast<HRESULT>(error)) {
    case CERT_E_EXPIRED:
    case CERT_E_VALIDITYPERIODNESTING: return TimeFailure(chain);
    case CERT_E_CN_NO_MATCH: return TlsFailure::WrongHostName;
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
    case TRUST_E_CERT_SIGNATURE: return TlsFailure::UnknownIssuer;
    default: return TlsFailure::Other;
  }
}

class SchannelSession final : public TlsSession {
 public:
  SchannelSession(SocketHandle socket, int timeoutMs) : socket_(socket), timeoutMs_(timeoutMs) {
    SecInvalidateHandle(&credentials_);
    SecInvalidateHandle(&context_);
  }
  ~SchannelSession() override {
    if (SecIsValidHandle(&context_)) DeleteSecurityContext(&context_);
    if (SecIsValidHandle(&credentials_)) FreeCredentialsHandle(&credentials_);
    if (caStore_ != nullptr) CertCloseStore(caStore_, 0);
  }
  SchannelSession(const SchannelSession&) = delete;
  SchannelSession& operator=(const SchannelSession&) = delete;

  bool Setup(const TlsOptions& options, TlsError* error);
  bool Handshake(TlsError* error);
  bool Verify(TlsError* error);
  bool acceptProblems = false;

  long Send(const char* data, std::size_t length) override;
  long Receive(char* buffer, std::size_t capacity) override;
  std::size_t Pending() const override { return plain_.size(); }
  std::size_t Buffered() const override { return plain_.size() + incoming_.size(); }
  void Close() override;
  std::string Description() const override;
  std::size_t DroppedBeforeHandshake() const override { return dropped_; }

 private:
  bool Fail(TlsError* error, TlsFailure reason, std::string detail);
  bool SendToken(SecBuffer& token);
  // Appends one receive's bytes to incoming_: as ReceiveBefore.
  long Fill(tls::Clock::time_point deadline);

  SocketHandle socket_;
  int timeoutMs_;
  std::string serverName_;
  CredHandle credentials_;
  CtxtHandle context_;
  HCERTSTORE caStore_ = nullptr;
  SecPkgContext_StreamSizes sizes_{};
  std::string incoming_;  // ciphertext not yet decrypted
  std::string firstAnswer_;  // the start of the server's first flight
  std::string plain_;     // decrypted, not yet handed out
  std::size_t dropped_ = 0;
  bool closed_ = false;
  bool ended_ = false;  // the server's close_notify came
};

bool SchannelSession::Fail(TlsError* error, TlsFailure reason, std::string detail) {
  if (error != nullptr) {
    error->reason = reason;
    error->text = TlsFailureText(reason);
    error->detail = std::move(detail);
  }
  return false;
}

bool SchannelSession::Setup(const TlsOptions& options, TlsError* error) {
  if (options.serverName.empty()) return Fail(error, TlsFailure::Other, "no server name to check the certificate against");
  serverName_ = options.serverName;
  if (!options.caFile.empty()) {
    std::string why;
    caStore_ = LoadCaFile(options.caFile, &why);
    if (caStore_ == nullptr) return Fail(error, TlsFailure::Other, why);
  }
  SCHANNEL_CRED credentials{};
  credentials.dwVersion = SCHANNEL_CRED_VERSION;
  credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry;
  SECURITY_STATUS status =
      AcquireCredentialsHandleA(nullptr, const_cast<char*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND, nullptr, &credentials,
                                nullptr, nullptr, &credentials_, &expiry);
  if (status != SEC_E_OK) {
    SecInvalidateHandle(&credentials_);
    return Fail(error, TlsFailure::Other, StatusText(status));
  }
  return true;
}

bool SchannelSession::SendToken(SecBuffer& token) {
  bool sent = true;
  if (token.pvBuffer != nullptr && token.cbBuffer > 0) {
    sent = tls::SendEverything(socket_, static_cast<const char*>(token.pvBuffer), token.cbBuffer);
  }
  if (token.pvBuffer != nullptr) FreeContextBuffer(token.pvBuffer);
  token.pvBuffer = nullptr;
  token.cbBuffer = 0;
  return sent;
}

long SchannelSession::Fill(tls::Clock::time_point deadline) {
  if (incoming_.size() > kIncomingBound) {
    sys::RecordError(kErrorMessageSize);
    return -1;
  }
  char chunk[kChunk];
  long n = tls::ReceiveBefore(socket_, chunk, sizeof chunk, deadline);
  if (n > 0) incoming_.append(chunk, static_cast<std::size_t>(n));
  return n;
}

bool SchannelSession::Handshake(TlsError* error) {
  dropped_ = tls::DropWaitingBytes(socket_, kDropBound);
  auto deadline = tls::DeadlineAfter(timeoutMs_);
  DWORD attributes = 0;
  TimeStamp expiry;

  SecBuffer hello{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc helloDesc{SECBUFFER_VERSION, 1, &hello};
  SECURITY_STATUS status =
      InitializeSecurityContextA(&credentials_, nullptr, const_cast<char*>(serverName_.c_str()), kRequest, 0, 0, nullptr,
                                 0, &context_, &helloDesc, &attributes, &expiry);
  if (status != SEC_I_CONTINUE_NEEDED) {
    SecInvalidateHandle(&context_);
    if (hello.pvBuffer != nullptr) FreeContextBuffer(hello.pvBuffer);
    return Fail(error, TlsFailure::HandshakeFailed, StatusText(status));
  }
  if (!SendToken(hello)) return Fail(error, TlsFailure::HandshakeFailed, "connection lost sending the hello");

  bool needMore = true;
  int credentialRetries = 0;
  for (;;) {
    if (needMore) {
      long n = Fill(deadline);
      if (n == 0) return Fail(error, TlsFailure::HandshakeFailed, "server closed the connection during the handshake");
      if (n < 0) {
        if (LastSocketError() == kErrorTimedOut) {
          return Fail(error, TlsFailure::TimedOut, "no answer within " + std::to_string(timeoutMs_) + " ms");
        }
        return Fail(error, TlsFailure::HandshakeFailed, "socket error " + std::to_string(LastSocketError()));
      }
    }
    if (firstAnswer_.empty()) firstAnswer_ = incoming_.substr(0, 16);
    SecBuffer in[2] = {{static_cast<unsigned long>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    status = InitializeSecurityContextA(&credentials_, &context_, const_cast<char*>(serverName_.c_str()), kRequest, 0,
                                        0, &inDesc, 0, nullptr, &outDesc, &attributes, &expiry);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (out[0].pvBuffer != nullptr) FreeContextBuffer(out[0].pvBuffer);
      needMore = true;
      continue;
    }
    if (status == SEC_I_INCOMPLETE_CREDENTIALS && ++credentialRetries <= 2) {
      // The server asks for a client certificate: the same input again goes
      // on without one.
      if (out[0].pvBuffer != nullptr) FreeContextBuffer(out[0].pvBuffer);
      needMore = false;
      continue;
    }
    // A failure may come with an alert for the server.
    if (!SendToken(out[0]) && !FAILED(status)) {
      return Fail(error, TlsFailure::HandshakeFailed, "connection lost during the handshake");
    }
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0) {
      incoming_.erase(0, incoming_.size() - in[1].cbBuffer);
    } else {
      incoming_.clear();
    }
    if (status == SEC_E_OK) break;
    if (status == SEC_I_CONTINUE_NEEDED) {
      needMore = incoming_.empty();
      continue;
    }
    // SChannels name a server stuck on TLS 1.0/1.1 differently; its hello tells.
    TlsFailure reason = (status == SEC_E_UNSUPPORTED_FUNCTION ||
                         tls::ReadServerVersion(firstAnswer_) == tls::ServerVersion::TooOld)
                            ? TlsFailure::ProtocolTooOld
                            : TlsFailure::HandshakeFailed;
    return Fail(error, reason, StatusText(status));
  }
  // What follows the handshake in incoming_ is the first records of data.
  status = QueryContextAttributesA(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_);
  if (status != SEC_E_OK) return Fail(error, TlsFailure::HandshakeFailed, StatusText(status));
  return true;
}

bool SchannelSession::Verify(TlsError* error) {
  PCCERT_CONTEXT server = nullptr;
  SECURITY_STATUS status = QueryContextAttributesA(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &server);
  if (status != SEC_E_OK || server == nullptr) {
    return Fail(error, TlsFailure::HandshakeFailed, "no server certificate: " + StatusText(status));
  }
  // The server's intermediates and the CA file's certificates help build the chain.
  HCERTSTORE extra = CertOpenStore(CERT_STORE_PROV_COLLECTION, 0, 0, 0, nullptr);
  if (extra != nullptr) {
    CertAddStoreToCollection(extra, server->hCertStore, 0, 0);
    if (caStore_ != nullptr) CertAddStoreToCollection(extra, caStore_, 0, 0);
  }
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool built = CertGetCertificateChain(nullptr, server, nullptr, extra != nullptr ? extra : server->hCertStore,
                                       &chainPara, 0, nullptr, &chain);
  std::string detail;
  TlsFailure reason = TlsFailure::None;
  if (!built || chain == nullptr) {
    reason = TlsFailure::Other;
    detail = "no certificate chain: " + StatusText(static_cast<long>(GetLastError()));
  } else {
    std::wstring name = Widen(serverName_);
    const std::string address = AddressBytes(serverName_);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    if (!address.empty()) ssl.fdwChecks = kIgnoreName;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    bool checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result);
    // A chain that ends in a root of the CA file is trusted; the other checks
    // (dates, name, usage) run again with only the unknown root let pass.
    const bool rootFromFile = RootIsIn(chain, caStore_);
    if (checked && static_cast<HRESULT>(result.dwError) == CERT_E_UNTRUSTEDROOT && rootFromFile) {
      ssl.fdwChecks |= kIgnoreUnknownCa;
      policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
      result = CERT_CHAIN_POLICY_STATUS{};
      result.cbSize = sizeof result;
      checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result);
    }
    if (!checked) {
      reason = TlsFailure::Other;
      detail = "the chain policy could not run: " + StatusText(static_cast<long>(GetLastError()));
    } else if (result.dwError != 0) {
      reason = FromPolicyError(result.dwError, chain);
      detail = StatusText(static_cast<long>(result.dwError));
    } else if (DWORD trust = chain->TrustStatus.dwErrorStatus;
               (trust & kBrokenChain) != 0 || ((trust & CERT_TRUST_IS_UNTRUSTED_ROOT) != 0 && !rootFromFile)) {
      // Not every SChannel's policy refuses a chain that ends short of a root.
      reason = TlsFailure::UnknownIssuer;
      char flags[64];
      std::snprintf(flags, sizeof flags, "chain trust status 0x%08lX", static_cast<unsigned long>(trust));
      detail = flags;
    } else if (!address.empty() && !CertificateHasAddress(server, address)) {
      reason = TlsFailure::WrongHostName;
      detail = "the certificate names no address " + serverName_;
    }
    CertFreeCertificateChain(chain);
  }
  if (extra != nullptr) CertCloseStore(extra, 0);
  CertFreeCertificateContext(server);
  if (reason != TlsFailure::None && acceptProblems) {
    Fail(&certificateProblem_, reason, detail);
    return true;
  }
  if (reason != TlsFailure::None) return Fail(error, reason, detail);
  return true;
}

long SchannelSession::Send(const char* data, std::size_t length) {
  if (closed_) {
    sys::RecordError(kErrorShutDown);
    return -1;
  }
  std::size_t most = std::max<std::size_t>(1, sizes_.cbMaximumMessage);
  std::vector<char> record(sizes_.cbHeader + most + sizes_.cbTrailer);
  for (std::size_t at = 0; at < length;) {
    std::size_t piece = std::min(most, length - at);
    std::copy(data + at, data + at + piece, record.begin() + sizes_.cbHeader);
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
        {static_cast<unsigned long>(piece), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + piece},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&context_, 0, &desc, 0) != SEC_E_OK) {
      sys::RecordError(kErrorConnectionAborted);
      return -1;
    }
    std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (!tls::SendEverything(socket_, record.data(), total)) return -1;
    at += piece;
  }
  sys::RecordError(0);
  return static_cast<long>(length);
}

long SchannelSession::Receive(char* buffer, std::size_t capacity) {
  if (capacity == 0) return 0;
  auto deadline = tls::DeadlineAfter(timeoutMs_);
  while (plain_.empty()) {
    if (ended_) {
      sys::RecordError(0);
      return 0;
    }
    SECURITY_STATUS status = SEC_E_INCOMPLETE_MESSAGE;
    if (!incoming_.empty()) {
      SecBuffer buffers[4] = {{static_cast<unsigned long>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      status = DecryptMessage(&context_, &desc, 0, nullptr);
      if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) {
        std::string extra;
        for (const SecBuffer& b : buffers) {
          if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) plain_.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
          if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) extra.assign(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
        }
        incoming_ = std::move(extra);
        if (status == SEC_I_CONTEXT_EXPIRED) ended_ = true;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) {
        // Renegotiation and broken records alike end the session.
        sys::RecordError(kErrorConnectionAborted);
        return -1;
      }
    }
    long n = Fill(deadline);
    if (n <= 0) return n;
  }
  std::size_t count = std::min(capacity, plain_.size());
  std::copy(plain_.begin(), plain_.begin() + static_cast<std::ptrdiff_t>(count), buffer);
  plain_.erase(0, count);
  sys::RecordError(0);
  return static_cast<long>(count);
}

void SchannelSession::Close() {
  if (closed_) return;
  closed_ = true;
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
  if (ApplyControlToken(&context_, &controlDesc) != SEC_E_OK) return;
  SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
  SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
  DWORD attributes = 0;
  TimeStamp expiry;
  SECURITY_STATUS status =
      InitializeSecurityContextA(&credentials_, &context_, const_cast<char*>(serverName_.c_str()), kRequest, 0, 0,
                                 nullptr, 0, nullptr, &outDesc, &attributes, &expiry);
  if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) {
    SendToken(out);
  } else if (out.pvBuffer != nullptr) {
    FreeContextBuffer(out.pvBuffer);
  }
}

std::string SchannelSession::Description() const {
  SecPkgContext_ConnectionInfo info{};
  if (QueryContextAttributesA(const_cast<CtxtHandle*>(&context_), SECPKG_ATTR_CONNECTION_INFO, &info) != SEC_E_OK) {
    return "TLS";
  }
  std::string version = "TLS";
  if (info.dwProtocol & SP_PROT_TLS1_2_CLIENT) version = "TLSv1.2";
  if (info.dwProtocol & SP_PROT_TLS1_3_CLIENT) version = "TLSv1.3";
  char cipher[64];
  std::snprintf(cipher, sizeof cipher, " cipher 0x%04X/%u bits", static_cast<unsigned>(info.aiCipher),
                static_cast<unsigned>(info.dwCipherStrength));
  return version + cipher;
}

}  // namespace

std::unique_ptr<TlsSession> StartTls(SocketHandle socket, const TlsOptions& options, TlsError* error) {
  if (error != nullptr) *error = TlsError{};
  auto session = std::make_unique<SchannelSession>(socket, options.timeoutMs);
  session->acceptProblems = options.acceptCertificateProblems;
  if (!session->Setup(options, error) || !session->Handshake(error) || !session->Verify(error)) return nullptr;
  return session;
}

}  // namespace ferry::net
