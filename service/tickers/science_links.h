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
  std::string query;  // "myrec=<record>&myid=<id>" (decoded) or the plain query
  bool quotedPrintable = false;
  std::string record;  // quoted-printable form: the two values
  std::string id;
};

// Every link in `text` (header and body), in the order found. A link's query
// reaches to the end of its line; one in quoted-printable form ("=3D") is
// decoded into "myrec=" + record + "&myid=" + id. A plain link keeps its query
// up to the first blank, quote or angle bracket, so that both forms of one
// item ask for the same page.
std::vector<ScienceLink> FindScienceLinks(std::string_view text, std::string_view siteName);

// The request target of a link's detail page.
std::string ScienceDetailPath(std::string_view query);

struct SciencePage {
  std::string text;      // the response with the terminator appended and its script neutralised
  std::size_t bodyStart = 0;
  std::string subject;   // made fit for a file name and a header line
  std::string rawSubject;
  std::string category;
  std::string date;
  bool scriptReplaced = false;
  bool hasSubject = false;
  bool hasCategory = false;
  bool hasDate = false;

  std::string_view Body() const { return std::string_view(text).substr(bodyStart); }
};

// The handling of one item page before it is saved and mailed.
SciencePage ReadSciencePage(std::string_view response);

}  // namespace ferry
