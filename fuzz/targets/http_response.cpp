// The ticker's HTTP response split: header and body, the status, the
// Last-Modified value and the declared charset, for any bytes a web server
// sends; nothing reads past the response.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/tickers/ct_index.h"
#include "service/tickers/ticker_mime.h"
#include "service/tickers/ticker_texts.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view response = fuzz::AsText(data, size);
  std::size_t body = BodyStart(response);
  FUZZ_CHECK(body <= response.size());
  std::string_view header = ResponseHeader(response);
  FUZZ_CHECK(response.starts_with(header));
  if (!header.empty()) FUZZ_CHECK((header.ends_with("\r\n\r\n") || header.ends_with("\n\n")) && body == header.size());
  int code = ResponseStatusCode(response);
  FUZZ_CHECK(code >= 0 && code <= 999);

  std::string status = ResponseStatus(response);
  FUZZ_CHECK(status.size() <= 3);

  std::string modified;
  if (LastModifiedValue(header, &modified)) {
    FUZZ_CHECK(modified.size() <= 59);
    FUZZ_CHECK(modified.find("\r\n") == std::string::npos);
  }

  std::string charset = PageCharset(response);
  FUZZ_CHECK(!charset.empty() && charset.size() <= 40);
  FUZZ_CHECK(charset.find_first_of(" \r\n\"';?=") == std::string::npos);
  return 0;
}
