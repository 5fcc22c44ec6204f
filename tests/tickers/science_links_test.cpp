// The links the tickers take (science mail links, request targets, the set of
// links mailed) and the handling of a science item page.
#include <gtest/gtest.h>

#include <filesystem>

#include "service/tickers/mailed_links.h"
#include "service/tickers/science_links.h"
#include "service/tickers/ticker_links.h"
#include "service/tickers/ticker_sites.h"
#include "service/tickers/ticker_texts.h"
#include "tests/support/temp_hive.h"

namespace ferry {
namespace {

// Each link shape as the request line it becomes: taken whole, decoded, and
// never with a blank, a control character or the markup after it.
TEST(ScienceLinks, EveryShapeGivesItsWholeRequestTarget) {
  const std::string marker = ScienceLinkMarker(kScienceSiteName);
  EXPECT_EQ(marker, "http://www.wissenschaft.de/indexticker.hbs?");
  const std::string longId(120, '7');
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> queries;
  } cases[] = {
      {"quoted-printable", "Subject: t\r\n\r\nLies " + marker + "myrec=3D4711&myid=3D99\r\nGruss\r\n",
       {"myrec=4711&myid=99"}},
      {"quoted-printable followed by text", "Lies " + marker + "myrec=3D4711&myid=3D99 und mehr\r\n",
       {"myrec=4711&myid=99"}},
      {"soft line break inside the id", "x " + marker + "myrec=3D12&myid=3D34=\r\n56 Ende\r\n", {"myrec=12&myid=3456"}},
      {"message says quoted-printable", "Content-Transfer-Encoding: Quoted-Printable\r\n\r\n" + marker +
                                            "myrec=3D12&myid=3=\r\n4\r\n",
       {"myrec=12&myid=34"}},
      {"plain", "x " + marker + "myrec=4711&myid=99\r\n", {"myrec=4711&myid=99"}},
      {"entity in an href", "<a href=\"" + marker + "myrec=1&amp;myid=2\">mehr</a>\r\n", {"myrec=1&myid=2"}},
      {"attribute after the link", "<A HREF=" + marker + "myrec=1&myid=2 TARGET=\"_top\">x</A>", {"myrec=1&myid=2"}},
      {"ends at the angle bracket", "<" + marker + "myrec=1&myid=2>", {"myrec=1&myid=2"}},
      {"long query kept whole", marker + "myrec=1&myid=" + longId + "\r\n", {"myrec=1&myid=" + longId}},
      {"two links on two lines", marker + "myrec=3D1&myid=3D11\r\n" + marker + "myrec=3D2&myid=3D22\r\n",
       {"myrec=1&myid=11", "myrec=2&myid=22"}},
      {"no link", "Subject: nichts\r\n\r\nhttp://www.wissenschaft.de/index.html\r\n", {}},
      {"marker at the very end", "x " + marker, {}},
      {"a lone CR ends the query", marker + "myrec=1&myid=2\rGET /evil\r\n", {"myrec=1&myid=2"}},
      {"encoded line end ends the query", marker + "myrec=3D1&myid=3D2=0D=0AX: y\r\n", {"myrec=1&myid=2"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> queries;
    for (const ScienceLink& link : FindScienceLinks(c.text, kScienceSiteName)) {
      queries.push_back(link.query);
      std::string target = RequestTarget(ScienceDetailPath(link.query));
      EXPECT_FALSE(target.empty()) << c.name;
      EXPECT_EQ(ItemPageRequest(target, "h").find_first_of(" \r\n", 4), 4 + target.size()) << c.name;
    }
    EXPECT_EQ(queries, c.queries) << c.name;
  }
  EXPECT_EQ(ScienceDetailPath("myrec=4711&myid=99"), "/bdw/ticker/tickerdetail.hbs?myrec=4711&myid=99&navi=1");
}

TEST(TickerLinks, DecodingAndRequestTargets) {
  EXPECT_EQ(DecodeQuotedPrintable("a=3Db=\r\nc=\nd=E4=zz="), "a=bcd\xE4=zz=");
  EXPECT_EQ(DecodeEntities("a&amp;b&lt;&gt;&quot;&#38;&#x26;&uuml;&#999;&"), "a&b<>\"&&&uuml;&#999;&");
  EXPECT_EQ(TakeLink("/a?b=c'd"), "/a?b=c");
  EXPECT_EQ(RequestTarget("/gr\xFCn?x=1"), "/gr%FCn?x=1");
  EXPECT_EQ(RequestTarget("/a b"), "");
  EXPECT_EQ(RequestTarget("/a<b>\"c|d"), "/a%3Cb%3E%22c%7Cd");
  EXPECT_EQ(RequestTarget("/a\tb"), "");
  EXPECT_EQ(RequestTarget(""), "");
  EXPECT_EQ(RequestTarget("/" + std::string(kMaxLinkLength, 'x')), "");
}

// The set of links mailed keeps the newest ones, survives its text, and
// never holds a link twice.
TEST(TickerLinks, MailedLinksBounded) {
  MailedLinks links(3);
  for (const char* link : {"/a", "/b", "/a", "/c", "/d"}) links.Add(link);
  EXPECT_EQ(links.Size(), 3U);
  EXPECT_FALSE(links.Contains("/a"));
  EXPECT_TRUE(links.Contains("/d"));
  MailedLinks again(3);
  again.Parse(links.Text() + "/e\r\n\n");
  EXPECT_EQ(again.Text(), "/c\n/d\n/e\n");

  // Two runs that loaded the same file and save one after the other: the
  // file keeps the links of both.
  std::filesystem::path folder = test::MakeTempFolder("mailed-links");
  const std::string path = (folder / "ticker-ct.links").string();
  std::string reason;
  MailedLinks first;
  MailedLinks second;
  ASSERT_TRUE(LoadMailedLinks(path, first, &reason)) << reason;
  ASSERT_TRUE(LoadMailedLinks(path, second, &reason)) << reason;
  first.Add("/one");
  second.Add("/two");
  ASSERT_TRUE(SaveMailedLinks(path, first, &reason)) << reason;
  ASSERT_TRUE(SaveMailedLinks(path, second, &reason)) << reason;
  MailedLinks stored;
  ASSERT_TRUE(LoadMailedLinks(path, stored, &reason)) << reason;
  EXPECT_EQ(stored.Text(), "/one\n/two\n");
  std::filesystem::remove_all(folder);
}

TEST(SciencePage, SubjectCategoryDateAndScript) {
  struct Case {
    const char* name;
    std::string response;
    std::string subject;
    std::string category;
    std::string date;
  } cases[] = {
      {"blank and quote before the subject",
       "HTTP/1.0 200 OK\r\n\r\n<P>Medizin: <B> \"Neue Zellen\"</B> (Meldung vom 01.06.1999)", "Neue Zellen ",
       "Medizin", "01.06.1999"},
      {"category from the first colon before the bold text",
       "HTTP/1.0 200 OK\r\n\r\n<td>Physik: Licht</td>\n<B>Titel: Teil 2/3</B>", "Titel  Teil 2 3", "Physik", ""},
      {"category after a line feed", "HTTP/1.0 200 OK\r\n\r\nx\nAstronomie: <B>Stern</B>", "Stern", "Astronomie",
       ""},
      {"colon right after a tag gives no category", "HTTP/1.0 200 OK\r\n\r\n<p>: <B>S</B>", "S", "", ""},
      {"category bounded to 29", "HTTP/1.0 200 OK\r\n\r\n>" + std::string(40, 'k') + ": <B>S</B>", "S",
       std::string(29, 'k'), ""},
      {"no bold text: no subject, no category", "HTTP/1.0 200 OK\r\n\r\n<p>Medizin: x", "", "", ""},
      {"end of bold before its start", "HTTP/1.0 200 OK\r\n\r\n</B>Medizin: <B>x", "", "Medizin", ""},
      {"subject bounded to 159", "HTTP/1.0 200 OK\r\n\r\n<B>" + std::string(200, 's') + "</B>",
       std::string(159, 's'), "", ""},
      {"date without its end", "HTTP/1.0 200 OK\r\n\r\n(Meldung vom 01.06.", "", "", ""},
  };
  for (const Case& c : cases) {
    SciencePage page = ReadSciencePage(c.response);
    EXPECT_EQ(page.subject, c.subject) << c.name;
    EXPECT_EQ(page.category, c.category) << c.name;
    EXPECT_EQ(page.date, c.date) << c.name;
  }
}

TEST(SciencePage, BodyWithoutScriptsAndItsCharset) {
  SciencePage page = ReadSciencePage(
      "HTTP/1.0 200 OK\nContent-Type: text/html; charset=utf-8\n\n<script>a()</script><B>T</B><script>b()</script>");
  EXPECT_TRUE(page.scriptRemoved);
  EXPECT_EQ(page.html, "<B>T</B>");
  EXPECT_EQ(page.charset, "utf-8");

  page = ReadSciencePage("<HTML><B>Titel</B>");
  EXPECT_EQ(page.html, "<HTML><B>Titel</B>");
  EXPECT_EQ(page.subject, "Titel");
  EXPECT_EQ(page.charset, "ISO-8859-1");
}

}  // namespace
}  // namespace ferry
