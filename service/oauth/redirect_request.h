// The request a browser makes to the loopback redirect of the
// authorization-code grant (RFC 8252): its query read into code, state and
// error. Pure.
#pragma once

#include <string>
#include <string_view>

namespace ferry::oauth {

struct RedirectQuery {
  std::string code;
  std::string state;
  std::string error;  // "access_denied", …
  bool valid = false;  // a GET line with a query was found
};

// A form or query part decoded: "+" is a blank, "%XX" its byte; anything
// else, a broken escape included, stays as it is.
std::string FormDecode(std::string_view text);

// Reads "GET /path?code=…&state=… HTTP/1.1" (the first line of `request`);
// percent-escapes and "+" decoded.
RedirectQuery ReadRedirectRequest(std::string_view request);

}  // namespace ferry::oauth
