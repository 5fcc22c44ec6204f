// The JSON reader of the token and device answers, and the base64 of the SASL
// challenges. Properties: whatever members are read, written back as a JSON
// object they read back the same; a usable token answer holds an error or a
// bearer access token; base64 of the input decodes to the input.
#include <map>
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/oauth/sasl_bearer.h"
#include "service/oauth/token_response.h"
#include "service/transfer/capability_lines.h"

using namespace ferry;

namespace {

std::string Quoted(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::AsText(data, size);

  if (auto members = oauth::ReadJsonMembers(input)) {
    std::string again = "{";
    for (const auto& [name, value] : *members) {
      if (again.size() > 1) again += ',';
      again += Quoted(name) + ":" + Quoted(value);
    }
    again += "}";
    auto reread = oauth::ReadJsonMembers(again);
    FUZZ_CHECK(again.size() > oauth::kMaxJsonBytes || (reread && *reread == *members));
  }
  if (auto token = oauth::ReadTokenResponse(input)) {
    FUZZ_CHECK(!token->error.empty() || !token->accessToken.empty());
    FUZZ_CHECK(token->expiresIn >= 0);
  }
  if (auto device = oauth::ReadDeviceAuthorization(input)) {
    FUZZ_CHECK(device->expiresIn > 0 && device->interval > 0 && !device->deviceCode.empty());
  }
  (void)oauth::ChallengeStatus(input);

  std::string decoded;
  FUZZ_CHECK(oauth::Base64Decode(Base64(input), &decoded) && decoded == input);
  return 0;
}
