// One HTTP request as a scripted site receives it and the answer the script
// gives, shared by the HTTPS peer (https_peer.h) and plain HTTP sites built on
// the loopback server.
#pragma once

#include <algorithm>
#include <functional>
#include <string>

namespace ferry::test {

struct HttpsRequest {
  std::string method;
  std::string target;
  std::string headerLines;  // every header line as received, CR LF included
  std::string body;
};

struct HttpsAnswer {
  int status = 200;
  std::string headerLines;  // extra header lines, each ending in CR LF
  std::string body;
  // Send the body as Transfer-Encoding: chunked (in pieces of kChunkBytes)
  // instead of with a Content-Length.
  bool chunked = false;
};

using HttpsScript = std::function<HttpsAnswer(const HttpsRequest&)>;

inline constexpr std::size_t kChunkBytes = 100;

// The whole answer as sent, closing the connection after it.
inline std::string AnswerBytes(const HttpsAnswer& answer) {
  std::string out = "HTTP/1.1 " + std::to_string(answer.status) + " Answer\r\nConnection: close\r\n";
  if (!answer.chunked) {
    return out + "Content-Length: " + std::to_string(answer.body.size()) + "\r\n" + answer.headerLines + "\r\n" +
           answer.body;
  }
  out += "Transfer-Encoding: chunked\r\n" + answer.headerLines + "\r\n";
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t at = 0; at < answer.body.size(); at += kChunkBytes) {
    const std::size_t size = std::min(kChunkBytes, answer.body.size() - at);
    std::string length;
    for (std::size_t n = size; n > 0; n /= 16) length.insert(length.begin(), kHex[n % 16]);
    out += length + "\r\n" + answer.body.substr(at, size) + "\r\n";
  }
  return out + "0\r\n\r\n";
}

}  // namespace ferry::test
