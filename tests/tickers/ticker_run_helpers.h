// Pages, index pages and checks shared by the tests of whole ticker runs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "service/tickers/science_links.h"
#include "service/tickers/ticker_sites.h"
#include "service/tickers/ticker_texts.h"
#include "service/transfer/account_run.h"
#include "tests/tickers/ticker_fixture.h"

namespace ferry::test {

inline const std::string kXInfo = "x-info: Forwarded from POP3 <-> SMTP Gateway\r\n";

inline std::string ScienceLink(const std::string& query) { return ScienceLinkMarker(kScienceSiteName) + query; }
inline std::string SciencePath(const std::string& query) { return ScienceDetailPath(query); }

// A science item page: category, bold title and the item's date.
inline std::string SciencePageBody(const std::string& category, const std::string& title) {
  return "<HTML><BODY>\r\n<P>" + category + ": <B>" + title + "</B>\r\n<P>Text (Meldung vom 01.06.1999)\r\n</BODY></HTML>\r\n";
}

inline std::string CtItemLink(const std::string& path, const std::string& rawTitle) {
  return "<LI> <A HREF=\"" + path + "\">" + rawTitle + "</A>\n";
}

inline std::string CtIndexPage(const std::vector<std::pair<std::string, std::string>>& items,
                               const std::string& lastModified) {
  std::string body = "<HTML><UL>\n";
  for (const auto& [path, title] : items) body += CtItemLink(path, title);
  body += "</UL></HTML>\r\n";
  return HttpPage(body, lastModified.empty() ? "" : "Last-Modified:" + lastModified + "\r\n");
}

// The mail text as the SMTP peer receives it up to the date, checked against
// the header template; returns what follows the date line.
inline std::string AfterDateLine(const std::string& data, const std::string& headerUpToDate) {
  EXPECT_TRUE(data.starts_with(kXInfo + headerUpToDate)) << data.substr(0, 400);
  std::size_t date = kXInfo.size() + headerUpToDate.size();
  if (data.size() < date + 29) return {};
  // asctime: 24 characters and a line feed, then the template's blank line.
  EXPECT_EQ(data.substr(date + 24, 5), "\n\r\n\r\n");
  return data.substr(date + 29);
}

inline std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline bool LogHas(const std::string& log, const std::string& line) { return log.find(" : " + line) != std::string::npos; }

inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace ferry::test
