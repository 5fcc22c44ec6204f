// The tickers' requests and the mail and file a page becomes: the date texts,
// header, body and status of a response, scripts, the SMTP text, file names,
// the page copy, and the site override.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/state_files.h"
#include "service/tickers/ticker_sites.h"
#include "service/tickers/ticker_texts.h"
#include "tests/support/temp_hive.h"

namespace ferry {
namespace {

TEST(TickerRequests, OneRequestLineForThePathHeaderLinesAndOneBlankLine) {
  const std::string date = "Tue, 01 Jun 1999 10:00:00 GMT";
  for (const std::string& request :
       {ItemPageRequest("/a?b=1&c=2", "www.site.example"), ConditionalIndexRequest("/a?b=1&c=2", "www.site.example", date)}) {
    EXPECT_TRUE(request.starts_with("GET /a?b=1&c=2 HTTP/1.0\r\nHost: www.site.example\r\n")) << request;
    EXPECT_EQ(request.find("\r\n\r\n"), request.size() - 4) << request;
    EXPECT_EQ(request.find('\n'), request.find("\r\n") + 1) << request;
    // The server ends each response by closing: no kept-alive connection is asked for.
    EXPECT_EQ(request.find("Keep-Alive"), std::string::npos) << request;
  }
  EXPECT_NE(ConditionalIndexRequest("/", "h", date).find("\r\nIf-Modified-Since: " + date + "\r\n"), std::string::npos);
}

TEST(TickerDate, AsctimeAndHttpDates) {
  std::tm t{};
  t.tm_year = 99;
  t.tm_mon = 5;
  t.tm_mday = 1;
  t.tm_wday = 2;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  EXPECT_EQ(AsctimeText(t), "Tue Jun  1 09:05:07 1999\n");
  EXPECT_EQ(HttpDateText(0), " Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(HttpDateText(951782400), " Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(HttpDateText(1796709634), " Tue, 08 Dec 2026 06:00:34 GMT");
}

TEST(TickerResponse, HeaderBodyAndStatus) {
  struct Case {
    const char* name;
    std::string response;
    std::size_t bodyStart;
    int status;
  } cases[] = {
      {"CR LF header", "HTTP/1.0 200 OK\r\nA: b\r\n\r\n<p>\r\n\r\nx", 25, 200},
      {"bare LF header", "HTTP/1.1 404 Not Found\nA: b\n\n<p>\r\n\r\nx", 29, 404},
      {"LF LF before CR LF CR LF", "HTTP/1.0 301 Moved\n\nbody\r\n\r\n", 20, 301},
      {"no blank line: all body", "<HTML>no header", 0, 0},
      {"cut inside the header", "HTTP/1.0 304 Not Modified\r\nA: b\r\n", 0, 304},
      {"status not a number", "HTTP/1.0 2x0 OK\r\n\r\n", 19, 0},
      {"empty", "", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BodyStart(c.response), c.bodyStart) << c.name;
    EXPECT_EQ(ResponseHeader(c.response), c.response.substr(0, c.bodyStart)) << c.name;
    EXPECT_EQ(ResponseStatusCode(c.response), c.status) << c.name;
  }
}

TEST(TickerPage, ScriptsRemovedWhole) {
  struct Case {
    const char* name;
    std::string page;
    std::string kept;
  } cases[] = {
      {"one script", "<p>a<script>x()</script>b</p>", "<p>ab</p>"},
      {"any case, with attributes", "a<SCRIPT type=\"t\">x</Script >b<script src=y></script>c", "abc"},
      {"no end tag takes the rest", "a<script>x()<p>b", "a"},
      {"end tag alone stays", "a</script>b", "a</script>b"},
      {"none", "<p>plain</p>", "<p>plain</p>"},
  };
  for (const Case& c : cases) EXPECT_EQ(RemoveScripts(c.page), c.kept) << c.name;
}

TEST(TickerMailText, EveryLineEndsInCrLfStuffedAndEndedOnce) {
  EXPECT_EQ(TickerMailText("Subject: s\r\n\r\n", "a\n.b\r.\r\n.\r\nz"),
            "Subject: s\r\n\r\na\r\n..b\r\n..\r\n..\r\nz\r\n.\r\n");
  EXPECT_EQ(TickerMailText("Subject: s\r\n\r\n", "x\r\n"), "Subject: s\r\n\r\nx\r\n.\r\n");
}

TEST(TickerFileNames, SafeOnEverySystem) {
  struct Case {
    const char* name;
    std::string title;
    std::string file;
  } cases[] = {
      {"plain", "Gene", "Gene"},
      {"path out of the folder", "../../escape", "___.._escape"},
      {"dots only", "..", "__"},
      {"empty", "", "_"},
      {"Windows reserved characters", "Was? *Neu* <b>|\"x\"", "Was_ _Neu_ _b___x_"},
      {"device name", "NUL", "_NUL"},
      {"device name any case with extension", "com1.txt", "_com1.txt"},
      {"device name with blanks", "con  ", "con__"},
      {"trailing dot", "Ende.", "Ende_"},
      {"control characters", "a\tb\nc", "a_b_c"},
      {"long", std::string(300, 'x'), std::string(150, 'x')},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeFileName(c.title), c.file) << c.name;
}

class TickerPageCopy : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = test::MakeTempFolder("ticker-copy"); }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path folder_;
};

TEST_F(TickerPageCopy, ReplacedNeverFollowedNeverOutside) {
  namespace fs = std::filesystem;
  fs::path pages = folder_ / "pages";
  fs::create_directories(pages);
  EXPECT_TRUE(state::WriteFileInFolder(pages.string(), "Titel.htm", "alt").ok());
  EXPECT_TRUE(state::WriteFileInFolder(pages.string(), "Titel.htm", "neu\r\n").ok());
  EXPECT_EQ(test::ReadFile(pages / "Titel.htm"), "neu\r\n");

  // A link planted under the name of a copy: the link is replaced, its target stays.
  fs::path target = folder_ / "secret";
  { std::ofstream(target) << "geheim"; }
  test::PlantLink(target, pages / "Planted.htm");
  EXPECT_TRUE(state::WriteFileInFolder(pages.string(), "Planted.htm", "seite").ok());
  EXPECT_EQ(test::ReadFile(target), "geheim");
  EXPECT_FALSE(fs::is_symlink(pages / "Planted.htm"));
  EXPECT_EQ(test::ReadFile(pages / "Planted.htm"), "seite");

  struct Refused {
    const char* name;
    std::string folder;
    std::string file;
    state::FileStatus status;
  } refused[] = {
      {"no folder set", "", "a.htm", state::FileStatus::kNotFound},
      {"missing folder", (folder_ / "missing").string(), "a.htm", state::FileStatus::kNotFound},
      {"a file, not a folder", target.string(), "a.htm", state::FileStatus::kNotFound},
      {"separator in the name", pages.string(), "../a.htm", state::FileStatus::kInvalid},
      {"dot dot", pages.string(), "..", state::FileStatus::kInvalid},
  };
  for (const Refused& r : refused) EXPECT_EQ(state::WriteFileInFolder(r.folder, r.file, "x").status, r.status) << r.name;
  // Nothing was written anywhere else, and no temporary file is left.
  std::vector<std::string> all;
  for (const auto& entry : fs::recursive_directory_iterator(folder_)) all.push_back(entry.path().string());
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{(pages).string(), (pages / "Planted.htm").string(),
                                           (pages / "Titel.htm").string(), target.string()}));
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
