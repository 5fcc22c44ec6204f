// The loopback authorization server as a program, for the integration test
// with real Dovecot (whose oauth2 passdb asks its introspection endpoint):
//
//   ferry_oauth_server USER
//
// prints "token URL", "device URL", "introspect URL" and "ca FILE" lines, then
// reads commands from standard input until it ends: "revoke" revokes every
// token. The device grant answers authorization_pending twice, then grants.
#include <cstdio>
#include <iostream>
#include <string>

#include "tests/peers/authorization_server.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ferry_oauth_server USER\n");
    return 2;
  }
  ferry::test::TestPki pki;
  ferry::test::AuthorizationServer server(pki, argv[1]);
  server.ScriptDevicePolls(2, {});
  std::printf("token %s\ndevice %s\nintrospect %s\nca %s\n", server.TokenUrl().c_str(), server.DeviceUrl().c_str(),
              server.IntrospectionUrl().c_str(), pki.CaFile().c_str());
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line == "revoke") server.RevokeAll();
    std::printf("done %s\n", line.c_str());
    std::fflush(stdout);
  }
  return 0;
}
