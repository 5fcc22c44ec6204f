// The server ports of the mail transfer: POP3 110 and SMTP 25. The environment
// variables MAILFERRY_POP3_PORT and MAILFERRY_SMTP_PORT replace them (for the
// demo, for tests run without root, and for local servers on other ports).
#pragma once

#include <cstdint>

namespace ferry {

inline constexpr uint16_t kPop3Port = 110;
inline constexpr uint16_t kSmtpPort = 25;
inline constexpr const char* kPop3PortEnvironmentVariable = "MAILFERRY_POP3_PORT";
inline constexpr const char* kSmtpPortEnvironmentVariable = "MAILFERRY_SMTP_PORT";

uint16_t Pop3Port();
uint16_t SmtpPort();

}  // namespace ferry
