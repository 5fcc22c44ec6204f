// The feed reader on documents written after the three formats: items in feed
// order with their ids, links, dates and sanitised content; refusals of what
// is no feed; the bounds.
#include <gtest/gtest.h>

#include <string>

#include "service/feeds/feed_reader.h"

namespace ferry {
namespace {

constexpr const char* kRss2 = R"X(<?xml version="1.0" encoding="ISO-8859-1"?>
<rss version="2.0" xmlns:content="http://purl.org/rss/1.0/modules/content/">
 <channel>
  <title>Harbour  News</title>
  <link>http://news.example/</link>
  <item>
   <title>Gr&#252;ne Welle</title>
   <link>http://news.example/a?x=1&amp;y=2</link>
   <guid isPermaLink="false">item-a</guid>
   <pubDate>Tue, 08 Dec 2026 05:00:00 GMT</pubDate>
   <description>&lt;p onclick="steal()"&gt;Short&lt;/p&gt;</description>
   <content:encoded><![CDATA[<p>Long <b>text</b></p><script>alert(1)</script><iframe src="x"></iframe>]]></content:encoded>
  </item>
  <item>
   <title>No guid</title>
   <link>http://news.example/b</link>
   <description>plain &amp; simple</description>
  </item>
 </channel>
</rss>)X";

constexpr const char* kRss1 = R"X(<?xml version="1.0"?>
<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" xmlns="http://purl.org/rss/1.0/"
         xmlns:dc="http://purl.org/dc/elements/1.1/">
 <channel rdf:about="http://news.example/rss1">
  <title>Ticker One</title>
  <items><rdf:Seq><rdf:li resource="http://news.example/1"/></rdf:Seq></items>
 </channel>
 <item rdf:about="http://news.example/1">
  <title>First</title>
  <link>http://news.example/1</link>
  <dc:date>2026-12-08T05:00:00Z</dc:date>
  <description>One &lt;form action="/x"&gt;&lt;input name="a"&gt;&lt;/form&gt;done</description>
 </item>
 <item rdf:about="http://news.example/2">
  <title>Second</title>
  <link>http://news.example/2</link>
 </item>
</rdf:RDF>)X";

constexpr const char* kAtom = R"X(<?xml version="1.0" encoding="utf-8"?>
<feed xmlns="http://www.w3.org/2005/Atom">
 <title type="html">Atom &lt;i&gt;Desk&lt;/i&gt;</title>
 <id>urn:uuid:60a76c80-d399-11d9-b93C-0003939e0af6</id>
 <updated>2026-12-08T05:00:00Z</updated>
 <entry>
  <title>Xhtml entry</title>
  <link rel="enclosure" href="http://news.example/a.mp3"/>
  <link href="http://news.example/x1"/>
  <id>urn:uuid:1225c695-cfb8-4ebb-aaaa-80da344efa6a</id>
  <published>2026-12-07T05:00:00Z</published>
  <content type="xhtml"><div xmlns="http://www.w3.org/1999/xhtml"><p>A &amp; <a href="javascript:evil()" title="t">b</a></p><object data="x"><p>inner</p></object></div></content>
 </entry>
 <entry>
  <title>Text entry</title>
  <link rel="alternate" href="http://news.example/x2"/>
  <id>tag:news.example,2026:x2</id>
  <updated>2026-12-08T04:00:00Z</updated>
  <summary>1 &lt; 2</summary>
  <content src="http://news.example/x2.bin" type="application/octet-stream"/>
 </entry>
</feed>)X";

TEST(FeedReader, ReadsEachFormatInFeedOrder) {
  Feed feed;
  std::string error;
  ASSERT_TRUE(ReadFeed(kRss2, &feed, &error)) << error;
  EXPECT_EQ(feed.format, "RSS 2.0");
  EXPECT_EQ(feed.title, "Harbour News");
  ASSERT_EQ(feed.items.size(), 2u);
  EXPECT_EQ(feed.items[0].id, "item-a");
  EXPECT_EQ(feed.items[0].title, "Gr\xC3\xBCne Welle");
  EXPECT_EQ(feed.items[0].link, "http://news.example/a?x=1&y=2");
  EXPECT_EQ(feed.items[0].date, "Tue, 08 Dec 2026 05:00:00 GMT");
  EXPECT_EQ(feed.items[0].content, "<p>Long <b>text</b></p>");  // content:encoded beats description
  EXPECT_EQ(feed.items[1].id, "http://news.example/b");
  EXPECT_EQ(feed.items[1].content, "plain & simple");

  ASSERT_TRUE(ReadFeed(kRss1, &feed, &error)) << error;
  EXPECT_EQ(feed.format, "RSS 1.0");
  EXPECT_EQ(feed.title, "Ticker One");
  ASSERT_EQ(feed.items.size(), 2u);
  EXPECT_EQ(feed.items[0].id, "http://news.example/1");
  EXPECT_EQ(feed.items[0].date, "2026-12-08T05:00:00Z");
  EXPECT_EQ(feed.items[0].content, "One done");
  EXPECT_EQ(feed.items[1].title, "Second");

  ASSERT_TRUE(ReadFeed(kAtom, &feed, &error)) << error;
  EXPECT_EQ(feed.format, "Atom 1.0");
  EXPECT_EQ(feed.title, "Atom Desk");
  ASSERT_EQ(feed.items.size(), 2u);
  EXPECT_EQ(feed.items[0].id, "urn:uuid:1225c695-cfb8-4ebb-aaaa-80da344efa6a");
  EXPECT_EQ(feed.items[0].link, "http://news.example/x1");
  EXPECT_EQ(feed.items[0].date, "2026-12-07T05:00:00Z");
  EXPECT_EQ(feed.items[0].content, "<p>A &amp; <a title=\"t\">b</a></p>");
  EXPECT_EQ(feed.items[1].link, "http://news.example/x2");
  EXPECT_EQ(feed.items[1].content, "1 &lt; 2");  // text summary escaped; out-of-line content skipped
}

std::string Nested(int depth) {
  std::string s = "<rss><channel><item><description>";
  for (int i = 0; i < depth; ++i) s += "<a>";
  for (int i = 0; i < depth; ++i) s += "</a>";
  return s + "</description></item></channel></rss>";
}

TEST(FeedReader, RefusesWhatIsNoFeed) {
  struct Case {
    const char* name;
    std::string document;
  };
  const Case cases[] = {
      {"html page", "<html><body>Not found</body></html>"},
      {"not well-formed", "<rss><channel><item></rss>"},
      {"rss without channel", "<rss version=\"2.0\"></rss>"},
      {"atom element outside its namespace", "<feed><entry/></feed>"},
      {"external entity", "<!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><rss><channel>"
                          "<item><title>&x;</title></item></channel></rss>"},
      {"too deep", Nested(200)},
  };
  for (const Case& c : cases) {
    Feed feed;
    std::string error;
    const bool read = ReadFeed(c.document, &feed, &error);
    if (read) {
      // An external entity may be read as a feed, but never resolved.
      for (const FeedItem& item : feed.items) EXPECT_EQ(item.title.find("root:"), std::string::npos) << c.name;
      EXPECT_STREQ(c.name, "external entity");
    } else {
      EXPECT_FALSE(error.empty()) << c.name;
      EXPECT_TRUE(feed.items.empty()) << c.name;
    }
  }
}

TEST(FeedReader, BoundsItemsAndSizes) {
  std::string doc = "<rss><channel>";
  const std::string longTitle(kMaxFeedTextBytes + 50, 'x');
  for (std::size_t i = 0; i < kMaxFeedItems + 20; ++i) {
    doc += "<item><guid>" + std::to_string(i) + "</guid><title>" + (i == 0 ? longTitle : "t") + "</title><description>" +
           std::string(i == 0 ? kMaxFeedContentBytes + 10 : 10, 'c') + "</description></item>";
  }
  doc += "</channel></rss>";
  Feed feed;
  std::string error;
  ASSERT_TRUE(ReadFeed(doc, &feed, &error)) << error;
  ASSERT_EQ(feed.items.size(), kMaxFeedItems);
  EXPECT_EQ(feed.items.front().id, "0");
  EXPECT_EQ(feed.items.back().id, std::to_string(kMaxFeedItems - 1));
  EXPECT_EQ(feed.items[0].title.size(), kMaxFeedTextBytes);
  EXPECT_EQ(feed.items[0].content.size(), kMaxFeedContentBytes);
}

TEST(SanitizeHtml, RemovesActiveContentKeepsTheRest) {
  struct Case {
    const char* name;
    const char* html;
    const char* expected;
  };
  const Case cases[] = {
      {"script with markup inside", "a<SCRIPT type=x>if (a<b) document.write('</p>')</script>b", "ab"},
      {"nested iframes", "<iframe><iframe></iframe>x</iframe>y", "y"},
      {"object, embed, applet, form", "<object><embed src=a></object><applet>j</applet><form><input></form>k",
       "k"},
      {"self-closed script", "<script src=x />z", "z"},
      {"event handlers any case", "<img SRC=\"p.png\" OnError='x()' onload=y alt=a>",
       "<img src=\"p.png\" alt=\"a\">"},
      {"script links", "<a href=\" JaVa\tScript:x()\">l</a><img src=\"data:image/png;base64,AA\">",
       "<a>l</a><img>"},
      {"comment hiding a script", "<!--[if IE]><script>x</script><![endif]-->t", "t"},
      {"stray less-than", "1 < 2 <3", "1 &lt; 2 &lt;3"},
      {"unclosed script drops the rest", "ok<script>never closed", "ok"},
      {"unclosed quote drops the tag", "ok<a href=\"x onclick=y>z", "ok"},
      {"quote and markup in value", "<a title='say \"hi\" <!--'>q</a>", "<a title=\"say &quot;hi&quot; &lt;!--\">q</a>"},
  };
  for (const Case& c : cases) EXPECT_EQ(SanitizeHtml(c.html), c.expected) << c.name;
}

}  // namespace
}  // namespace ferry
