// The science ticker's item links in a forwarded mail, and what an item page
// yields. Pure functions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferry {

inline constexpr std::string_view kScienceDetailPath = "/bdw/ticker/tickerdetail.hbs?";
inline constexpr std::string_view kScienceDetailSuffix = "&navi=1";

// "http://" + site + "/indexticker.hbs?"
std::string ScienceLinkMarker(std::string_view siteName);

struct ScienceLink {
  std::string query;  // the link's query, decoded and whole
  bool quotedPrintable = false;
};

// Every link in `text` (header and body), in the order found. A message in
// quoted-printable form (it says so, or the link holds "=3D" or a soft line
// break) is decoded first; the link then reaches to its first quote, blank,
// angle bracket or control character, and its entities are decoded.
std::vector<ScienceLink> FindScienceLinks(std::string_view text, std::string_view siteName);

// The request target of a link's detail page.
std::string ScienceDetailPath(std::string_view query);

struct SciencePage {
  std::string html;      // the body, its scripts taken out
  std::string charset;   // what the page declares, else ISO-8859-1
  std::string subject;   // made fit for a header line
  std::string rawSubject;
  std::string category;
  std::string date;
  bool scriptRemoved = false;
  bool hasSubject = false;
  bool hasCategory = false;
  bool hasDate = false;
};

// The handling of one item page (a 200 response) before it is saved and mailed.
SciencePage ReadSciencePage(std::string_view response);

}  // namespace ferry
