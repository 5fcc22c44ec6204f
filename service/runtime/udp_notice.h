// Sending the UDP notices of an account run: one datagram each, broadcast on
// the account's "UDP Port". The destination is the limited broadcast address
// unless MAILFERRY_NOTICE_ADDRESS names another (tests and the demo use loopback).
#pragma once

#include <cstdint>
#include <string>

namespace ferry {

inline constexpr const char* kNoticeAddressEnvironmentVariable = "MAILFERRY_NOTICE_ADDRESS";

// Sends `text` (up to a NUL inside it) as one datagram to the notice address on
// the low 16 bits of `port`. A failure is reported as event 0xC0000000
// "BROADCAST fail". Returns -1, which callers ignore.
int BroadcastNotice(const std::string& text, uint32_t port);

}  // namespace ferry
