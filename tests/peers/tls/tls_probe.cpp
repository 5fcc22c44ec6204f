// A TLS client run of the platform seam, one connection: for checking a
// build's TLS layer from a script (the Windows build under Wine against the
// Linux build's ferry_tls_peers).
// Usage: ferry_tls_probe PORT SERVER_NAME CA_FILE|- [stls|bulk] — connects to
// 127.0.0.1 (with "stls": reads a greeting line, sends STLS, reads the go-ahead
// line), starts TLS with a 3-s time-out, sends "PING" and prints the answer:
// "accepted ..." (exit 0), "refused REASON: text | detail" (exit 1), or a
// failed connect (exit 2). With "bulk" it sends "BULK n" instead, checks the n
// pattern bytes that come, sends them back and prints both directions' MB/s.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/tls.h"
#include "tests/peers/tls/bulk_pattern.h"

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

double MegabytesPerSecond(std::size_t bytes, std::chrono::steady_clock::time_point since) {
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  return static_cast<double>(bytes) / (1024.0 * 1024.0) / (seconds > 0 ? seconds : 1e-9);
}

int Bulk(ferry::net::TlsSession& session) {
  constexpr std::size_t kSize = 8U << 20;
  const std::string pattern = ferry::test::BulkPattern(kSize);
  const std::string request = "BULK " + std::to_string(kSize) + "\r\n";
  session.Send(request.data(), request.size());
  std::string got;
  std::vector<char> buffer(5000);  // smaller than a record: records are read in pieces
  auto started = std::chrono::steady_clock::now();
  while (got.size() < kSize) {
    long n = session.Receive(buffer.data(), std::min(buffer.size(), kSize - got.size()));
    if (n <= 0) break;
    got.append(buffer.data(), static_cast<std::size_t>(n));
  }
  double down = MegabytesPerSecond(got.size(), started);
  started = std::chrono::steady_clock::now();
  long sent = session.Send(pattern.data(), pattern.size());
  std::string answer;
  while (answer.find('\n') == std::string::npos) {
    long n = session.Receive(buffer.data(), buffer.size());
    if (n <= 0) break;
    answer.append(buffer.data(), static_cast<std::size_t>(n));
  }
  double up = MegabytesPerSecond(kSize, started);
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  bool intact = got == pattern;
  std::printf("accepted %s bulk=%zu down_intact=%d sent=%ld answer=%s down=%.0fMB/s up=%.0fMB/s\n",
              session.Description().c_str(), kSize, intact ? 1 : 0, sent, answer.c_str(), down, up);
  session.Close();
  return intact && answer == "OK" ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 5 ? argv[4] : "";
  if (argc != 4 && !(argc == 5 && (mode == "stls" || mode == "bulk"))) {
    std::fprintf(stderr, "usage: ferry_tls_probe PORT SERVER_NAME CA_FILE|- [stls|bulk]\n");
    return 2;
  }
  using namespace ferry::net;
  SocketHandle socket = CreateStreamSocket(10000);
  if (ConnectStream(socket, "127.0.0.1", static_cast<uint16_t>(std::atoi(argv[1]))) != 0) {
    std::printf("connect failed: %d\n", LastSocketError());
    return 2;
  }
  if (mode == "stls") {
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
  if (mode == "bulk") return Bulk(*session);
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
