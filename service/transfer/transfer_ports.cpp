#include "service/transfer/transfer_ports.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "service/transfer/tls_modes.h"

namespace ferry {
namespace {

uint16_t PortFromEnvironment(const char* name, uint16_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr) return fallback;
  unsigned value = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || value == 0 || value > 65535) return fallback;
  return static_cast<uint16_t>(value);
}

}  // namespace

uint16_t Pop3Port() { return PortFromEnvironment(kPop3PortEnvironmentVariable, kPop3Port); }
uint16_t SmtpPort() { return PortFromEnvironment(kSmtpPortEnvironmentVariable, kSmtpPort); }

uint16_t Pop3PortFor(uint32_t stored, uint32_t security) {
  if (stored > 0 && stored <= 65535) return static_cast<uint16_t>(stored);
  return PortFromEnvironment(kPop3PortEnvironmentVariable, security == kSecurityImplicit ? kPop3TlsPort : kPop3Port);
}

uint16_t SmtpPortFor(uint32_t stored, uint32_t security) {
  if (stored > 0 && stored <= 65535) return static_cast<uint16_t>(stored);
  return PortFromEnvironment(kSmtpPortEnvironmentVariable, security == kSecurityImplicit ? kSmtpTlsPort : kSmtpPort);
}

}  // namespace ferry
