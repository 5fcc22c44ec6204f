// Pages, index pages and checks shared by the tests of whole ticker runs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/state_files.h"
#include "service/tickers/science_links.h"
#include "service/tickers/ticker_links.h"
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

// The value of the first header line `name` ("Subject") of a received mail,
// folded lines joined; empty when there is none.
inline std::string HeaderField(const std::string& data, const std::string& name) {
  std::string header = data.substr(0, data.find("\r\n\r\n") + 2);
  std::string key = "\r\n" + name + ": ";
  std::size_t at = ("\r\n" + header).find(key);
  if (at == std::string::npos) return {};
  std::string value;
  for (std::size_t i = at + key.size() - 2; i < header.size(); ++i) {
    if (header.compare(i, 3, "\r\n ") == 0) {
      i += 2;
      continue;
    }
    if (header.compare(i, 2, "\r\n") == 0) break;
    value.push_back(header[i]);
  }
  return value;
}

// The body of a received mail as its reader sees it: the end-of-data line
// taken off, the dot-stuffing undone, quoted-printable decoded when the
// header says so.
inline std::string MailBody(const std::string& data) {
  std::size_t blank = data.find("\r\n\r\n");
  if (blank == std::string::npos) return {};
  std::string body = data.substr(blank + 4);
  if (body.ends_with(".\r\n")) body.resize(body.size() - 3);
  // A stuffed line starts with two dots: the first is dropped.
  std::string plain;
  bool lineStart = true;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (lineStart && body[i] == '.') {
      lineStart = false;
      continue;
    }
    plain.push_back(body[i]);
    lineStart = body[i] == '\n';
  }
  if (HeaderField(data, "Content-Transfer-Encoding") == "quoted-printable") return DecodeQuotedPrintable(plain);
  return plain;
}

// Whether every line of `data` ends in CR LF (no bare CR or LF anywhere).
inline bool AllCrLf(const std::string& data) {
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (data[i] == '\n' && (i == 0 || data[i - 1] != '\r')) return false;
    if (data[i] == '\r' && (i + 1 == data.size() || data[i + 1] != '\n')) return false;
  }
  return true;
}

inline std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline ::testing::AssertionResult HoldsExactly(const std::filesystem::path& folder,
                                               const std::vector<std::string>& names) {
  const std::vector<std::string> listed = FilesIn(folder);
  if (listed.size() != names.size()) return ::testing::AssertionFailure() << listed.size() << " files in the folder";
  for (const std::string& name : names) {
    std::string content;
    if (!state::ReadWholeFile(state::JoinStatePath(folder.string(), name), 1 << 20, &content).ok()) {
      return ::testing::AssertionFailure() << name << " is missing";
    }
  }
  return ::testing::AssertionSuccess();
}

inline bool LogHas(const std::string& log, const std::string& line) { return log.find(" : " + line) != std::string::npos; }

inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace ferry::test
