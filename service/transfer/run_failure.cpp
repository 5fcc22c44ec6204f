#include "service/transfer/run_failure.h"

#include <utility>

#include "platform/event_log.h"
#include "platform/socket.h"
#include "service/transfer/run_context.h"

namespace ferry {

std::string SocketErrorWords(int code) {
  const char* words = nullptr;
  switch (code) {
    case 0: return {};
    case net::kErrorTimedOut: words = "timed out"; break;
    case net::kErrorConnectionRefused: words = "connection refused"; break;
    case net::kErrorConnectionReset: words = "connection reset by the peer"; break;
    case net::kErrorConnectionAborted: words = "connection aborted"; break;
    case net::kErrorHostUnreachable: words = "host unreachable"; break;
    case net::kErrorNetworkUnreachable: words = "network unreachable"; break;
    case net::kErrorHostNotFound: words = "host name does not resolve"; break;
    case net::kErrorNotConnected: words = "not connected"; break;
    case net::kErrorShutDown: words = "connection shut down"; break;
    case net::kErrorMessageSize: words = "message truncated"; break;
    case net::kErrorInvalidArgument: words = "invalid argument"; break;
    case net::kErrorAddressInUse: words = "address in use"; break;
    case net::kErrorWouldBlock: words = "operation would block"; break;
    case net::kErrorInterrupted: words = "interrupted"; break;
    case net::kErrorBadHandle:
    case net::kErrorNotSocket: words = "no socket"; break;
    default: words = "socket error"; break;
  }
  return std::string(words) + " (error " + std::to_string(code) + ")";
}

std::string ConnectFailureText(std::string_view server, std::string_view host, int code) {
  std::string name(host);
  switch (code) {
    case net::kErrorHostNotFound: return "host " + name + " does not resolve";
    case net::kErrorConnectionRefused: return std::string(server) + " " + name + " refused the connection";
    case net::kErrorTimedOut: return std::string(server) + " " + name + " did not answer the connection";
    default: {
      std::string text = "no connection to " + std::string(server) + " " + name;
      std::string words = SocketErrorWords(code);
      return words.empty() ? text : text + ": " + words;
    }
  }
}

std::string ReplyFailureText(const Reply& reply, std::string_view step, std::chrono::milliseconds deadline,
                             int socketError) {
  std::string after = " after " + std::string(step);
  switch (reply.end) {
    case ReplyEnd::Whole: return {};
    case ReplyEnd::Closed: return "the server closed the connection" + after;
    case ReplyEnd::TooLong: return "reply too long" + after;
    case ReplyEnd::Failed: break;
  }
  if (socketError == 0 || socketError == net::kErrorTimedOut) {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline).count();
    if (seconds < 1) return "no reply" + after;
    return "no reply within " + std::to_string(seconds) + " s" + after;
  }
  return "no reply" + after + ": " + SocketErrorWords(socketError);
}

std::string ReplyForEvent(std::string_view reply) {
  constexpr std::size_t kMost = 300;
  std::string line;
  for (char c : reply.substr(0, kMost)) line.push_back(c == '\r' || c == '\n' || c == '\t' ? ' ' : c);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void NoteFailure(RunContext& context, std::string step, std::string reason) {
  context.failedStep = std::move(step);
  context.failedReason = std::move(reason);
}

void NoteConnectFailure(RunContext& context, std::string_view server, std::string_view host) {
  NoteFailure(context, std::string(server) + " connect", ConnectFailureText(server, host, net::LastSocketError()));
}

void ReportRunFailure(RunContext& context, const std::string& fallback) {
  std::string step = context.failedStep.empty() ? std::string("the transfer") : context.failedStep;
  std::string reason = context.failedReason.empty() ? fallback : context.failedReason;
  context.failedStep.clear();
  context.failedReason.clear();
  if (context.failureReported) return;
  context.failureReported = true;
  const AccountSettings& s = context.settings;
  context.LogText(2, "Run failed at " + step + ": " + reason);
  context.Event(kEventRunFailed, kEventError, {s.connectionName, s.accountName, step, reason});
}

}  // namespace ferry
