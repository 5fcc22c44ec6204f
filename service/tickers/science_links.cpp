#include "service/tickers/science_links.h"

#include <algorithm>

#include "service/tickers/ticker_links.h"
#include "service/tickers/ticker_mime.h"
#include "service/tickers/ticker_texts.h"

namespace ferry {
namespace {

constexpr std::size_t kSubjectKept = 159;
constexpr std::size_t kCategoryKept = 29;
constexpr std::size_t kDateKept = 39;

// Characters that cannot stay in a subject that fills a header line.
void BlankOut(std::string& text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t' || c == '"' || c == '/' || c == ':' || c == '\\') c = ' ';
  }
}

bool SaysQuotedPrintable(std::string_view text) {
  constexpr std::string_view kWhat = "content-transfer-encoding: quoted-printable";
  for (std::size_t at = 0; at + kWhat.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < kWhat.size()) {
      char c = text[at + i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (c != kWhat[i]) break;
      ++i;
    }
    if (i == kWhat.size()) return true;
  }
  return false;
}

}  // namespace

std::string ScienceLinkMarker(std::string_view siteName) {
  return "http://" + std::string(siteName) + "/indexticker.hbs?";
}

std::vector<ScienceLink> FindScienceLinks(std::string_view text, std::string_view siteName) {
  const std::string marker = ScienceLinkMarker(siteName);
  const bool qpMessage = SaysQuotedPrintable(text);
  std::vector<ScienceLink> links;
  for (std::size_t at = text.find(marker); at != std::string_view::npos; at = text.find(marker, at + 1)) {
    // A link longer than a request target may be is refused later; the window
    // leaves room for its quoted-printable form.
    std::string_view window = text.substr(at + marker.size(), 3 * kMaxLinkLength);
    std::string_view raw = TakeLink(window);
    const bool softBreak = raw.size() < window.size() && raw.ends_with('=') &&
                           (window.substr(raw.size()).starts_with("\r\n") || window.substr(raw.size()).starts_with("\n"));
    ScienceLink link;
    link.quotedPrintable = qpMessage || raw.find("=3D") != std::string_view::npos || softBreak;
    std::string decoded = link.quotedPrintable ? DecodeQuotedPrintable(window) : std::string(window);
    link.query = DecodeEntities(TakeLink(decoded));
    if (!link.query.empty()) links.push_back(std::move(link));
  }
  return links;
}

std::string ScienceDetailPath(std::string_view query) {
  return std::string(kScienceDetailPath) + std::string(query) + std::string(kScienceDetailSuffix);
}

SciencePage ReadSciencePage(std::string_view response) {
  SciencePage page;
  page.charset = PageCharset(response);
  std::string_view body = response.substr(BodyStart(response));
  page.html = RemoveScripts(body);
  page.scriptRemoved = page.html.size() != body.size();
  const std::string& t = page.html;

  std::size_t bold = t.find("<B>");
  std::size_t boldEnd = bold == std::string::npos ? std::string::npos : t.find("</B>", bold);
  if (bold != std::string::npos && boldEnd != std::string::npos) {
    std::size_t from = bold + 3;
    while (from < boldEnd && (t[from] == ' ' || t[from] == '"')) ++from;
    page.hasSubject = true;
    page.rawSubject = t.substr(from, std::min(boldEnd - from, kSubjectKept));
    page.subject = page.rawSubject;
    BlankOut(page.subject);
  }

  if (bold != std::string::npos) {
    std::size_t colon = t.find(':');
    if (colon != std::string::npos) {
      std::size_t before = colon == 0 ? std::string::npos : t.find_last_of("\n>", colon - 1);
      std::size_t from = before == std::string::npos ? 0 : before + 1;
      page.hasCategory = true;
      page.category = t.substr(from, std::min(colon - from, kCategoryKept));
      BlankOut(page.category);
    }
  }

  constexpr std::string_view kDateMark = "(Meldung vom ";
  std::size_t date = t.find(kDateMark);
  if (date != std::string::npos) {
    std::size_t from = date + kDateMark.size();
    std::size_t end = t.find(')', from);
    if (end != std::string::npos) {
      page.hasDate = true;
      page.date = t.substr(from, std::min(end - from, kDateKept));
    }
  }
  return page;
}

}  // namespace ferry
