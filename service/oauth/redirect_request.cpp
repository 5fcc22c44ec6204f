#include "service/oauth/redirect_request.h"

namespace ferry::oauth {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string FormDecode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

RedirectQuery ReadRedirectRequest(std::string_view request) {
  RedirectQuery query;
  const std::size_t lineEnd = request.find("\r\n");
  if (lineEnd == std::string_view::npos || !request.starts_with("GET ")) return query;
  std::string_view target = request.substr(4, lineEnd - 4);
  const std::size_t blank = target.find(' ');
  if (blank == std::string_view::npos) return query;
  target = target.substr(0, blank);
  const std::size_t mark = target.find('?');
  if (mark == std::string_view::npos) return query;
  std::string_view rest = target.substr(mark + 1);
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    const std::size_t equals = pair.find('=');
    const std::string_view name = pair.substr(0, equals);
    const std::string value = equals == std::string_view::npos ? "" : FormDecode(pair.substr(equals + 1));
    if (name == "code") query.code = value;
    if (name == "state") query.state = value;
    if (name == "error") query.error = value;
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  query.valid = true;
  return query;
}

}  // namespace ferry::oauth
