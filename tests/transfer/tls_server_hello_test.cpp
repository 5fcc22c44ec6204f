// Reading the server's TLS version from its first bytes (what tells a server
// stuck on TLS 1.0/1.1 from other handshake failures).
#include <gtest/gtest.h>

#include <string>

#include "platform/tls_server_hello.h"

namespace ferry::net::tls {
namespace {

struct VersionCase {
  const char* name;
  std::string bytes;
  ServerVersion expected;
};

std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text.push_back(static_cast<char>(v));
  return text;
}

TEST(TlsServerVersionTest, ReadsTheServerHelloOrAlert) {
  const VersionCase cases[] = {
      {"tls_1_0_hello", Bytes({0x16, 0x03, 0x01, 0x00, 0x51, 0x02, 0x00, 0x00, 0x4d, 0x03, 0x01}), ServerVersion::TooOld},
      {"tls_1_1_hello", Bytes({0x16, 0x03, 0x02, 0x00, 0x51, 0x02, 0x00, 0x00, 0x4d, 0x03, 0x02}), ServerVersion::TooOld},
      {"tls_1_2_hello", Bytes({0x16, 0x03, 0x03, 0x00, 0x51, 0x02, 0x00, 0x00, 0x4d, 0x03, 0x03}),
       ServerVersion::Acceptable},
      // TLS 1.3 keeps 1.2 in the hello and names itself in an extension.
      {"tls_1_3_hello", Bytes({0x16, 0x03, 0x03, 0x00, 0x7a, 0x02, 0x00, 0x00, 0x76, 0x03, 0x03}),
       ServerVersion::Acceptable},
      {"protocol_version_alert", Bytes({0x15, 0x03, 0x01, 0x00, 0x02, 0x02, 70}), ServerVersion::TooOld},
      {"handshake_failure_alert", Bytes({0x15, 0x03, 0x03, 0x00, 0x02, 0x02, 40}), ServerVersion::Unknown},
      {"certificate_not_hello", Bytes({0x16, 0x03, 0x03, 0x01, 0x00, 0x0b, 0x00, 0x00, 0xfc, 0x03, 0x01}),
       ServerVersion::Unknown},
      {"cut_short", Bytes({0x16, 0x03, 0x01, 0x00, 0x51, 0x02, 0x00, 0x00}), ServerVersion::Unknown},
      {"plaintext_reply", "-ERR not TLS\r\n", ServerVersion::Unknown},
  };
  for (const VersionCase& c : cases) {
    EXPECT_EQ(ReadServerVersion(c.bytes), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace ferry::net::tls
