// The science ticker's link scanner and the handling of an item page.
#include <gtest/gtest.h>

#include "service/tickers/science_links.h"
#include "service/tickers/ticker_sites.h"

namespace ferry {
namespace {

std::vector<std::string> Queries(std::string_view text) {
  std::vector<std::string> out;
  for (const ScienceLink& link : FindScienceLinks(text, kScienceSiteName)) out.push_back(link.query);
  return out;
}

TEST(ScienceLinks, FoundInEveryForm) {
  const std::string marker = ScienceLinkMarker(kScienceSiteName);
  EXPECT_EQ(marker, "http://www.wissenschaft.de/indexticker.hbs?");
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> queries;
  } cases[] = {
      {"quoted-printable", "Subject: t\r\n\r\nLies " + marker + "myrec=3D4711&myid=3D99\r\nGruss\r\n",
       {"myrec=4711&myid=99"}},
      {"quoted-printable with soft break", "x " + marker + "myrec=3D12&myid=3D34=\r\n", {"myrec=12&myid=34"}},
      {"plain", "x " + marker + "myrec=4711&myid=99\r\n", {"myrec=4711&myid=99"}},
      {"plain in a tag", "<a href=\"" + marker + "myrec=1&myid=2\">mehr</a>\r\n", {"myrec=1&myid=2"}},
      {"two links on two lines", marker + "myrec=3D1&myid=3D11\r\n" + marker + "myrec=3D2&myid=3D22\r\n",
       {"myrec=1&myid=11", "myrec=2&myid=22"}},
      {"line feed only", marker + "myrec=5&myid=6\nrest", {"myrec=5&myid=6"}},
      {"no link", "Subject: nichts\r\n\r\nhttp://www.wissenschaft.de/index.html\r\n", {}},
      {"marker at the very end", "x " + marker, {""}},
      {"quoted-printable without &", marker + "myrec=3D7\r\n", {"myrec=7&myid="}},
      {"quoted-printable cut short", marker + "m=3D\r\n", {"myrec=&myid="}},
      {"a lone CR ends the plain query", marker + "myrec=1&myid=2\rGET /evil\r\n", {"myrec=1&myid=2"}},
      {"a lone CR ends the quoted-printable query", marker + "myrec=3D1&myid=3D2\rX: y\r\n", {"myrec=1&myid=2"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Queries(c.text), c.queries) << c.name;
}

TEST(ScienceLinks, DetailPath) {
  EXPECT_EQ(ScienceDetailPath("myrec=4711&myid=99"), "/bdw/ticker/tickerdetail.hbs?myrec=4711&myid=99&navi=1");
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
    EXPECT_TRUE(page.Body().ends_with("\r\n.\r\n\r\n")) << c.name;
  }
}

TEST(SciencePage, ScriptNeutralisedOnlyTheFirstPair) {
  SciencePage page = ReadSciencePage(
      "HTTP/1.0 200 OK\r\n\r\n<script>a()</script><script>b()</script>");
  EXPECT_TRUE(page.scriptReplaced);
  EXPECT_EQ(page.Body(), "<!--ipt>a()<!--ript><script>b()</script>\r\n.\r\n\r\n");

  page = ReadSciencePage("HTTP/1.0 200 OK\r\n\r\n<script>a()");
  EXPECT_FALSE(page.scriptReplaced);
  EXPECT_EQ(page.Body(), "<script>a()\r\n.\r\n\r\n");
}

TEST(SciencePage, ResponseWithoutBlankLineIsAllBody) {
  SciencePage page = ReadSciencePage("<HTML><B>Titel</B>");
  EXPECT_EQ(page.Body(), "<HTML><B>Titel</B>\r\n.\r\n\r\n");
  EXPECT_EQ(page.subject, "Titel");
}

}  // namespace
}  // namespace ferry
