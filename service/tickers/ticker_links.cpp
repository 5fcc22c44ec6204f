#include "service/tickers/ticker_links.h"

namespace ferry {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '=') {
      out.push_back(c);
      continue;
    }
    std::string_view rest = text.substr(i + 1);
    if (rest.starts_with("\r\n")) {
      i += 2;
    } else if (rest.starts_with("\n")) {
      i += 1;
    } else if (rest.size() >= 2 && HexValue(rest[0]) >= 0 && HexValue(rest[1]) >= 0) {
      out.push_back(static_cast<char>(HexValue(rest[0]) * 16 + HexValue(rest[1])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string DecodeEntities(std::string_view text) {
  struct Named {
    std::string_view name;
    char value;
  };
  static constexpr Named kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string_view rest = text.substr(i);
    bool done = false;
    if (rest.starts_with('&')) {
      for (const Named& n : kNamed) {
        if (rest.starts_with(n.name)) {
          out.push_back(n.value);
          i += n.name.size() - 1;
          done = true;
          break;
        }
      }
      if (!done && rest.starts_with("&#")) {
        bool hex = rest.size() > 2 && (rest[2] == 'x' || rest[2] == 'X');
        std::size_t at = hex ? 3 : 2;
        int value = 0;
        std::size_t digits = 0;
        while (at < rest.size() && digits < 6) {
          int d = hex ? HexValue(rest[at]) : (rest[at] >= '0' && rest[at] <= '9' ? rest[at] - '0' : -1);
          if (d < 0) break;
          value = value * (hex ? 16 : 10) + d;
          ++at;
          ++digits;
        }
        if (digits > 0 && at < rest.size() && rest[at] == ';' && value > 0 && value < 256) {
          out.push_back(static_cast<char>(value));
          i += at;
          done = true;
        }
      }
    }
    if (!done) out.push_back(text[i]);
  }
  return out;
}

std::string_view TakeLink(std::string_view text) {
  std::size_t end = 0;
  while (end < text.size()) {
    auto u = static_cast<unsigned char>(text[end]);
    if (u <= 0x20 || u == 0x7F || u == '"' || u == '\'' || u == '<' || u == '>') break;
    ++end;
  }
  return text.substr(0, end);
}

std::string RequestTarget(std::string_view link) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  if (link.empty() || link.size() > kMaxLinkLength) return {};
  std::string out;
  for (char c : link) {
    auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return {};
    // Bytes above 0x7E and the ASCII characters a URI never holds whole.
    if (u > 0x7F || std::string_view("\"<>\\^`{|}").find(c) != std::string_view::npos) {
      out.append({'%', kHex[u >> 4], kHex[u & 15]});
    } else {
      out.push_back(c);
    }
  }
  return out;
}

}  // namespace ferry
