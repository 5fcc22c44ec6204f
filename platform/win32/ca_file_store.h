// The certificates of a PEM file (a "TLS CA File"), for the TLS client and
// the HTTPS client to check a server's chain against.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <string>

namespace ferry::net {

// The certificates of a PEM file, DER-encoded in a memory store; nullptr when
// the file cannot be read or holds no certificate (`why` says which).
HCERTSTORE LoadCaFile(const std::string& path, std::string* why);

}  // namespace ferry::net
