#include "platform/tls_server_hello.h"

namespace ferry::net::tls {
namespace {

constexpr unsigned char kAlertRecord = 0x15;
constexpr unsigned char kHandshakeRecord = 0x16;
constexpr unsigned char kServerHello = 0x02;
constexpr unsigned char kProtocolVersionAlert = 70;
constexpr unsigned kTls12 = 0x0303;

unsigned Byte(std::string_view bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

}  // namespace

ServerVersion ReadServerVersion(std::string_view bytes) {
  // A record: type, version (2), length (2), then the body.
  if (bytes.size() < 7) return ServerVersion::Unknown;
  if (Byte(bytes, 0) == kAlertRecord) {
    return Byte(bytes, 6) == kProtocolVersionAlert ? ServerVersion::TooOld : ServerVersion::Unknown;
  }
  // A handshake body: type, length (3), then the ServerHello's version (2).
  if (Byte(bytes, 0) != kHandshakeRecord || bytes.size() < 11 || Byte(bytes, 5) != kServerHello) {
    return ServerVersion::Unknown;
  }
  unsigned version = Byte(bytes, 9) << 8 | Byte(bytes, 10);
  return version < kTls12 ? ServerVersion::TooOld : ServerVersion::Acceptable;
}

}  // namespace ferry::net::tls
