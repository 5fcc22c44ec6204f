#include "tests/peers/http_peer.h"

namespace ferry::test {

std::string HttpPage(const std::string& body, const std::string& headerLines) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n" + headerLines + "\r\n" + body;
}

HttpScript PagesByTarget(std::map<std::string, HttpAnswer> pages) {
  return [pages = std::move(pages)](const std::string& request) {
    std::size_t start = request.starts_with("GET ") ? 4 : request.size();
    std::size_t end = request.find(' ', start);
    std::string target = start < request.size() ? request.substr(start, end - start) : std::string();
    auto page = pages.find(target);
    if (page != pages.end()) return page->second;
    return HttpAnswer{"HTTP/1.0 404 Not Found\r\n\r\n<HTML>Not found</HTML>"};
  };
}

HttpPeer::HttpPeer(HttpScript script)
    : script_(std::move(script)), server_(80, [this](PeerConnection& c) { Serve(c); }) {}

std::vector<std::string> HttpPeer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void HttpPeer::Serve(PeerConnection& connection) {
  std::string request;
  bool whole = connection.ReadUntil("\r\n\r\n", &request, 64 * 1024);
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  if (!whole) return;
  HttpAnswer answer = script_(request);
  if (answer.dripMs > 0) {
    connection.Drip(answer.bytes, answer.dripMs);
  } else {
    connection.Write(answer.bytes);
  }
  if (answer.keepOpen) connection.DrainUntilClosed();
}

}  // namespace ferry::test
