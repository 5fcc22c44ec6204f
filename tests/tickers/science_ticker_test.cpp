// The science ticker in whole account runs: links from the forwarded mail,
// item pages fetched last link first, their copies and mails, batches, the
// kept-alive request, and a site that refuses.
#include "tests/tickers/ticker_run_helpers.h"

namespace ferry::test {
namespace {

class ScienceTickerTest : public TickerTest {
 protected:
  void SetUp() override {
    TickerTest::SetUp();
    settings.enableWissenschaft = 1;
    settings.popDelete = 1;
  }
};

const std::string kQueryA = "myrec=4711&myid=11";
const std::string kQueryB = "myrec=4712&myid=22";

std::string MailWithTwoLinks() {
  return Message("From: Ticker <news@wissenschaft.example>\r\nTo: <anna@mailbox.example>\r\nSubject: Ticker",
                 "Neu: " + ScienceLinkMarker(kScienceSiteName) + "myrec=3D4711&myid=3D11\r\nAuch: " +
                     ScienceLink(kQueryB) + "\r\n");
}

TEST_F(ScienceTickerTest, TwoLinksFetchedLastFirstSavedAndMailed) {
  Pop3Peer pop({MailWithTwoLinks()});
  SmtpPeer smtp;
  HttpPeer site(PagesByTarget({
      {SciencePath(kQueryA), {HttpPage(SciencePageBody("Medizin", " \"Neue Zellen\""))}},
      {SciencePath(kQueryB), {HttpPage(SciencePageBody("Physik", "Licht/Schatten"))}},
  }));
  Use(pop);
  Use(smtp);
  UseScience(site);

  EXPECT_EQ(Run(), kRunDone);

  EXPECT_EQ(site.Requests(), (std::vector<std::string>{ItemPageRequest(SciencePath(kQueryB)),
                                                        ItemPageRequest(SciencePath(kQueryA))}));
  // The mail that named the links is forwarded unchanged and deleted.
  EXPECT_TRUE(pop.Remaining().empty());
  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 3U);
  EXPECT_EQ(mails[0].rcptTo.front(), "<postmaster@office.example>");
  EXPECT_EQ(mails[1].rcptTo.front(), "<ticker@office.example>");
  std::string page = AfterDateLine(mails[1].data,
                                   "From: \"Physik\" <gateway@office.example>\r\nTo: \"Wissenschaft\"<ticker@office.example>\r\n"
                                   "Subject: Licht Schatten\r\nMIME-Version: 1.0\r\nX-Mailer: MailFerry\r\n"
                                   "Content-Type: text/html\r\nDate:");
  EXPECT_EQ(page, SciencePageBody("Physik", "Licht/Schatten") + ".\r\n");
  EXPECT_NE(mails[2].data.find("\r\nSubject: Neue Zellen \r\n"), std::string::npos);
  EXPECT_NE(mails[2].data.find("From: \"Medizin\" <"), std::string::npos);

  EXPECT_EQ(FilesIn(BdwDir()), (std::vector<std::string>{"Licht Schatten.htm", "Neue Zellen .htm"}));
  EXPECT_EQ(ReadFile(BdwDir() / "Licht Schatten.htm"), SciencePageBody("Physik", "Licht/Schatten") + "\r\n.\r\n\r\n");
  EXPECT_TRUE(LogHas(Log(), "Found URL:myrec=4711&myid=11"));
}

TEST_F(ScienceTickerTest, MailWithoutLinksNeverFetches) {
  Pop3Peer pop({Message("From: a <a@x.example>\r\nSubject: x", "http://www.wissenschaft.de/\r\n")});
  SmtpPeer smtp;
  HttpPeer site([](const std::string&) { return HttpAnswer{HttpPage("x")}; });
  Use(pop);
  Use(smtp);
  UseScience(site);
  Run();
  EXPECT_EQ(site.Connections(), 0);
  EXPECT_EQ(smtp.Mails().size(), 1U);
  EXPECT_FALSE(LogHas(Log(), "------- HTTP Get-----------"));
  EXPECT_TRUE(LogHas(Log(), "-------------End of Scann---------------"));
}

TEST_F(ScienceTickerTest, RefusingSiteEndsTheStageAndTheMailStillGoes) {
  Pop3Peer pop({MailWithTwoLinks()});
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  RefuseScience();
  EXPECT_EQ(Run(), kRunDone);
  std::string log = Log();
  EXPECT_EQ(Count(log, " : unable to connect to www.wissenschaft.de"), 1U);
  EXPECT_EQ(Count(log, " : Error code is 10061"), 1U);
  ASSERT_EQ(smtp.Mails().size(), 1U);
  EXPECT_TRUE(pop.Remaining().empty());
  EXPECT_TRUE(FilesIn(BdwDir()).empty());
}

TEST_F(ScienceTickerTest, FullBatchDeliveredDuringTheStage) {
  settings.maxMails = 2;
  Pop3Peer pop({Message("Subject: drei", ScienceLink("myrec=1&myid=1") + "\r\n" + ScienceLink("myrec=2&myid=2") +
                                             "\r\n" + ScienceLink("myrec=3&myid=3") + "\r\n")});
  SmtpPeer smtp;
  HttpPeer site([](const std::string& request) { return HttpAnswer{HttpPage(SciencePageBody("K", request.substr(4, 40)))}; });
  Use(pop);
  Use(smtp);
  UseScience(site);
  Run();
  EXPECT_EQ(site.Connections(), 3);
  EXPECT_EQ(smtp.Mails().size(), 4U);
  // The account's mail, two ticker mails at the full batch, the last one after the stage.
  EXPECT_EQ(smtp.Connections(), 3);
}

TEST_F(ScienceTickerTest, KeepAliveAsksForItAndStillMailsEveryItem) {
  settings.enableKeepAlive = 1;
  Pop3Peer pop({MailWithTwoLinks()});
  SmtpPeer smtp;
  HttpPeer site([](const std::string&) {
    std::string body = SciencePageBody("Medizin", "Offen");
    return HttpAnswer{HttpPage(body, "Content-Length: " + std::to_string(body.size()) + "\r\n"), true};
  });
  Use(pop);
  Use(smtp);
  UseScience(site);
  Run();
  EXPECT_EQ(site.Requests(), (std::vector<std::string>{KeepAliveItemPageRequest(SciencePath(kQueryB)),
                                                        KeepAliveItemPageRequest(SciencePath(kQueryA))}));
  ASSERT_EQ(smtp.Mails().size(), 3U);
  EXPECT_NE(smtp.Mails()[2].data.find("Subject: Offen\r\n"), std::string::npos);
}

}  // namespace
}  // namespace ferry::test
