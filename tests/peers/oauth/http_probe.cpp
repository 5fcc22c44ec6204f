// One request through the HTTP client of the platform seam, for checking the
// Windows build under Wine against the loopback servers:
//
//   ferry_http_probe URL CAFILE [FORM-BODY]
//
// prints the status and the body, or the error; exit 0 when an answer came.
#include <cstdio>
#include <string>

#include "platform/http_client.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ferry_http_probe URL CAFILE [FORM-BODY]\n");
    return 2;
  }
  ferry::net::HttpRequest request;
  request.url = argv[1];
  request.caFile = argv[2];
  request.timeoutMs = 10000;
  if (argc > 3) {
    request.method = "POST";
    request.body = argv[3];
  }
  ferry::net::HttpResponse response;
  std::string error;
  if (!ferry::net::HttpExchange(request, &response, &error)) {
    std::printf("error: %s\n", error.c_str());
    return 1;
  }
  std::printf("status %d\n%s\n", response.status, response.body.c_str());
  return 0;
}
