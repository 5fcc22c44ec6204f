// A scripted HTTP server on loopback for the news tickers: it reads each
// request up to its blank line, keeps every byte the client sent, and answers
// with what the script gives for that request.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tests/peers/loopback_server.h"

namespace ferry::test {

struct HttpAnswer {
  std::string bytes;
  // Leave the connection open after the answer (a kept-alive connection)
  // until the client closes it.
  bool keepOpen = false;
  // Send the answer one byte at a time with this pause between two bytes
  // (a slow site); 0 sends it at once.
  int dripMs = 0;
};

using HttpScript = std::function<HttpAnswer(const std::string& request)>;

// "HTTP/1.0 200 OK" with the given extra header lines (each ending in CR LF),
// a blank line and the body.
std::string HttpPage(const std::string& body, const std::string& headerLines = "");

// Answers by the request target (the text between "GET " and the next blank);
// an unknown target gets a 404 page.
HttpScript PagesByTarget(std::map<std::string, HttpAnswer> pages);

class HttpPeer {
 public:
  // On port 80 of its own 127.x.y.z, or where that cannot be bound (not root),
  // on a port the system picks on 127.0.0.1.
  explicit HttpPeer(HttpScript script);

  // "address:port" as a ticker's environment variable takes it.
  std::string Override() const { return server_.Address() + ":" + std::to_string(server_.Port()); }
  // Every byte received, over all connections.
  std::string Transcript() const { return server_.Transcript(); }
  // Each request as received, in order.
  std::vector<std::string> Requests() const;
  int Connections() const { return server_.Connections(); }
  void Stop() { server_.Stop(); }

 private:
  void Serve(PeerConnection& connection);

  HttpScript script_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  LoopbackServer server_;
};

}  // namespace ferry::test
