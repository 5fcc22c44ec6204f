// The system-independent parts of the HTTP client: form encoding and header
// look-up.
#include <cctype>

#include "platform/http_client.h"

namespace ferry::net {

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += PercentEncode(name);
    out += '=';
    out += PercentEncode(value);
  }
  return out;
}

std::string HeaderValue(const HttpResponse& response, const std::string& name) {
  for (const auto& [key, value] : response.headers) {
    if (key.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(key[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return value;
  }
  return {};
}

}  // namespace ferry::net
