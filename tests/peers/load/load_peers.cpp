// The peers of the load test: one POP3 server serving many mailboxes (USER
// selects the mailbox "box1" ... "boxN"; any password) that are refilled with
// new messages over time, and one SMTP sink that checks each delivered text
// against the one generated for its X-Load-Id. A thread per connection, at most
// kMaxConnections at once; every line and message read is bounded.
//
//   ferry_load_peers ADDRESS POP3PORT SMTPPORT MAILBOXES OUTFOLDER [CAP [REFILL_MS [DELAY_MS]]]
//
// CAP messages at most per mailbox (default 6), one new message per mailbox
// every REFILL_MS (default 1000), each reply held back 0 to DELAY_MS (default
// 0) so that runs last and overlap. SIGUSR1: stop refilling and delaying.
// SIGINT/SIGTERM: stop, write remaining.ids and summary.txt to OUTFOLDER and
// end. generated.ids, deleted.ids (committed at QUIT) and delivered.ids are
// written as they happen.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "tests/peers/load/load_mailboxes.h"

namespace ferry::load {
namespace {

constexpr int kMaxConnections = 1000;
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxData = 4 * 1024 * 1024;
constexpr int kIdleMs = 60000;
constexpr std::string_view kInfoLine = "x-info: Forwarded from POP3 <-> SMTP Gateway\r\n";

std::atomic<bool> gStop{false};
std::atomic<bool> gQuiet{false};
std::atomic<int> gDelayMs{0};

std::mutex gConnectionsMutex;
std::condition_variable gConnectionsChanged;
int gConnections = 0;
int gPeakConnections = 0;
uint64_t gRefused = 0;

class Connection {
 public:
  explicit Connection(net::SocketHandle socket) : socket_(socket) {}
  ~Connection() { net::CloseSocket(socket_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Bytes up to and including `terminator`, at most `bound`; false on close,
  // silence, stop or a longer read.
  bool ReadUntil(std::string_view terminator, std::string* out, std::size_t bound) {
    int idle = 0;
    for (;;) {
      std::size_t at = buffered_.find(terminator);
      if (at != std::string::npos) {
        *out = buffered_.substr(0, at + terminator.size());
        buffered_.erase(0, at + terminator.size());
        return true;
      }
      if (buffered_.size() > bound || gStop.load() || idle >= kIdleMs) return false;
      int ready = net::WaitReadable(socket_, 200);
      if (ready < 0) return false;
      if (ready == 0) {
        idle += 200;
        continue;
      }
      char chunk[16384];
      long n = net::ReceiveOnce(socket_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffered_.append(chunk, static_cast<std::size_t>(n));
      idle = 0;
    }
  }

  void Reply(std::string_view bytes) {
    HoldBack();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      long n = net::SendOnce(socket_, bytes.data() + sent, bytes.size() - sent);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }

 private:
  void HoldBack() {
    int most = gDelayMs.load();
    if (most <= 0 || gQuiet.load()) return;
    thread_local std::minstd_rand random{std::random_device{}()};
    int wait = static_cast<int>(random() % static_cast<unsigned>(most + 1));
    while (wait > 0 && !gQuiet.load() && !gStop.load()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(wait, 50)));
      wait -= 50;
    }
  }

  net::SocketHandle socket_;
  std::string buffered_;
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return text;
}

// The command word and its argument of a CR LF line.
void SplitCommand(const std::string& line, std::string* verb, std::string* argument) {
  std::string bare = line.substr(0, line.size() - 2);
  std::size_t blank = bare.find(' ');
  *verb = Upper(bare.substr(0, blank));
  *argument = blank == std::string::npos ? std::string() : bare.substr(blank + 1);
}

// A message number of the session, 1-based; 0 when not valid.
std::size_t MessageNumber(const std::string& argument, std::size_t count) {
  if (argument.empty() || argument.size() > 6 || argument.find_first_not_of("0123456789") != std::string::npos) return 0;
  std::size_t n = std::stoul(argument);
  return n >= 1 && n <= count ? n : 0;
}

void ServePop3(Connection& c, Mailboxes& boxes) {
  c.Reply("+OK load mailbox ready\r\n");
  std::string user;
  std::string mailbox;
  std::vector<StoredMessage> messages;
  std::vector<bool> marked;
  std::string line;
  while (c.ReadUntil("\r\n", &line, kMaxLine)) {
    std::string verb;
    std::string argument;
    SplitCommand(line, &verb, &argument);
    if (mailbox.empty()) {
      if (verb == "USER") {
        user = argument;
        c.Reply(boxes.Exists(user) ? "+OK\r\n" : "-ERR no such mailbox\r\n");
      } else if (verb == "PASS" && boxes.Exists(user)) {
        if (boxes.Open(user, &messages)) {
          mailbox = user;
          marked.assign(messages.size(), false);
          c.Reply("+OK maildrop locked and ready\r\n");
        } else {
          c.Reply("-ERR maildrop already locked\r\n");
        }
      } else if (verb == "QUIT") {
        c.Reply("+OK bye\r\n");
        return;
      } else {
        c.Reply("-ERR log in first\r\n");
      }
      continue;
    }
    if (verb == "STAT") {
      std::size_t count = 0;
      std::size_t octets = 0;
      for (std::size_t i = 0; i < messages.size(); ++i) {
        if (!marked[i]) {
          ++count;
          octets += messages[i].text.size();
        }
      }
      c.Reply("+OK " + std::to_string(count) + " " + std::to_string(octets) + "\r\n");
    } else if (verb == "LIST" && argument.empty()) {
      std::string reply = "+OK scan listing follows\r\n";
      for (std::size_t i = 0; i < messages.size(); ++i) {
        if (!marked[i]) reply += std::to_string(i + 1) + " " + std::to_string(messages[i].text.size()) + "\r\n";
      }
      c.Reply(reply + ".\r\n");
    } else if (verb == "RETR" || verb == "DELE" || verb == "LIST") {
      std::size_t n = MessageNumber(argument, messages.size());
      if (n == 0 || marked[n - 1]) {
        c.Reply("-ERR no such message\r\n");
      } else if (verb == "RETR") {
        c.Reply("+OK message follows\r\n" + DotStuff(messages[n - 1].text) + ".\r\n");
      } else if (verb == "LIST") {
        c.Reply("+OK " + std::to_string(n) + " " + std::to_string(messages[n - 1].text.size()) + "\r\n");
      } else {
        marked[n - 1] = true;
        c.Reply("+OK marked\r\n");
      }
    } else if (verb == "RSET") {
      marked.assign(messages.size(), false);
      c.Reply("+OK\r\n");
    } else if (verb == "NOOP") {
      c.Reply("+OK\r\n");
    } else if (verb == "QUIT") {
      std::vector<std::string> deleted;
      for (std::size_t i = 0; i < messages.size(); ++i) {
        if (marked[i]) deleted.push_back(messages[i].id);
      }
      boxes.Commit(mailbox, deleted);
      c.Reply("+OK bye\r\n");
      return;
    } else {
      c.Reply("-ERR unknown command\r\n");
    }
  }
  if (!mailbox.empty()) boxes.Abandon(mailbox);
}

void ServeSmtp(Connection& c, Mailboxes& boxes) {
  c.Reply("220 load sink ready\r\n");
  std::string line;
  while (c.ReadUntil("\r\n", &line, kMaxLine)) {
    std::string verb;
    std::string argument;
    SplitCommand(line, &verb, &argument);
    if (verb == "DATA") {
      c.Reply("354 end with <CRLF>.<CRLF>\r\n");
      std::string data;
      if (!c.ReadUntil("\r\n.\r\n", &data, kMaxData)) return;
      data.resize(data.size() - 3);  // the ".\r\n" of the end marker
      std::string text = DotUnstuff(data);
      std::string id = LoadIdOf(text);
      bool intact = !id.empty() && text.size() > kInfoLine.size() && text.compare(0, kInfoLine.size(), kInfoLine) == 0;
      if (intact) {
        std::size_t dash = id.rfind('-');
        intact = dash != std::string::npos && id.find_first_not_of("0123456789", dash + 1) == std::string::npos &&
                 dash + 1 < id.size() && dash + 1 + 12 > id.size() &&
                 text.substr(kInfoLine.size()) == MessageText(id.substr(0, dash), std::stoull(id.substr(dash + 1)));
      }
      // Recorded before the acceptance goes out: the gateway deletes only what
      // was accepted, so every deleted id is on record here first.
      boxes.RecordDelivery(id.empty() ? std::string("(no id)") : id, intact, text);
      c.Reply("250 accepted\r\n");
    } else if (verb == "QUIT") {
      c.Reply("221 bye\r\n");
      return;
    } else if (verb == "VRFY") {
      c.Reply(argument.find('a') != std::string::npos ? "250 <" + argument + ">\r\n" : "252 cannot verify\r\n");
    } else if (verb == "HELO" || verb == "EHLO" || verb == "MAIL" || verb == "RCPT" || verb == "RSET" ||
               verb == "NOOP") {
      c.Reply("250 ok\r\n");
    } else {
      c.Reply("500 unknown command\r\n");
    }
  }
}

void ConnectionEnded() {
  std::lock_guard lock(gConnectionsMutex);
  --gConnections;
  gConnectionsChanged.notify_all();
}

template <typename ServeFunction>
void AcceptLoop(net::SocketHandle listener, ServeFunction serve) {
  while (!gStop.load()) {
    if (net::WaitReadable(listener, 200) != 1) continue;
    net::SocketHandle socket = net::AcceptStream(listener);
    if (socket == net::kNoSocket) continue;
    {
      std::lock_guard lock(gConnectionsMutex);
      if (gConnections >= kMaxConnections) {
        ++gRefused;
        net::CloseSocket(socket);
        continue;
      }
      ++gConnections;
      gPeakConnections = std::max(gPeakConnections, gConnections);
    }
    try {
      std::thread([socket, serve] {
        {
          Connection connection(socket);
          serve(connection);
        }
        ConnectionEnded();
      }).detach();
    } catch (const std::system_error&) {
      net::CloseSocket(socket);
      ConnectionEnded();
    }
  }
}

}  // namespace
}  // namespace ferry::load

int main(int argc, char** argv) {
  using namespace ferry;
  using namespace ferry::load;
  if (argc < 6 || argc > 9) {
    std::cerr << "usage: ferry_load_peers ADDRESS POP3PORT SMTPPORT MAILBOXES OUTFOLDER [CAP [REFILL_MS [DELAY_MS]]]\n";
    return 2;
  }
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const std::string address = argv[1];
  const int mailboxes = std::clamp(std::atoi(argv[4]), 1, 10000);
  const std::size_t cap = static_cast<std::size_t>(std::clamp(argc > 6 ? std::atoi(argv[6]) : 6, 1, 100));
  const int refillMs = std::clamp(argc > 7 ? std::atoi(argv[7]) : 1000, 10, 3600000);
  gDelayMs = std::clamp(argc > 8 ? std::atoi(argv[8]) : 0, 0, 5000);

  Mailboxes boxes(mailboxes, cap, argv[5]);
  boxes.Refill();
  uint16_t popPort = 0;
  uint16_t smtpPort = 0;
  net::SocketHandle pop = net::ListenStream(address, static_cast<uint16_t>(std::atoi(argv[2])), &popPort);
  net::SocketHandle smtp = net::ListenStream(address, static_cast<uint16_t>(std::atoi(argv[3])), &smtpPort);
  if (pop == net::kNoSocket || smtp == net::kNoSocket) {
    std::cerr << "cannot listen on " << address << "\n";
    return 1;
  }
  // The connection threads outlive no part of main: they end before the records are written.
  static Mailboxes* shared = &boxes;
  std::thread popAccept([pop] { AcceptLoop(pop, [](Connection& c) { ServePop3(c, *shared); }); });
  std::thread smtpAccept([smtp] { AcceptLoop(smtp, [](Connection& c) { ServeSmtp(c, *shared); }); });
  std::thread refill([refillMs] {
    auto next = std::chrono::steady_clock::now();
    while (!gStop.load()) {
      next += std::chrono::milliseconds(refillMs);
      while (!gStop.load() && std::chrono::steady_clock::now() < next) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(refillMs, 100)));
      }
      if (!gStop.load() && !gQuiet.load()) shared->Refill();
    }
  });
  std::cout << "load peers: POP3 " << address << ":" << popPort << ", SMTP " << address << ":" << smtpPort << ", "
            << mailboxes << " mailboxes of at most " << cap << " messages" << std::endl;

  int signal = 0;
  while (sigwait(&signals, &signal) == 0 && signal == SIGUSR1) gQuiet = true;
  gStop = true;
  popAccept.join();
  smtpAccept.join();
  refill.join();
  {
    std::unique_lock lock(gConnectionsMutex);
    gConnectionsChanged.wait_for(lock, std::chrono::seconds(10), [] { return gConnections == 0; });
  }
  net::CloseSocket(pop);
  net::CloseSocket(smtp);
  std::string extra;
  {
    std::lock_guard lock(gConnectionsMutex);
    extra = "peak_connections " + std::to_string(gPeakConnections) + "\nrefused_connections " +
            std::to_string(gRefused) + "\nopen_at_stop " + std::to_string(gConnections) + "\n";
  }
  boxes.WriteFinalRecords(extra);
  std::cout << "load peers stopped" << std::endl;
  return 0;
}
