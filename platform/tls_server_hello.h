// Reading the TLS version out of the server's first bytes, for the TLS
// libraries that report a server stuck on TLS 1.0/1.1 only as a generic
// handshake failure. Pure: bytes in, verdict out.
#pragma once

#include <string_view>

namespace ferry::net::tls {

enum class ServerVersion {
  Unknown,     // too few bytes, or not a ServerHello nor an alert
  TooOld,      // a ServerHello below TLS 1.2, or a protocol_version alert
  Acceptable,  // a ServerHello of TLS 1.2 (or 1.3, which says 1.2 here)
};

// `bytes`: the start of what the server sent in answer to our hello.
ServerVersion ReadServerVersion(std::string_view bytes);

}  // namespace ferry::net::tls
