// A page as a MIME mail: the charset it declares, encoded header words,
// quoted-printable bodies that decode back to the page, a dated header with
// its zone, and the whole mail's form.
#include <gtest/gtest.h>

#include "service/tickers/ticker_links.h"
#include "service/tickers/ticker_mime.h"
#include "service/tickers/ticker_texts.h"

namespace ferry {
namespace {

TEST(TickerMime, CharsetTheResponseDeclares) {
  struct Case {
    const char* name;
    std::string response;
    std::string charset;
  } cases[] = {
      {"header", "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<p>", "UTF-8"},
      {"header quoted, bare LF", "HTTP/1.0 200 OK\nContent-type: text/html;charset=\"windows-1252\"\n\n<p>",
       "windows-1252"},
      {"meta tag", "HTTP/1.0 200 OK\r\n\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
       "utf-8"},
      {"html5 meta", "HTTP/1.0 200 OK\r\n\r\n<META CHARSET=\"iso-8859-15\">", "iso-8859-15"},
      {"none", "HTTP/1.0 200 OK\r\n\r\n<p>charset</p>", "ISO-8859-1"},
      {"not a charset name", "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=\"\r\n\r\n", "ISO-8859-1"},
      {"charset in another header line", "HTTP/1.0 200 OK\r\nX-A: charset=evil\r\n\r\n<p>", "ISO-8859-1"},
  };
  for (const Case& c : cases) EXPECT_EQ(PageCharset(c.response), c.charset) << c.name;
}

TEST(TickerMime, HeaderWordsAndMailboxes) {
  EXPECT_EQ(EncodeHeaderText("Plain text", "ISO-8859-1"), "Plain text");
  EXPECT_EQ(EncodeHeaderText("Gr\xFCne Energie?", "ISO-8859-1"), "=?ISO-8859-1?Q?Gr=FCne_Energie=3F?=");
  // A long 8-bit title becomes several words, each within 75 characters.
  std::string encoded = EncodeHeaderText(std::string(70, '\xE4'), "UTF-8");
  std::size_t words = 0;
  for (std::size_t at = 0; at < encoded.size();) {
    std::size_t end = encoded.find("\r\n ", at);
    std::string word = encoded.substr(at, end == std::string::npos ? std::string::npos : end - at);
    EXPECT_LE(word.size(), 75U);
    EXPECT_TRUE(word.starts_with("=?UTF-8?Q?") && word.ends_with("?=")) << word;
    ++words;
    at = end == std::string::npos ? encoded.size() : end + 3;
  }
  EXPECT_EQ(words, 4U);
  EXPECT_EQ(MailboxText("CT Ticker", "a@b.example", "x"), "\"CT Ticker\" <a@b.example>");
  EXPECT_EQ(MailboxText("Say \"hi\"", "a@b.example", "x"), "\"Say \\\"hi\\\"\" <a@b.example>");
  EXPECT_EQ(MailboxText("", "a@b.example", "x"), "<a@b.example>");
  EXPECT_EQ(MailboxText("\xC4rzte", "a@b.example", "ISO-8859-1"), "=?ISO-8859-1?Q?=C4rzte?= <a@b.example>");
}

TEST(TickerMime, QuotedPrintableDecodesBackToThePage) {
  std::string page = "<p>Gr\xFCne = gut \t\r\nline two ends in blank \n" + std::string(200, 'x') + "\xE4\r\n.\r\n";
  std::string qp = QuotedPrintable(page);
  EXPECT_EQ(DecodeQuotedPrintable(qp), WithCrLf(page));
  for (std::size_t at = 0; at < qp.size();) {
    std::size_t end = qp.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    std::string line = qp.substr(at, end - at);
    EXPECT_LE(line.size(), 76U) << line;
    EXPECT_FALSE(line.ends_with(" ") || line.ends_with("\t")) << line;
    for (char c : line) EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80) << line;
    at = end + 2;
  }
  EXPECT_TRUE(SevenBitClean("<p>plain</p>\r\n"));
  EXPECT_FALSE(SevenBitClean("Gr\xFCn"));
  EXPECT_FALSE(SevenBitClean(std::string(999, 'x')));
}

TEST(TickerMime, DateWithZone) {
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 11;
  local.tm_mday = 8;
  local.tm_wday = 2;
  local.tm_hour = 7;
  local.tm_min = 0;
  local.tm_sec = 34;
  // 2026-12-08 06:00:34 UTC seen as 07:00:34 local is one hour east.
  EXPECT_EQ(UtcOffsetSeconds(1796709634, local), 3600);
  EXPECT_EQ(MailDateText(local, 3600), "Tue, 08 Dec 2026 07:00:34 +0100");
  local.tm_hour = 1;
  EXPECT_EQ(UtcOffsetSeconds(1796709634, local), -5 * 3600);
  EXPECT_EQ(MailDateText(local, -5 * 3600 - 30 * 60), "Tue, 08 Dec 2026 01:00:34 -0530");
}

TEST(TickerMime, WholeMail) {
  TickerMailParts parts;
  parts.fromName = "CT Ticker";
  parts.fromAddress = "gate@office.example";
  parts.toName = "Wissenschaft";
  parts.toAddress = "ct@office.example";
  parts.subject = "Gr\xFCne";
  parts.charset = "ISO-8859-1";
  parts.date = "Tue, 08 Dec 2026 07:00:34 +0100";
  parts.messageId = NewMessageId(parts.fromAddress, 1796709634);
  parts.html = "<p>Gr\xFCne\n.";
  std::string mail = TickerMimeMail(parts);
  EXPECT_EQ(mail.substr(0, mail.find("Message-ID: ")),
            "From: \"CT Ticker\" <gate@office.example>\r\nTo: \"Wissenschaft\" <ct@office.example>\r\n"
            "Subject: =?ISO-8859-1?Q?Gr=FCne?=\r\nDate: Tue, 08 Dec 2026 07:00:34 +0100\r\n");
  EXPECT_TRUE(parts.messageId.starts_with("<1796709634.") && parts.messageId.ends_with("@office.example>"));
  EXPECT_NE(NewMessageId(parts.fromAddress, 1796709634), parts.messageId);
  EXPECT_TRUE(mail.ends_with(
      "\r\nContent-Type: text/html; charset=ISO-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
      "<p>Gr=FCne\r\n."));
  parts.html = "<p>plain</p>";
  EXPECT_TRUE(TickerMimeMail(parts).ends_with("Content-Transfer-Encoding: 7bit\r\n\r\n<p>plain</p>"));
}

}  // namespace
}  // namespace ferry
