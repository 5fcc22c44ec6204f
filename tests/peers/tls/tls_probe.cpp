// A TLS client run of the platform seam, one connection: for checking a
// build's TLS layer from a script (the Windows build under Wine against the
// Linux build's ferry_tls_peers).
// Usage: ferry_tls_probe PORT SERVER_NAME CA_FILE|- [stls] — connects to
// 127.0.0.1 (with "stls": reads a greeting line, sends STLS, reads the go-ahead
// line), starts TLS with a 3-s time-out, sends "PING" and prints the answer:
// "accepted ..." (exit 0), "refused REASON: text | detail" (exit 1), or a
// failed connect (exit 2).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/socket.h"
#include "platform/tls.h"

namespace {

const char* ReasonName(ferry::net::TlsFailure reason) {
  using ferry::net::TlsFailure;
  switch (reason) {
    case TlsFailure::None: return "none";
    case TlsFailure::Expired: return "expired";
    case TlsFailure::NotYetValid: return "not_yet_valid";
    case TlsFailure::WrongHostName: return "wrong_host_name";
    case TlsFailure::UnknownIssuer: return "unknown_issuer";
    case TlsFailure::HandshakeFailed: return "handshake_failed";
    case TlsFailure::ProtocolTooOld: return "protocol_too_old";
    case TlsFailure::TimedOut: return "timed_out";
    case TlsFailure::Other: return "other";
  }
  return "other";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && !(argc == 5 && std::string(argv[4]) == "stls")) {
    std::fprintf(stderr, "usage: ferry_tls_probe PORT SERVER_NAME CA_FILE|- [stls]\n");
    return 2;
  }
  using namespace ferry::net;
  SocketHandle socket = CreateStreamSocket(10000);
  if (ConnectStream(socket, "127.0.0.1", static_cast<uint16_t>(std::atoi(argv[1]))) != 0) {
    std::printf("connect failed: %d\n", LastSocketError());
    return 2;
  }
  if (argc == 5) {
    // Line by line, a byte at a time: what follows the go-ahead stays on the socket.
    auto readLine = [socket] {
      std::string line;
      char c = 0;
      while (line.size() < 512 && line.find('\n') == std::string::npos && ReceiveOnce(socket, &c, 1) == 1) line.push_back(c);
      return line;
    };
    std::string greeting = readLine();
    SendOnce(socket, "STLS\r\n", 6);
    std::string goAhead = readLine();
    if (greeting.rfind("+OK", 0) != 0 || goAhead.rfind("+OK", 0) != 0) {
      std::printf("no STLS: %s", goAhead.c_str());
      return 2;
    }
  }
  TlsOptions options;
  options.serverName = argv[2];
  if (std::string(argv[3]) != "-") options.caFile = argv[3];
  options.timeoutMs = 3000;
  TlsError error;
  auto session = StartTls(socket, options, &error);
  if (session == nullptr) {
    std::printf("refused %s: %s | %s\n", ReasonName(error.reason), error.text.c_str(), error.detail.c_str());
    CloseSocket(socket);
    return 1;
  }
  const std::string ping = "PING\r\n";
  long sent = session->Send(ping.data(), ping.size());
  std::string answer;
  char buffer[256];
  while (answer.find('\n') == std::string::npos) {
    long n = session->Receive(buffer, sizeof buffer);
    if (n <= 0) break;
    answer.append(buffer, static_cast<std::size_t>(n));
  }
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  std::printf("accepted %s dropped=%zu sent=%ld answer=%s\n", session->Description().c_str(),
              session->DroppedBeforeHandshake(), sent, answer.c_str());
  session->Close();
  CloseSocket(socket);
  return answer == "PONG PING" ? 0 : 3;
}
