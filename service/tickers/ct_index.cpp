#include "service/tickers/ct_index.h"

#include <algorithm>

#include "service/transfer/address_rules.h"

namespace ferry {

std::string ResponseStatus(std::string_view response) {
  std::string_view line = response.substr(0, response.find("\r\n"));
  line = line.substr(0, line.find('\n'));
  std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return {};
  return std::string(line.substr(blank + 1, 3));
}

bool LastModifiedValue(std::string_view header, std::string* value) {
  constexpr std::string_view kName = "last-modified:";
  for (std::size_t at = 0; at + kName.size() <= header.size(); ++at) {
    if (!IsLowerAscii(header.substr(at, kName.size()), kName)) continue;
    std::size_t from = at + kName.size();
    std::size_t end = header.find("\r\n", from);
    if (end == std::string_view::npos) return false;
    *value = std::string(header.substr(from, std::min(end - from, kLastDateKept)));
    return true;
  }
  return false;
}

std::string DecodeCtTitle(std::string_view raw) {
  std::string title;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    char c = raw[i];
    if (c == '\n' || c == '\r' || c == '"' || c == '/' || c == ':' || c == '\\') {
      title.push_back(' ');
    } else if (raw.substr(i).starts_with("&amp;")) {
      // The ampersand itself; by the letter rule below it would read as an umlaut.
      title.push_back('&');
      i += 4;
    } else if (c == '&' && i + 1 < raw.size() && raw.find(';', i + 1) != std::string_view::npos) {
      char letter = raw[i + 1];
      switch (letter) {
        case 'a': title.push_back('\xE4'); break;
        case 'o': title.push_back('\xF6'); break;
        case 'u': title.push_back('\xFC'); break;
        default:
          // The letter of an entity obeys the same blanking as the raw text.
          if (letter == '\n' || letter == '\r' || letter == '"' || letter == '/' || letter == ':' || letter == '\\')
            letter = ' ';
          title.push_back(letter);
          break;
      }
      i = raw.find(';', i + 1);
    } else {
      title.push_back(c);
    }
  }
  if (title.size() > TickerItem::kTitleKept) title.resize(TickerItem::kTitleKept);
  return title;
}

CtIndexScan ScanCtIndex(std::string_view body, std::string_view lastTitle, std::string_view siteName) {
  constexpr std::string_view kMarker = "<LI> <A HREF=\"";
  CtIndexScan scan;
  for (std::size_t at = body.find(kMarker); at != std::string_view::npos; at = body.find(kMarker, at + 1)) {
    std::size_t pathStart = at + kMarker.size();
    std::size_t pathEnd = body.find("\">", pathStart);
    if (pathEnd == std::string_view::npos) break;
    std::size_t titleStart = pathEnd + 2;
    std::size_t titleEnd = body.find("</A>", titleStart);
    if (titleEnd == std::string_view::npos) break;
    std::string_view raw = body.substr(titleStart, std::min(titleEnd - titleStart, kRawTitleKept));
    std::string title = DecodeCtTitle(raw);
    if (title == lastTitle) {
      scan.reachedLastTitle = true;
      break;
    }
    scan.items.push_back(MakeTickerItem(body.substr(pathStart, pathEnd - pathStart), siteName, title));
  }
  return scan;
}

}  // namespace ferry
