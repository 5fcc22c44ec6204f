#include "tests/peers/tls_test_server.h"

#include <openssl/ecdsa.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "platform/socket_calls.h"

namespace ferry::test {
namespace {

constexpr long kDay = 24L * 3600L;
constexpr int kServerReceiveTimeoutMs = 5000;
constexpr std::size_t kLineBound = 1000;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

void Require(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test PKI: ") + what);
}

Key NewKey() {
  Key key(EVP_EC_gen("P-256"));
  Require(key != nullptr, "key generation");
  return key;
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Require(extension != nullptr, value);
  X509_add_ext(cert, extension, -1);
  X509_EXTENSION_free(extension);
}

struct CertShape {
  std::string commonName;
  std::string altNames;  // empty for a CA
  long fromDays = -1;    // validity, relative to now
  long untilDays = 30;
  bool ca = false;
};

// Whether both numbers of the certificate's ECDSA signature take 32 bytes.
bool SignatureNumbersWhole(X509* cert) {
  const ASN1_BIT_STRING* bits = nullptr;
  X509_get0_signature(&bits, nullptr, cert);
  if (bits == nullptr) return false;
  const unsigned char* der = ASN1_STRING_get0_data(bits);
  ECDSA_SIG* signature = d2i_ECDSA_SIG(nullptr, &der, ASN1_STRING_length(bits));
  if (signature == nullptr) return false;
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  ECDSA_SIG_get0(signature, &r, &s);
  const bool whole = BN_num_bytes(r) == 32 && BN_num_bytes(s) == 32;
  ECDSA_SIG_free(signature);
  return whole;
}

// A certificate for `key` signed by `issuerKey` (issuer nullptr: self-signed).
Cert MakeCertificate(const CertShape& shape, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey) {
  static std::atomic<long> serial{1000};
  Cert cert(X509_new());
  Require(cert != nullptr, "X509_new");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial.fetch_add(1));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), shape.fromDays * kDay);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), shape.untilDays * kDay);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Ferry Test"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(shape.commonName.c_str()),
                             -1, -1, 0);
  X509* signer = issuer != nullptr ? issuer : cert.get();
  X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
  AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  if (shape.ca) {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(cert.get(), signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
    AddExtension(cert.get(), signer, NID_subject_alt_name, shape.altNames.c_str());
  }
  if (issuer != nullptr) AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
  // Signed again until r and s of the ECDSA signature are whole 32-byte
  // numbers: the Windows certificate check under Wine now and then refuses a
  // signature whose r or s is shorter (about one in 128 signatures).
  for (int attempt = 0;; ++attempt) {
    Require(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) > 0, "signing");
    if (attempt == 64 || SignatureNumbersWhole(cert.get())) break;
  }
  return cert;
}

std::string FromBio(BIO* bio) {
  char* data = nullptr;
  long length = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  return text;
}

std::string CertPem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  return FromBio(bio);
}

std::string KeyPem(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  return FromBio(bio);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  Require(out.good(), "writing a PEM file");
}

std::string OpenSslErrors() {
  std::string text;
  while (unsigned long code = ERR_get_error()) {
    std::array<char, 256> line{};
    ERR_error_string_n(code, line.data(), line.size());
    if (!text.empty()) text += "; ";
    text += line.data();
  }
  return text;
}

SSL* Ssl(void* p) { return static_cast<SSL*>(p); }

}  // namespace

TestPki::TestPki() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ferry-tls-XXXXXX").string();
  Require(::mkdtemp(pattern.data()) != nullptr, "temporary folder");
  folder_ = pattern;
  caFile_ = folder_ + "/test-ca.pem";
  otherCaFile_ = folder_ + "/other-ca.pem";

  Key caKey = NewKey();
  Cert ca = MakeCertificate({"Ferry Test CA", "", -1, 3650, true}, caKey.get(), nullptr, nullptr);
  Key otherKey = NewKey();
  Cert otherCa = MakeCertificate({"Ferry Other CA", "", -1, 3650, true}, otherKey.get(), nullptr, nullptr);
  WriteFile(caFile_, CertPem(ca.get()));
  WriteFile(otherCaFile_, CertPem(otherCa.get()));

  const std::string good = "DNS:localhost,IP:127.0.0.1";
  struct Leaf {
    TestCertificate which;
    CertShape shape;
    X509* issuer;
    EVP_PKEY* issuerKey;
  };
  const Leaf leaves[] = {
      {TestCertificate::Good, {"localhost", good, -1, 30, false}, ca.get(), caKey.get()},
      {TestCertificate::OtherHost, {"mail.other.example", "DNS:mail.other.example", -1, 30, false}, ca.get(),
       caKey.get()},
      {TestCertificate::Expired, {"localhost", good, -30, -1, false}, ca.get(), caKey.get()},
      {TestCertificate::NotYetValid, {"localhost", good, 2, 30, false}, ca.get(), caKey.get()},
      {TestCertificate::UnknownCa, {"localhost", good, -1, 30, false}, otherCa.get(), otherKey.get()},
      {TestCertificate::SelfSigned, {"localhost", good, -1, 30, false}, nullptr, nullptr},
  };
  for (const Leaf& leaf : leaves) {
    Key key = NewKey();
    Cert cert = MakeCertificate(leaf.shape, key.get(), leaf.issuer, leaf.issuerKey);
    identities_[static_cast<int>(leaf.which)] = {CertPem(cert.get()), KeyPem(key.get())};
  }
}

const TestPki& SharedTestPki() {
  static const TestPki pki;
  return pki;
}

TestPki::~TestPki() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

const TestIdentity& TestPki::Identity(TestCertificate which) const { return identities_[static_cast<int>(which)]; }

TlsPeer::TlsPeer(net::SocketHandle socket, const std::atomic<bool>& stop) : socket_(socket), stop_(stop) {
  // OpenSSL writes to the socket with write(): a client that has hung up must
  // not end the test program with SIGPIPE.
  static const bool kPipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)kPipeSignalIgnored;
  net::sys::SetOption(socket_, net::sys::Option::ReceiveTimeoutMs, kServerReceiveTimeoutMs);
}

TlsPeer::~TlsPeer() {
  SSL_free(Ssl(ssl_));
  SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

void TlsPeer::WritePlain(std::string_view bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    long n = net::SendOnce(socket_, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
}

bool TlsPeer::ReadPlainLine(std::string* line) {
  line->clear();
  while (line->size() < kLineBound) {
    char c = 0;
    if (net::ReceiveOnce(socket_, &c, 1) != 1) return false;
    line->push_back(c);
    record_.plainReceived.push_back(c);
    if (line->ends_with("\r\n")) return true;
  }
  return false;
}

bool TlsPeer::AcceptTls(const TestIdentity& identity, bool oldProtocolsOnly) {
  ERR_clear_error();
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  context_ = context;
  if (oldProtocolsOnly) {
    // TLS 1.0 and 1.1 need the lowest security level in OpenSSL 3.
    SSL_CTX_set_security_level(context, 0);
    SSL_CTX_set_cipher_list(context, "DEFAULT:@SECLEVEL=0");
    SSL_CTX_set_min_proto_version(context, TLS1_VERSION);
    SSL_CTX_set_max_proto_version(context, TLS1_1_VERSION);
  }
  BIO* certBio = BIO_new_mem_buf(identity.certificatePem.data(), static_cast<int>(identity.certificatePem.size()));
  X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
  BIO_free(certBio);
  BIO* keyBio = BIO_new_mem_buf(identity.keyPem.data(), static_cast<int>(identity.keyPem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  BIO_free(keyBio);
  bool loaded = cert != nullptr && key != nullptr && SSL_CTX_use_certificate(context, cert) == 1 &&
                SSL_CTX_use_PrivateKey(context, key) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!loaded) {
    record_.failure = "loading the identity: " + OpenSslErrors();
    return false;
  }
  SSL* ssl = SSL_new(context);
  ssl_ = ssl;
  SSL_set_fd(ssl, static_cast<int>(socket_));
  if (SSL_accept(ssl) != 1) {
    record_.failure = "handshake: " + OpenSslErrors();
    return false;
  }
  record_.handshakeCompleted = true;
  return true;
}

bool TlsPeer::WriteTls(std::string_view bytes) {
  if (ssl_ == nullptr) return false;
  std::size_t at = 0;
  while (at < bytes.size()) {
    int n = SSL_write(Ssl(ssl_), bytes.data() + at, static_cast<int>(std::min<std::size_t>(bytes.size() - at, 1 << 20)));
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

bool TlsPeer::ReadTlsLine(std::string* line) {
  line->clear();
  if (ssl_ == nullptr) return false;
  while (line->size() < kLineBound) {
    char c = 0;
    if (SSL_read(Ssl(ssl_), &c, 1) != 1) return false;
    line->push_back(c);
    record_.tlsReceived.push_back(c);
    if (line->ends_with("\r\n")) return true;
  }
  return false;
}

bool TlsPeer::ReadTls(std::size_t count, std::string* out) {
  out->clear();
  if (ssl_ == nullptr) return false;
  std::array<char, 64 * 1024> chunk{};
  while (out->size() < count) {
    int n = SSL_read(Ssl(ssl_), chunk.data(), static_cast<int>(std::min(chunk.size(), count - out->size())));
    if (n <= 0) return false;
    out->append(chunk.data(), static_cast<std::size_t>(n));
  }
  record_.tlsReceived += *out;
  return true;
}

void TlsPeer::CloseTls() {
  if (ssl_ != nullptr) SSL_shutdown(Ssl(ssl_));
}

void TlsPeer::Stall(int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stop_.load() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void TlsPeer::ReadSomeRaw() {
  std::array<char, 512> chunk{};
  if (net::WaitReadable(socket_, kServerReceiveTimeoutMs) == 1) net::ReceiveOnce(socket_, chunk.data(), chunk.size());
}

TlsTestServer::TlsTestServer(Serve serve) : serve_(std::move(serve)) {
  listener_ = net::ListenStream("127.0.0.1", 0, &port_);
  if (listener_ != net::kNoSocket) thread_ = std::thread([this] { AcceptLoop(); });
}

void TlsTestServer::AcceptLoop() {
  while (!stop_.load()) {
    if (net::WaitReadable(listener_, 50) <= 0) continue;
    net::SocketHandle socket = net::AcceptStream(listener_);
    if (socket == net::kNoSocket) continue;
    connections_.fetch_add(1);
    {
      TlsPeer peer(socket, stop_);
      serve_(peer);
      std::lock_guard lock(mutex_);
      last_ = peer.Record();
    }
    net::CloseSocket(socket);
  }
}

void TlsTestServer::Stop() {
  if (stop_.exchange(true)) return;
  if (thread_.joinable()) thread_.join();
  if (listener_ != net::kNoSocket) net::CloseSocket(listener_);
  listener_ = net::kNoSocket;
}

TlsServerRecord TlsTestServer::LastRecord() const {
  std::lock_guard lock(mutex_);
  return last_;
}

}  // namespace ferry::test
