#include "tests/peers/pop3_peer.h"

#include <cstdlib>

namespace ferry::test {

Pop3Peer::Pop3Peer(std::vector<std::string> messages, Pop3PeerOptions options)
    : options_(std::move(options)),
      messages_(std::move(messages)),
      server_(110, [this](PeerConnection& c) { Serve(c); }) {}

Pop3Peer::Pop3Peer(std::vector<std::string> messages, Pop3PeerOptions options, const std::string& address,
                   uint16_t port)
    : options_(std::move(options)),
      messages_(std::move(messages)),
      server_(address, port, [this](PeerConnection& c) { Serve(c); }) {}

std::set<int> Pop3Peer::Deleted() const {
  std::lock_guard lock(mutex_);
  return deleted_;
}

std::vector<std::string> Pop3Peer::Remaining() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (std::size_t i = 0; i < messages_.size(); ++i) {
    if (deleted_.count(static_cast<int>(i + 1)) == 0) out.push_back(messages_[i]);
  }
  return out;
}

void Pop3Peer::Append(std::string text) {
  std::lock_guard lock(mutex_);
  messages_.push_back(std::move(text));
}

std::string Pop3Peer::RetrAnswer(const std::string& text) {
  std::string out = "+OK " + std::to_string(text.size()) + " octets\r\n";
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t eol = text.find("\r\n", at);
    std::size_t end = eol == std::string::npos ? text.size() : eol + 2;
    if (text[at] == '.') out += '.';
    out.append(text, at, end - at);
    at = end;
  }
  if (!out.ends_with("\r\n")) out += "\r\n";
  return out + ".\r\n";
}

void Pop3Peer::Serve(PeerConnection& c) {
  std::set<int> marked;
  std::vector<std::string> box;
  {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < messages_.size(); ++i) box.push_back(deleted_.count(int(i + 1)) ? "" : messages_[i]);
  }
  auto live = [&](int n) { return n >= 1 && n <= int(box.size()) && !box[n - 1].empty() && !marked.count(n); };
  // Writes an answer; false when the session is to end here.
  auto answer = [&](std::string_view command, std::string_view normal) {
    return c.Answer(command, normal, options_.override, options_.pieceSize);
  };

  if (!answer("", "+OK POP3 peer ready\r\n")) return;
  bool user = false, authorised = false;
  // The AUTH in progress: waiting for the response, or for the answer to an
  // error challenge.
  std::string authMechanism;
  bool challenged = false;
  std::string line;
  while (c.ReadLine(&line, 64 * 1024, options_.idleMs)) {
    std::string verb = line.substr(0, line.find_first_of(" \r"));
    std::string arg = line.size() > verb.size() + 3 ? line.substr(verb.size() + 1, line.size() - verb.size() - 3) : "";
    std::string normal = "-ERR unknown command\r\n";
    int n = std::atoi(arg.c_str());
    if (!authMechanism.empty() || challenged) {
      const std::string response = line.substr(0, line.size() - 2);
      if (challenged) {
        challenged = false;
        normal = "-ERR [AUTH] authentication failed\r\n";
      } else if (options_.auth(authMechanism, response)) {
        authorised = true;
        normal = "+OK logged in\r\n";
      } else {
        challenged = true;
        normal = "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n";  // {"status":"invalid_token"}
      }
      authMechanism.clear();
    } else if (verb == "AUTH" && options_.auth && !authorised) {
      const auto blank = arg.find(' ');
      const std::string mechanism = arg.substr(0, blank);
      if (blank == std::string::npos) {
        authMechanism = mechanism;
        normal = "+ \r\n";
      } else if (options_.auth(mechanism, arg.substr(blank + 1))) {
        authorised = true;
        normal = "+OK logged in\r\n";
      } else {
        challenged = true;
        normal = "+ eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\r\n";
      }
    } else if (verb == "USER") {
      user = arg == options_.user;
      normal = "+OK\r\n";
    } else if (verb == "PASS") {
      authorised = user && arg == options_.password;
      normal = authorised ? "+OK logged in\r\n" : "-ERR authentication failed\r\n";
    } else if (verb == "QUIT") {
      if (authorised) {
        std::lock_guard lock(mutex_);
        deleted_.insert(marked.begin(), marked.end());
      }
      answer(line, "+OK bye\r\n");
      return;
    } else if (!authorised) {
      normal = "-ERR not logged in\r\n";
    } else if (verb == "STAT") {
      int count = 0;
      std::size_t size = 0;
      for (int i = 1; i <= int(box.size()); ++i) {
        if (live(i)) ++count, size += box[i - 1].size();
      }
      normal = "+OK " + std::to_string(count) + " " + std::to_string(size) + "\r\n";
    } else if (verb == "LIST") {
      normal = "+OK scan listing follows\r\n";
      for (int i = 1; i <= int(box.size()); ++i) {
        if (live(i)) normal += std::to_string(i) + " " + std::to_string(box[i - 1].size()) + "\r\n";
      }
      normal += ".\r\n";
    } else if (verb == "UIDL" && options_.uidl) {
      normal = "+OK unique-id listing follows\r\n";
      for (int i = 1; i <= int(box.size()); ++i) {
        if (!live(i)) continue;
        bool given = std::size_t(i) <= options_.ids.size();
        normal += std::to_string(i) + " " + (given ? options_.ids[i - 1] : "uid" + std::to_string(i)) + "\r\n";
      }
      normal += ".\r\n";
    } else if (verb == "RETR") {
      normal = live(n) ? RetrAnswer(box[n - 1]) : "-ERR no such message\r\n";
    } else if (verb == "DELE") {
      normal = live(n) ? "+OK deleted\r\n" : "-ERR no such message\r\n";
      if (live(n)) marked.insert(n);
    } else if (verb == "RSET") {
      marked.clear();
      normal = "+OK\r\n";
    } else if (verb == "NOOP") {
      normal = "+OK\r\n";
    }
    if (!answer(line, normal)) return;
  }
}

}  // namespace ferry::test
