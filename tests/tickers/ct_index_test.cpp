// The CT newsticker's index page: status, Last-Modified, the item scan and the
// title decoding.
#include <gtest/gtest.h>

#include "service/tickers/ct_index.h"

namespace ferry {
namespace {

TEST(CtIndex, ResponseStatus) {
  EXPECT_EQ(ResponseStatus("HTTP/1.0 304 Not Modified\r\n\r\n"), "304");
  EXPECT_EQ(ResponseStatus("HTTP/1.1 200 OK\r\n"), "200");
  EXPECT_EQ(ResponseStatus("HTTP/1.0 20"), "20");
  EXPECT_EQ(ResponseStatus("<HTML>\r\n x"), "");
  EXPECT_EQ(ResponseStatus(""), "");
}

TEST(CtIndex, LastModifiedKeepsItsBlank) {
  std::string value;
  ASSERT_TRUE(LastModifiedValue("HTTP/1.0 200 OK\r\nLast-Modified: Tue, 01 Jun 1999 10:00:00 GMT\r\n\r\n", &value));
  EXPECT_EQ(value, " Tue, 01 Jun 1999 10:00:00 GMT");
  ASSERT_TRUE(LastModifiedValue("HTTP/1.0 200 OK\r\nLast-Modified:" + std::string(80, 'x') + "\r\n\r\n", &value));
  EXPECT_EQ(value, std::string(59, 'x'));
  EXPECT_FALSE(LastModifiedValue("HTTP/1.0 200 OK\r\nLast-Modified: Tue", &value));
  EXPECT_FALSE(LastModifiedValue("HTTP/1.0 200 OK\r\nDate: Tue\r\n\r\n", &value));
}

TEST(CtIndex, TitleDecoding) {
  struct Case {
    const char* name;
    std::string raw;
    std::string title;
  } cases[] = {
      {"sharp s", "Stra&szlig;e", "Strase"},
      {"lower-case umlauts", "&auml;&ouml;&uuml;", "\xE4\xF6\xFC"},
      {"upper-case umlaut gives the plain letter", "&Uuml;ber", "Uber"},
      {"ampersand entity gives the ampersand", "A &amp; B", "A & B"},
      {"slash, colon, quote, backslash, line feed", "Linux 2.2: \"Neu\"/alt\\x\ny", "Linux 2.2   Neu  alt x y"},
      {"& without ;", "AT&T kauft", "AT&T kauft"},
      {"& at the end", "Preis &", "Preis &"},
      {"entity at the end", "Gr&uuml;", "Gr\xFC"},
      {"an entity cannot bring back what is blanked", "a&/;b&:;c&\";d", "a b c d"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeCtTitle(c.raw), c.title) << c.name;
}

std::string Item(const std::string& path, const std::string& title) {
  return "<LI> <A HREF=\"" + path + "\">" + title + "</A>\n";
}

TEST(CtIndex, EveryItemAndWhereTheLastTitleIs) {
  std::string body = "<UL>\n" + Item("/newsticker/data/c-3/", "Drei") + Item("/newsticker/data/c-2/", "Zwei: neu") +
                     Item("/newsticker/data/c-1/", "Eins") + "</UL>";
  CtIndexScan scan = ScanCtIndex(body, "Eins", "www.heise.de");
  ASSERT_EQ(scan.items.size(), 3U);
  EXPECT_EQ(scan.lastTitleAt, 2U);
  EXPECT_EQ(scan.items[0].path, "/newsticker/data/c-3/");
  EXPECT_EQ(scan.items[0].title, "Drei");
  EXPECT_EQ(scan.items[0].host, "www.heise.de");
  EXPECT_EQ(scan.items[1].title, "Zwei  neu");

  EXPECT_EQ(ScanCtIndex(body, "Drei", "h").lastTitleAt, 0U);
  EXPECT_EQ(ScanCtIndex(body, "", "h").lastTitleAt, 3U);
  EXPECT_EQ(ScanCtIndex(body, "Fehlt", "h").lastTitleAt, 3U);
}

// The path of each link shape, whole and decoded; the title never takes in
// the next item's markup.
TEST(CtIndex, LinkShapes) {
  const std::string longPath = "/newsticker/data/" + std::string(120, 'p') + "/";
  struct Case {
    const char* name;
    std::string body;
    std::vector<std::pair<std::string, std::string>> items;  // path, title
  } cases[] = {
      {"entity in the path", Item("/n?a=1&amp;b=2", "A"), {{"/n?a=1&b=2", "A"}}},
      {"long path kept whole", Item(longPath, "L"), {{longPath, "L"}}},
      {"attribute after the path",
       "<LI> <A HREF=\"/n/1/\" TARGET=\"_top\">Eins</A>\n", {{"/n/1/", "Eins"}}},
      {"full address of the site", Item("http://www.heise.de/n/2/", "Zwei"), {{"/n/2/", "Zwei"}}},
      {"another site passed over", Item("http://elsewhere.example/n/3/", "X") + Item("/n/4/", "Vier"),
       {{"/n/4/", "Vier"}}},
      {"link missing its quote and bracket",
       "<LI> <A HREF=\"/n/5/\n<LI> <A HREF=\"/n/6/\">Sechs</A>\n", {{"/n/5/", ""}, {"/n/6/", "Sechs"}}},
      {"title without its end", Item("/a/", "A") + "<LI> <A HREF=\"/b/\">B", {{"/a/", "A"}, {"/b/", "B"}}},
      {"marker at the very end", Item("/a/", "A") + "<LI> <A HREF=\"", {{"/a/", "A"}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const TickerItem& item : ScanCtIndex(c.body, "", "www.heise.de").items) items.emplace_back(item.path, item.title);
    EXPECT_EQ(items, c.items) << c.name;
  }
  CtIndexScan scan = ScanCtIndex(Item("/p", std::string(100, 't') + "&auml;"), "", "h");
  ASSERT_EQ(scan.items.size(), 1U);
  EXPECT_EQ(scan.items[0].title, std::string(79, 't'));
}

}  // namespace
}  // namespace ferry
