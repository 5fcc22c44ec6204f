// The security modes of "POP Security" and "SMTP Security", one numbering for
// both sides, and the ports they imply.
#pragma once

#include <cstdint>

namespace ferry {

inline constexpr uint32_t kSecurityNone = 0;           // plain, as without TLS
inline constexpr uint32_t kSecurityWhenOffered = 1;    // SMTP: STARTTLS when the server offers it; POP3: as 2
inline constexpr uint32_t kSecurityStartTls = 2;       // STLS / STARTTLS, refused when not offered
inline constexpr uint32_t kSecurityImplicit = 3;       // TLS from the connect on
inline constexpr uint32_t kSecurityHighest = kSecurityImplicit;

inline constexpr uint16_t kPop3TlsPort = 995;
inline constexpr uint16_t kSmtpTlsPort = 465;

}  // namespace ferry
