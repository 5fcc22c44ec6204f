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

TEST(CtIndex, ItemsAboveTheLastTitle) {
  std::string body = "<UL>\n" + Item("/newsticker/data/c-3/", "Drei") + Item("/newsticker/data/c-2/", "Zwei: neu") +
                     Item("/newsticker/data/c-1/", "Eins") + "</UL>";
  CtIndexScan scan = ScanCtIndex(body, "Eins", "www.heise.de");
  ASSERT_EQ(scan.items.size(), 2U);
  EXPECT_TRUE(scan.reachedLastTitle);
  EXPECT_EQ(scan.items[0].path, "/newsticker/data/c-3/");
  EXPECT_EQ(scan.items[0].title, "Drei");
  EXPECT_EQ(scan.items[0].host, "www.heise.de");
  EXPECT_EQ(scan.items[1].title, "Zwei  neu");

  EXPECT_TRUE(ScanCtIndex(body, "Drei", "h").items.empty());
  EXPECT_EQ(ScanCtIndex(body, "", "h").items.size(), 3U);
}

TEST(CtIndex, ItemScanIsBounded) {
  struct Case {
    const char* name;
    std::string body;
    std::size_t items;
  } cases[] = {
      {"path without its end", Item("/a/", "A") + "<LI> <A HREF=\"/b/ no end", 1},
      {"title without its end", Item("/a/", "A") + "<LI> <A HREF=\"/b/\">B", 1},
      {"marker at the very end", Item("/a/", "A") + "<LI> <A HREF=\"", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(ScanCtIndex(c.body, "", "h").items.size(), c.items) << c.name;

  CtIndexScan scan = ScanCtIndex(Item("/" + std::string(120, 'p'), std::string(100, 't') + "&auml;"), "", "h");
  ASSERT_EQ(scan.items.size(), 1U);
  EXPECT_EQ(scan.items[0].path.size(), 79U);
  EXPECT_EQ(scan.items[0].title, std::string(79, 't'));
}

}  // namespace
}  // namespace ferry
