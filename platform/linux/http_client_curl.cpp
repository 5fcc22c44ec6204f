// The HTTP client over libcurl (platform/http_client.h). One easy handle per
// request; the body and the header lines are collected by callbacks that stop
// the transfer once a bound is passed.
#include <curl/curl.h>

#include <mutex>

#include "platform/http_client.h"

namespace ferry::net {
namespace {

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

struct Collected {
  HttpResponse* response = nullptr;
  std::size_t maxBody = 0;
  std::size_t headerBytes = 0;
  bool bodyTooLong = false;
  bool headersTooLong = false;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* collected = static_cast<Collected*>(user);
  const std::size_t length = size * count;
  if (collected->response->body.size() + length > collected->maxBody) {
    collected->bodyTooLong = true;
    return 0;  // ends the transfer with CURLE_WRITE_ERROR
  }
  collected->response->body.append(data, length);
  return length;
}

std::string Trim(std::string text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* collected = static_cast<Collected*>(user);
  const std::size_t length = size * count;
  collected->headerBytes += length;
  if (collected->headerBytes > kMaxHeaderBytes) {
    collected->headersTooLong = true;
    return 0;
  }
  const std::string line(data, length);
  if (line.rfind("HTTP/", 0) == 0) {
    // A new answer (after a redirect or a 100 Continue): only the last one's
    // header lines are kept.
    collected->response->headers.clear();
    return length;
  }
  const auto colon = line.find(':');
  if (colon != std::string::npos) {
    collected->response->headers.emplace_back(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
  }
  return length;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyHandle {
  CURL* handle = curl_easy_init();
  curl_slist* headers = nullptr;
  ~EasyHandle() {
    curl_slist_free_all(headers);
    if (handle != nullptr) curl_easy_cleanup(handle);
  }
};

}  // namespace

bool HttpExchange(const HttpRequest& request, HttpResponse* response, std::string* error) {
  GlobalInit();
  *response = HttpResponse{};
  const bool https = request.url.rfind("https://", 0) == 0;
  if (!https && request.url.rfind("http://", 0) != 0) {
    *error = "not an http or https URL";
    return false;
  }
  EasyHandle easy;
  if (easy.handle == nullptr) {
    *error = "the HTTP library could not start";
    return false;
  }
  CURL* curl = easy.handle;
  Collected collected{response, request.maxBodyBytes};
  char errorBuffer[CURL_ERROR_SIZE] = {};

  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &collected);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &collected);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.caFile.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, request.caFile.c_str());
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, request.maxRedirects > 0 ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, https ? "https" : "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, https ? "https" : "http,https");
  // No proxy from the environment: only the one the caller names.
  curl_easy_setopt(curl, CURLOPT_PROXY, request.proxy.c_str());
  if (request.acceptGzip) curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");

  bool hasContentType = false;
  for (const auto& [name, value] : request.headers) {
    if (name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos) {
      *error = "a request header holds a line break";
      return false;
    }
    HttpResponse asHeader;
    asHeader.headers.emplace_back(name, value);
    if (!HeaderValue(asHeader, "Content-Type").empty()) hasContentType = true;
    easy.headers = curl_slist_append(easy.headers, (name + ": " + value).c_str());
  }
  if (request.method == "POST") {
    if (!hasContentType) {
      easy.headers = curl_slist_append(easy.headers, "Content-Type: application/x-www-form-urlencoded");
    }
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(request.body.size()));
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.c_str());
  } else if (request.method != "GET") {
    *error = "unsupported request method";
    return false;
  }
  // No "Expect: 100-continue" round trip for small bodies.
  easy.headers = curl_slist_append(easy.headers, "Expect:");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, easy.headers);

  const CURLcode code = curl_easy_perform(curl);
  if (code != CURLE_OK) {
    if (collected.bodyTooLong) {
      *error = "the answer is longer than " + std::to_string(request.maxBodyBytes) + " bytes";
    } else if (collected.headersTooLong) {
      *error = "the answer's header is too long";
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
      *error = "no answer in time";
    } else if (code == CURLE_TOO_MANY_REDIRECTS) {
      *error = "too many redirects";
    } else if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE) {
      *error = std::string("certificate refused: ") + (errorBuffer[0] != 0 ? errorBuffer : curl_easy_strerror(code));
    } else {
      *error = errorBuffer[0] != 0 ? errorBuffer : curl_easy_strerror(code);
    }
    return false;
  }
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  response->status = static_cast<int>(status);
  char* finalUrl = nullptr;
  curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &finalUrl);
  response->finalUrl = finalUrl != nullptr ? finalUrl : request.url;
  return true;
}

}  // namespace ferry::net
