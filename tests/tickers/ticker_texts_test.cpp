// The tickers' requests and the mail and file a page becomes: the date text,
// the body, dot-stuffing, file names and the page copy, and the site override.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "service/tickers/ticker_mail.h"
#include "service/tickers/ticker_sites.h"
#include "service/tickers/ticker_texts.h"
#include "tests/support/temp_hive.h"

namespace ferry {
namespace {

// The mail header templates are checked byte for byte where the ticker runs
// send them (science_ticker_test, ct_newsticker_test).
TEST(TickerRequests, OneRequestLineForThePathHeaderLinesAndOneBlankLine) {
  const std::string date = " Tue, 01 Jun 1999 10:00:00 GMT";
  for (const std::string& request : {ItemPageRequest("/a?b=1&c=2"), KeepAliveItemPageRequest("/a?b=1&c=2"),
                                     ConditionalIndexRequest("/a?b=1&c=2", date)}) {
    EXPECT_TRUE(request.starts_with("GET /a?b=1&c=2 http/1.0\r\n")) << request;
    EXPECT_EQ(request.find("\r\n\r\n"), request.size() - 4) << request;
    EXPECT_EQ(request.find('\n'), request.find("\r\n") + 1) << request;
  }
  EXPECT_NE(KeepAliveItemPageRequest("/").find("\r\nConnection: Keep-Alive\r\n"), std::string::npos);
  EXPECT_NE(ConditionalIndexRequest("/", date).find("\r\nIf-Modified-Since: " + date + "\r\n"), std::string::npos);
}

TEST(TickerDate, AsctimeFormWithBlankPaddedDay) {
  std::tm t{};
  t.tm_year = 99;
  t.tm_mon = 5;
  t.tm_mday = 1;
  t.tm_wday = 2;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(AsctimeText(t), "Tue Jun  1 09:05:07 1999\n");
  EXPECT_EQ(CurrentAsctimeText().size(), 25U);
}

TEST(TickerResponse, BodyStartsAfterTheFirstBlankLine) {
  struct Case {
    const char* name;
    std::string response;
    std::size_t bodyStart;
    std::string header;
  } cases[] = {
      {"header and body", "HTTP/1.0 200 OK\r\nA: b\r\n\r\n<p>\r\n\r\nx", 25, "HTTP/1.0 200 OK\r\nA: b\r\n\r\n"},
      {"no blank line: all body", "<HTML>no header", 0, ""},
      {"cut inside the header", "HTTP/1.0 200 OK\r\nA: b\r\n", 0, ""},
      {"empty", "", 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BodyStart(c.response), c.bodyStart) << c.name;
    EXPECT_EQ(ResponseHeader(c.response), c.header) << c.name;
  }
}

TEST(TickerMailText, StuffedAndEndedOnce) {
  struct Case {
    const char* name;
    std::string body;
    std::string text;
  } cases[] = {
      {"lone dot line in the page", "<p>a\r\n.\r\nQUIT\r\n\r\n.\r\n\r\n", "H\r\n\r\n<p>a\r\n..\r\nQUIT\r\n.\r\n"},
      {"line starting with dots", "..x\r\n.y\r\n.\r\n\r\n", "H\r\n\r\n...x\r\n..y\r\n.\r\n"},
      {"page without a last line end", "<p>end\r\n.\r\n\r\n", "H\r\n\r\n<p>end\r\n.\r\n"},
      {"body without terminator", "<p>end", "H\r\n\r\n<p>end\r\n.\r\n"},
      {"bare line feeds", "a\n.b\n\r\n.\r\n\r\n", "H\r\n\r\na\n..b\n\r\n.\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(TickerMailText("H\r\n\r\n", c.body), c.text) << c.name;
}

TEST(TickerFileNames, ANameNeverLeavesItsFolder) {
  struct Case {
    const char* name;
    std::string title;
    std::string file;
  } cases[] = {
      {"plain", "Neue Zellen", "Neue Zellen"},
      {"parent", "..", "__"},
      {"current", ".", "_"},
      {"climb", "../../etc/passwd", "__ .. etc passwd"},
      {"hidden", ".profile", "_profile"},
      {"backslash and colon", "C:\\x", "C  x"},
      {"control characters", std::string("a\r\nb\0c", 6), "a  b c"},
      {"dots inside stay", "v1.2 ..", "v1.2 .."},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeFileName(c.title), c.file) << c.name;
}

class TickerPageCopy : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = test::MakeTempFolder("ticker-copy"); }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_F(TickerPageCopy, WrittenInsideTheFolderAndReplaced) {
  std::filesystem::path pages = folder_ / "pages";
  std::filesystem::create_directories(pages);
  EXPECT_EQ(SaveTickerPage(pages.string(), "Titel", "alt"), (pages / "Titel.htm").string());
  SaveTickerPage(pages.string(), "Titel", "neu\r\n");
  EXPECT_EQ(test::ReadFile(pages / "Titel.htm"), "neu\r\n");

  SaveTickerPage(pages.string(), "../../escape", "x");
  SaveTickerPage(pages.string(), "..", "y");
  SaveTickerPage(pages.string(), "", "z");
  EXPECT_EQ(test::ReadFile(pages / "__ .. escape.htm"), "x");
  EXPECT_EQ(test::ReadFile(pages / "__.htm"), "y");
  EXPECT_EQ(test::ReadFile(pages / ".htm"), "z");
  int outside = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_)) {
    if (entry.path().parent_path() != pages && entry.path() != pages) ++outside;
  }
  EXPECT_EQ(outside, 0);
}

TEST_F(TickerPageCopy, CurrentFolderWhenTheFolderCannotBeUsed) {
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  SaveTickerPage("", "leer", "a");
  SaveTickerPage((folder_ / "missing").string(), "fehlt", "b");
  std::filesystem::current_path(before);
  EXPECT_EQ(test::ReadFile(folder_ / "leer.htm"), "a");
  EXPECT_EQ(test::ReadFile(folder_ / "fehlt.htm"), "b");
  EXPECT_FALSE(std::filesystem::exists(folder_ / "missing"));
}

TEST(TickerSites, OverrideReplacesAddressNotName) {
  struct Case {
    const char* name;
    const char* override;
    std::string host;
    uint16_t port;
  } cases[] = {
      {"none", "", "www.heise.de", 80},
      {"address and port", "127.0.0.5:8080", "127.0.0.5", 8080},
      {"address only", "127.0.0.6", "127.0.0.6", 80},
      {"bad port", "127.0.0.5:http", "www.heise.de", 80},
      {"port out of range", "127.0.0.5:70000", "www.heise.de", 80},
      {"no host", ":8080", "www.heise.de", 80},
  };
  for (const Case& c : cases) {
    TickerSite site = ApplySiteOverride(TickerSite{kCtSiteName, kCtSiteName, kHttpPort}, c.override);
    EXPECT_EQ(site.name, kCtSiteName) << c.name;
    EXPECT_EQ(site.host, c.host) << c.name;
    EXPECT_EQ(site.port, c.port) << c.name;
  }
}

}  // namespace
}  // namespace ferry
