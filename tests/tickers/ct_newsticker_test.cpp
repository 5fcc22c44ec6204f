// The CT newsticker in whole account runs: the conditional index request and
// its 304, the "LastTitle" stop, new items oldest first, the title in Subject
// and file name, a page with a lone "." line, and a site that refuses.
#include "tests/tickers/ticker_run_helpers.h"

namespace ferry::test {
namespace {

const std::string kOldDate = " Tue, 01 Jun 1999 10:00:00 GMT";
const std::string kNewDate = " Wed, 02 Jun 1999 08:00:00 GMT";

class CtNewstickerTest : public TickerTest {
 protected:
  void SetUp() override {
    TickerTest::SetUp();
    settings.enableCt = 1;
    settings.addressmodeTicker = 1;
    settings.lastDate = kOldDate;
    settings.lastTitle = "Alt";
  }
  static std::string IndexRequest(const std::string& date) { return ConditionalIndexRequest("/newsticker/", date); }
};

std::string ItemBody(const std::string& text) { return "<HTML><H2>" + text + "</H2></HTML>\r\n"; }

TEST_F(CtNewstickerTest, NotModifiedLeavesEverything) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  HttpPeer site([](const std::string&) { return HttpAnswer{"HTTP/1.0 304 Not Modified\r\n\r\n"}; });
  Use(pop);
  Use(smtp);
  UseCt(site);
  std::filesystem::path copy = CtDir() / "CT NewsTicker.htm";
  {
    std::ofstream(copy) << "vorige Seite";
  }

  Run();

  EXPECT_EQ(site.Requests(), std::vector<std::string>{IndexRequest(kOldDate)});
  EXPECT_EQ(ReadFile(copy), "vorige Seite");
  EXPECT_EQ(after.lastDate, kOldDate);
  EXPECT_EQ(after.lastTitle, "Alt");
  EXPECT_TRUE(smtp.Mails().empty());
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t0"));
  EXPECT_TRUE(LogHas(Log(), "Res: 304"));
}

TEST_F(CtNewstickerTest, NewestItemAlreadyMailedGivesNoMailButANewCopyAndDate) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  const std::string index = CtIndexPage({{"/newsticker/data/a-1/", "Alt"}, {"/newsticker/data/a-0/", "Uralt"}}, kNewDate);
  HttpPeer site([&](const std::string&) { return HttpAnswer{index}; });
  Use(pop);
  Use(smtp);
  UseCt(site);

  Run();

  EXPECT_EQ(site.Connections(), 1);
  EXPECT_EQ(ReadFile(CtDir() / "CT NewsTicker.htm"), index.substr(index.find("\r\n\r\n") + 4));
  EXPECT_EQ(after.lastDate, kNewDate);
  EXPECT_EQ(after.lastTitle, "Alt");
  EXPECT_TRUE(smtp.Mails().empty());
}

TEST_F(CtNewstickerTest, NewItemsMailedOldestFirstAndTheDateSentBackWithItsBlank) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  HttpPeer site(PagesByTarget({
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/c-3/", "Linux 2.2: schneller/besser"},
                                     {"/newsticker/data/c-2/", "Gro&szlig;rechner"},
                                     {"/newsticker/data/c-1/", "Drei"},
                                     {"/newsticker/data/a-1/", "Alt"}},
                                    kNewDate)}},
      {"/newsticker/data/c-3/", {HttpPage(ItemBody("eins"))}},
      {"/newsticker/data/c-2/", {HttpPage(ItemBody("zwei"))}},
      {"/newsticker/data/c-1/", {HttpPage(ItemBody("drei"))}},
  }));
  Use(pop);
  Use(smtp);
  UseCt(site);

  Run();

  EXPECT_EQ(site.Requests(),
            (std::vector<std::string>{IndexRequest(kOldDate), ItemPageRequest("/newsticker/data/c-1/"),
                                      ItemPageRequest("/newsticker/data/c-2/"), ItemPageRequest("/newsticker/data/c-3/")}));
  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 3U);
  EXPECT_EQ(mails[0].rcptTo.front(), "<ct@office.example>");
  EXPECT_EQ(AfterDateLine(mails[0].data, "From: \"CT Ticker\" <gateway@office.example>\r\nTo: \"Wissenschaft\"<ct@office.example>\r\n"
                                         "Subject: Drei\r\nMIME-Version: 1.0\r\nX-Mailer: MailFerry\r\n"
                                         "Content-Type: text/html\r\nDate: "),
            ItemBody("drei") + ".\r\n");
  EXPECT_NE(mails[1].data.find("\r\nSubject: Grosrechner\r\n"), std::string::npos);
  EXPECT_NE(mails[2].data.find("\r\nSubject: Linux 2.2  schneller besser\r\n"), std::string::npos);
  EXPECT_EQ(FilesIn(CtDir()), (std::vector<std::string>{"CT NewsTicker.htm", "Drei.htm", "Grosrechner.htm",
                                                         "Linux 2.2  schneller besser.htm"}));
  EXPECT_EQ(ReadFile(CtDir() / "Grosrechner.htm"), ItemBody("zwei"));
  EXPECT_EQ(after.lastTitle, "Linux 2.2  schneller besser");
  EXPECT_EQ(after.lastDate, kNewDate);
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t3"));

  settings = after;  // the next run is given what this one left
  Run();
  ASSERT_EQ(site.Requests().size(), 5U);
  EXPECT_EQ(site.Requests()[4], IndexRequest(kNewDate));
  EXPECT_EQ(smtp.Mails().size(), 3U);
}

TEST_F(CtNewstickerTest, PageWithALoneDotLineDeliveredWhole) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  const std::string body = "<p>eins\r\n.\r\nMAIL FROM:<boss@evil.example>\r\n.hidden\r\n<p>zwei\r\n";
  HttpPeer site(PagesByTarget({
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/d-1/", "Punkt"}}, "")}},
      {"/newsticker/data/d-1/", {HttpPage(body)}},
  }));
  Use(pop);
  Use(smtp);
  UseCt(site);

  Run();

  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 1U);
  EXPECT_EQ(mails[0].mailFrom, "<gateway@office.example>");
  EXPECT_TRUE(mails[0].data.ends_with("<p>eins\r\n..\r\nMAIL FROM:<boss@evil.example>\r\n..hidden\r\n<p>zwei\r\n.\r\n"));
  EXPECT_TRUE(smtp.Transcript().ends_with("<p>zwei\r\n.\r\nQUIT\r\n"));
  // The copy keeps the page as it came.
  EXPECT_EQ(ReadFile(CtDir() / "Punkt.htm"), body);
}

TEST_F(CtNewstickerTest, MaliciousTitleStaysInTheFolder) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  HttpPeer site(PagesByTarget({
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/e-2/", "../../../x"}, {"/newsticker/data/e-1/", ".."}}, "")}},
      {"/newsticker/data/e-2/", {HttpPage("<p>a")}},
      {"/newsticker/data/e-1/", {HttpPage("<p>b")}},
  }));
  Use(pop);
  Use(smtp);
  UseCt(site);

  Run();

  for (const auto& entry : std::filesystem::recursive_directory_iterator(Folder())) {
    if (entry.path().extension() == ".htm") {
      EXPECT_EQ(entry.path().parent_path(), CtDir()) << entry.path();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(CtDir() / "../../../x.htm"));
  EXPECT_EQ(FilesIn(CtDir()), (std::vector<std::string>{"CT NewsTicker.htm", "__ .. .. x.htm", "__.htm"}));
  EXPECT_EQ(smtp.Mails().size(), 2U);
}

TEST_F(CtNewstickerTest, RefusingSiteKeepsTheStateAndTheMailStillGoes) {
  Pop3Peer pop({Message("From: a <a@x.example>\r\nSubject: x")});
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  RefuseCt();

  EXPECT_EQ(Run(), kRunDone);

  std::string log = Log();
  EXPECT_TRUE(LogHas(log, "unable to connect to www.heise.de"));
  EXPECT_TRUE(LogHas(log, "------------------------- Read CT News ----------------"));
  EXPECT_TRUE(LogHas(log, "---------------- CT News Completed -------------"));
  EXPECT_EQ(smtp.Mails().size(), 1U);
  EXPECT_EQ(after.lastDate, kOldDate);
  EXPECT_EQ(after.lastTitle, "Alt");
  EXPECT_TRUE(FilesIn(CtDir()).empty());
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t0"));
}

}  // namespace
}  // namespace ferry::test
