#include "service/tickers/ct_index.h"

#include <algorithm>

#include "service/tickers/ticker_links.h"
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
  const std::string siteAddress = "http://" + std::string(siteName);
  CtIndexScan scan;
  std::size_t found = std::string_view::npos;
  for (std::size_t at = body.find(kMarker); at != std::string_view::npos; at = body.find(kMarker, at + 1)) {
    std::size_t pathStart = at + kMarker.size();
    std::string_view raw = TakeLink(body.substr(pathStart, kMaxLinkLength + 1));
    std::string path = DecodeEntities(raw);
    if (path.starts_with(siteAddress) && path.size() > siteAddress.size() && path[siteAddress.size()] == '/') {
      path.erase(0, siteAddress.size());
    }
    // A link that decodes to a blank or a control character cannot be asked for.
    if (!path.starts_with('/') || RequestTarget(path).empty()) continue;
    // The title ends at "</A>", or at the next "<" when the next link comes first.
    std::size_t next = body.find(kMarker, pathStart);
    std::size_t limit = next == std::string_view::npos ? body.size() : next;
    std::size_t close = body.find('>', pathStart + raw.size());
    std::string_view rawTitle;
    if (close < limit) {
      std::size_t titleStart = close + 1;
      std::size_t titleEnd = body.find("</A>", titleStart);
      if (titleEnd > limit) titleEnd = std::min(body.find('<', titleStart), limit);
      rawTitle = body.substr(titleStart, titleEnd - titleStart);
    }
    std::string title = DecodeCtTitle(rawTitle.substr(0, kRawTitleKept));
    if (found == std::string_view::npos && !lastTitle.empty() && title == lastTitle) found = scan.items.size();
    scan.items.push_back(MakeTickerItem(path, siteName, title));
  }
  scan.lastTitleAt = found == std::string_view::npos ? scan.items.size() : found;
  return scan;
}

}  // namespace ferry
