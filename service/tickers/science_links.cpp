#include "service/tickers/science_links.h"

#include <algorithm>

#include "service/tickers/ticker_texts.h"

namespace ferry {
namespace {

constexpr std::size_t kSubjectKept = 159;
constexpr std::size_t kCategoryKept = 29;
constexpr std::size_t kDateKept = 39;
constexpr std::string_view kRecordKey = "myrec=3D";
constexpr std::string_view kIdKey = "&myid=3D";

// Characters that cannot stay in a subject that names a file and fills a header.
void BlankOut(std::string& text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '"' || c == '/' || c == ':' || c == '\\') c = ' ';
  }
}

ScienceLink Decode(std::string_view query) {
  // The query goes into a request line: it ends at the first control character.
  for (std::size_t i = 0; i < query.size(); ++i) {
    auto c = static_cast<unsigned char>(query[i]);
    if (c < 0x20 || c == 0x7F) {
      query = query.substr(0, i);
      break;
    }
  }
  ScienceLink link;
  if (query.find("=3D") != std::string_view::npos) {
    link.quotedPrintable = true;
    std::size_t amp = std::min(query.find('&'), query.size());
    std::size_t recordStart = std::min(kRecordKey.size(), amp);
    link.record = std::string(query.substr(recordStart, amp - recordStart));
    std::size_t idStart = std::min(amp + kIdKey.size(), query.size());
    link.id = std::string(query.substr(idStart));
    // A soft line break of the quoted-printable text is no part of the id.
    if (link.id.ends_with('=')) link.id.pop_back();
    link.query = "myrec=" + link.record + "&myid=" + link.id;
    return link;
  }
  std::size_t end = query.find_first_of(" \t\"'<>");
  link.query = std::string(query.substr(0, end));
  return link;
}

}  // namespace

std::string ScienceLinkMarker(std::string_view siteName) {
  return "http://" + std::string(siteName) + "/indexticker.hbs?";
}

std::vector<ScienceLink> FindScienceLinks(std::string_view text, std::string_view siteName) {
  const std::string marker = ScienceLinkMarker(siteName);
  std::vector<ScienceLink> links;
  std::size_t at = text.find(marker);
  while (at != std::string_view::npos) {
    std::size_t start = at + marker.size();
    std::size_t end = text.find("\r\n", start);
    if (end == std::string_view::npos) end = text.find('\n', start);
    std::string_view query = end == std::string_view::npos ? std::string_view() : text.substr(start, end - start);
    links.push_back(Decode(query));
    at = text.find(marker, end == std::string_view::npos ? start : end);
  }
  return links;
}

std::string ScienceDetailPath(std::string_view query) {
  return std::string(kScienceDetailPath) + std::string(query) + std::string(kScienceDetailSuffix);
}

SciencePage ReadSciencePage(std::string_view response) {
  SciencePage page;
  page.bodyStart = BodyStart(response);
  page.text.reserve(response.size() + kMailTerminator.size());
  page.text.assign(response);
  page.text.append(kMailTerminator);
  std::string& t = page.text;

  std::size_t open = t.find("<script");
  std::size_t close = t.find("</script>");
  if (open != std::string::npos && close != std::string::npos) {
    page.scriptReplaced = true;
    t.replace(open + 1, 3, "!--");
    t.replace(close + 1, 3, "!--");
  }

  std::size_t bold = t.find("<B>");
  std::size_t boldEnd = t.find("</B>");
  if (bold != std::string::npos && boldEnd != std::string::npos && boldEnd > bold) {
    std::size_t from = bold + 3;
    while (from < boldEnd && (t[from] == ' ' || t[from] == '"')) ++from;
    page.hasSubject = true;
    page.rawSubject = t.substr(from, std::min(boldEnd - from, kSubjectKept));
    page.subject = page.rawSubject;
    BlankOut(page.subject);
  }

  if (bold != std::string::npos) {
    std::string_view body = std::string_view(t).substr(page.bodyStart);
    std::size_t colon = body.find(':');
    if (colon != std::string_view::npos) {
      std::size_t before = body.find_last_of("\n>", colon == 0 ? 0 : colon - 1);
      std::size_t from = (before == std::string_view::npos || colon == 0) ? 0 : before + 1;
      if (colon == 0 || before == colon - 1) from = colon;
      page.hasCategory = true;
      page.category = std::string(body.substr(from, std::min(colon - from, kCategoryKept)));
      for (char& c : page.category) {
        if (c == '\r' || c == '"') c = ' ';
      }
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
