#include "service/oauth/authorize_flows.h"

#include <chrono>

#include "platform/socket.h"
#include "service/oauth/pkce.h"
#include "service/oauth/redirect_request.h"

namespace ferry::oauth {
namespace {

constexpr std::size_t kMaxRedirectRequest = 16 * 1024;
constexpr int kRequestReadMs = 5000;

GrantOutcome Failed(std::string text) {
  GrantOutcome outcome;
  outcome.text = std::move(text);
  return outcome;
}

// The request head of one connection (bounded in size and time).
std::string ReadRequestHead(net::SocketHandle socket) {
  std::string head;
  char buffer[2048];
  while (head.size() < kMaxRedirectRequest && head.find("\r\n\r\n") == std::string::npos) {
    const long n = net::ReceiveWithin(socket, buffer, sizeof buffer, kRequestReadMs);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  return head;
}

void Answer(net::SocketHandle socket, const std::string& text) {
  const std::string page = "<!DOCTYPE html><html><body><p>" + text + "</p></body></html>";
  const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n"
                            "Content-Length: " + std::to_string(page.size()) + "\r\n\r\n" + page;
  net::SendWithin(socket, reply.data(), reply.size(), kRequestReadMs);
}

struct Listener {
  net::SocketHandle socket = net::kNoSocket;
  ~Listener() {
    if (socket != net::kNoSocket) net::CloseSocket(socket);
  }
};

}  // namespace

GrantOutcome AuthorizeWithDevice(const OAuthClient& client, const Say& say, const PollWait& wait) {
  DeviceAuthorization device;
  std::string error;
  if (!StartDeviceAuthorization(client, &device, &error)) return Failed(error);
  say("To authorise this account, open " + device.verificationUri + " in a browser on any device");
  say("and enter the code " + device.userCode + " (valid for " + std::to_string(device.expiresIn / 60) +
      " minutes).");
  if (!device.verificationUriComplete.empty()) say("Or open " + device.verificationUriComplete);
  say("Waiting for the confirmation ...");
  return PollDeviceToken(client, device, wait);
}

GrantOutcome AuthorizeWithBrowser(const OAuthClient& client, const std::string& loginHint, const Say& say,
                                  int waitMs) {
  PkcePair pkce;
  const std::string state = NewState();
  if (state.empty() || !NewPkcePair(&pkce)) return Failed("no random numbers from the system");
  Listener listener;
  uint16_t port = 0;
  listener.socket = net::ListenStream("127.0.0.1", 0, &port);
  if (listener.socket == net::kNoSocket) return Failed("cannot listen on 127.0.0.1 for the redirect");
  const std::string redirectUri = "http://127.0.0.1:" + std::to_string(port) + "/";
  say("To authorise this account, open this address in a browser on this computer");
  say("(or forward port " + std::to_string(port) + " of this computer to the browser's):");
  say(AuthorizationUrl(client, redirectUri, state, pkce.challenge, loginHint));
  say("Waiting for the sign-in ...");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return Failed("no sign-in arrived in time");
    if (net::WaitReadable(listener.socket, static_cast<int>(left.count())) <= 0) continue;
    net::SocketHandle connection = net::AcceptStream(listener.socket);
    if (connection == net::kNoSocket) continue;
    const RedirectQuery query = ReadRedirectRequest(ReadRequestHead(connection));
    if (!query.valid || query.state != state) {
      // A favicon request, a stray visitor: not the redirect.
      Answer(connection, "Waiting for the sign-in.");
      net::CloseSocket(connection);
      continue;
    }
    if (!query.error.empty() || query.code.empty()) {
      Answer(connection, "The sign-in was not completed. You can close this window.");
      net::CloseSocket(connection);
      GrantOutcome refused;
      refused.result = GrantResult::Refused;
      refused.text = query.error.empty() ? "no code in the redirect" : query.error;
      return refused;
    }
    Answer(connection, "The account is authorised. You can close this window.");
    net::CloseSocket(connection);
    return ExchangeCode(client, query.code, redirectUri, pkce.verifier);
  }
}

}  // namespace ferry::oauth
