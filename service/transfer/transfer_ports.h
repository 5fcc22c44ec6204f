// The server ports of the mail transfer: POP3 110 (995 for TLS from the
// connect on) and SMTP 25 (465). A port stored with the account wins; else the
// environment variables MAILFERRY_POP3_PORT and MAILFERRY_SMTP_PORT replace the
// defaults (for the demo, for tests run without root, and for local servers on
// other ports).
#pragma once

#include <cstdint>

namespace ferry {

inline constexpr uint16_t kPop3Port = 110;
inline constexpr uint16_t kSmtpPort = 25;
inline constexpr const char* kPop3PortEnvironmentVariable = "MAILFERRY_POP3_PORT";
inline constexpr const char* kSmtpPortEnvironmentVariable = "MAILFERRY_SMTP_PORT";

// The default ports, as the environment may replace them.
uint16_t Pop3Port();
uint16_t SmtpPort();

// The port of an account's side: `stored` when it is a port (1..65535), else
// the default of the security mode (3: 995 / 465), as the environment may
// replace it.
uint16_t Pop3PortFor(uint32_t stored, uint32_t security);
uint16_t SmtpPortFor(uint32_t stored, uint32_t security);

}  // namespace ferry
