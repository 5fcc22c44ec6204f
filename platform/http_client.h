// One HTTP(S) request and its answer, through what each system ships:
// linux/http_client_curl.cpp (libcurl) and win32/http_client_winhttp.cpp
// (WinHTTP). Used for token requests and page fetches.
//
// Guarantees every implementation keeps:
// - For https URLs the server's certificate chain and host name are always
//   checked (the system's roots plus HttpRequest::caFile); there is no switch
//   to turn that off.
// - The whole exchange is bounded by HttpRequest::timeoutMs, and the body kept
//   by HttpRequest::maxBodyBytes: a longer body ends the request with an error
//   instead of growing without limit. Header lines are bounded the same way.
// - Redirects are followed at most HttpRequest::maxRedirects times; an https
//   request never follows a redirect to plain http.
// - Nothing is shared between calls: requests on different threads are
//   independent.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace ferry::net {

struct HttpRequest {
  std::string method = "GET";  // "GET" or "POST"
  std::string url;             // http://… or https://…
  // Extra request header lines as name and value, e.g. {"If-None-Match", "\"abc\""}.
  std::vector<std::pair<std::string, std::string>> headers;
  // A POST's body, sent as application/x-www-form-urlencoded unless a
  // Content-Type header is given; see FormEncode.
  std::string body;
  // A PEM file of CA certificates trusted in addition to the system's roots;
  // empty for the system's roots alone.
  std::string caFile;
  // "host:port" of an HTTP proxy; empty for a direct connection.
  std::string proxy;
  int timeoutMs = 30000;
  std::size_t maxBodyBytes = 1 << 20;
  int maxRedirects = 5;
  // Ask for a compressed answer and inflate it where the system can.
  bool acceptGzip = true;
};

struct HttpResponse {
  int status = 0;  // the final answer's status code, after redirects
  // The final answer's header lines as name and value, in the order received
  // (names as the server spelled them).
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string finalUrl;  // where the redirects led
};

// The value of the first header named `name` (compared without regard to
// case), or an empty string.
std::string HeaderValue(const HttpResponse& response, const std::string& name);

// "a=1&b=x%20y": each value percent-encoded (unreserved characters kept).
std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields);
// Percent-encodes everything but A–Z a–z 0–9 - . _ ~.
std::string PercentEncode(const std::string& text);

// Sends the request and waits for the answer. True with `response` filled when
// an HTTP answer came (whatever its status); false with English words in
// `error` when none did (no connection, certificate refused, time-out, body
// over the limit, too many redirects, a malformed URL).
bool HttpExchange(const HttpRequest& request, HttpResponse* response, std::string* error);

}  // namespace ferry::net
