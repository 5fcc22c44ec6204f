#include "service/oauth/sasl_bearer.h"

#include "service/oauth/token_response.h"
#include "service/transfer/capability_lines.h"

namespace ferry::oauth {

const char* MechanismName(BearerMechanism mechanism) {
  return mechanism == BearerMechanism::Xoauth2 ? "XOAUTH2" : "OAUTHBEARER";
}

std::string Xoauth2InitialResponse(std::string_view user, std::string_view accessToken) {
  std::string text = "user=";
  text += user;
  text += "\x01" "auth=Bearer ";
  text += accessToken;
  text += "\x01\x01";
  return Base64(text);
}

std::string OauthBearerInitialResponse(std::string_view user, std::string_view host, int port,
                                       std::string_view accessToken) {
  std::string text = "n,a=";
  for (char c : user) {
    if (c == '=') {
      text += "=3D";
    } else if (c == ',') {
      text += "=2C";
    } else {
      text += c;
    }
  }
  text += ",\x01" "host=";
  text += host;
  text += "\x01" "port=" + std::to_string(port) + "\x01" "auth=Bearer ";
  text += accessToken;
  text += "\x01\x01";
  return Base64(text);
}

std::string InitialResponse(BearerMechanism mechanism, std::string_view user, std::string_view host, int port,
                            std::string_view accessToken) {
  return mechanism == BearerMechanism::Xoauth2 ? Xoauth2InitialResponse(user, accessToken)
                                               : OauthBearerInitialResponse(user, host, port, accessToken);
}

std::string ChallengeStatus(std::string_view base64Challenge) {
  std::string json;
  if (base64Challenge.size() > 4096 || !Base64Decode(base64Challenge, &json)) return {};
  auto members = ReadJsonMembers(json);
  if (!members) return {};
  auto found = members->find("status");
  return found == members->end() ? std::string() : found->second;
}

std::string Base64Url(std::string_view bytes) {
  std::string text = Base64(bytes);
  while (!text.empty() && text.back() == '=') text.pop_back();
  for (char& c : text) {
    if (c == '+') c = '-';
    if (c == '/') c = '_';
  }
  return text;
}

bool Base64Decode(std::string_view text, std::string* out) {
  out->clear();
  while (!text.empty() && text.back() == '=') text.remove_suffix(1);
  unsigned buffer = 0;
  int bits = 0;
  for (char c : text) {
    int value = -1;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (c >= '0' && c <= '9') value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    if (value < 0) return false;
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      *out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return true;
}

}  // namespace ferry::oauth
