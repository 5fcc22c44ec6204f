// The science ticker in whole account runs: links from the forwarded mail,
// item pages fetched last link first once the POP3 session is closed, their
// copies and mails, each link mailed once, batches, error pages, and a site
// that refuses.
#include <mutex>

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
  settings.enableKeepAlive = 1;  // asks for nothing more: every response ends with the server's close
  Pop3Peer pop({MailWithTwoLinks()});
  SmtpPeer smtp;
  HttpPeer site(PagesByTarget({
      {SciencePath(kQueryA), {HttpPage(SciencePageBody("Medizin", " \"Neue Zellen\""))}},
      {SciencePath(kQueryB), {HttpPage(SciencePageBody("Physik", "Licht/Schatten<script>x()</script>"))}},
  }));
  Use(pop);
  Use(smtp);
  UseScience(site);

  EXPECT_EQ(Run(), kRunDone);

  EXPECT_EQ(site.Requests(), (std::vector<std::string>{ItemPageRequest(SciencePath(kQueryB), kScienceSiteName),
                                                        ItemPageRequest(SciencePath(kQueryA), kScienceSiteName)}));
  // The mail that named the links is forwarded unchanged and deleted.
  EXPECT_TRUE(pop.Remaining().empty());
  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 3U);
  EXPECT_EQ(mails[0].rcptTo.front(), "<postmaster@office.example>");
  EXPECT_EQ(mails[1].rcptTo.front(), "<ticker@office.example>");
  EXPECT_TRUE(AllCrLf(mails[1].data));
  EXPECT_EQ(HeaderField(mails[1].data, "From"), "\"Physik\" <gateway@office.example>");
  EXPECT_EQ(HeaderField(mails[1].data, "To"), "\"Wissenschaft\" <ticker@office.example>");
  EXPECT_EQ(HeaderField(mails[1].data, "Subject"), "Licht Schatten");
  EXPECT_EQ(HeaderField(mails[1].data, "Content-Type"), "text/html; charset=ISO-8859-1");
  EXPECT_EQ(MailBody(mails[1].data), WithCrLf(SciencePageBody("Physik", "Licht/Schatten")));
  EXPECT_EQ(HeaderField(mails[2].data, "Subject"), "Neue Zellen ");
  EXPECT_EQ(HeaderField(mails[2].data, "From"), "\"Medizin\" <gateway@office.example>");

  EXPECT_EQ(FilesIn(BdwDir()), (std::vector<std::string>{"Licht Schatten.htm", "Neue Zellen_.htm"}));
  EXPECT_EQ(ReadFile(BdwDir() / "Licht Schatten.htm"), SciencePageBody("Physik", "Licht/Schatten"));
  EXPECT_TRUE(LogHas(Log(), "Found URL:myrec=4711&myid=11"));
}

// A slow site never holds the POP3 session: the deletes are committed (QUIT)
// before the first page is asked for, so nothing is forwarded twice; and a
// link mailed once is never mailed again, in the same run or the next.
TEST_F(ScienceTickerTest, SlowSiteAfterTheDeletesAndEachLinkMailedOnce) {
  receiveTimeout = kShortReceiveTimeout;
  Pop3Peer pop({MailWithTwoLinks()});
  SmtpPeer smtp;
  std::vector<bool> quitBefore;
  std::mutex mutex;
  HttpPeer site([&](const std::string& request) {
    {
      std::lock_guard lock(mutex);
      quitBefore.push_back(pop.Transcript().find("QUIT\r\n") != std::string::npos);
    }
    HttpAnswer answer{HttpPage(SciencePageBody("Medizin", request.substr(4, 50)))};
    if (request.find(kQueryB) != std::string::npos) answer.dripMs = 20;  // cut at the page's deadline
    return answer;
  });
  Use(pop);
  Use(smtp);
  UseScience(site);

  EXPECT_EQ(Run(), kRunDone);
  EXPECT_EQ(quitBefore, (std::vector<bool>{true, true}));
  EXPECT_TRUE(pop.Remaining().empty());
  // The page cut at its deadline is a warning, not a mail; the other one goes.
  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 2U);
  EXPECT_EQ(mails[0].rcptTo.front(), "<postmaster@office.example>");
  EXPECT_EQ(mails[1].rcptTo.front(), "<ticker@office.example>");
  EXPECT_TRUE(HasEvent("80\t2\tNORAS\tPostfach\twww.wissenschaft.de\t" + SciencePath(kQueryB) + "\ttimed out"));
  const std::size_t first = mails.size();

  // Next run: the same links again (a second mail naming them, and twice in it).
  pop.Append(Message("Subject: wieder", ScienceLink(kQueryA) + "\r\n" + ScienceLink(kQueryA) + "\r\n"));
  settings = after;
  EXPECT_EQ(Run(), kRunDone);
  mails = smtp.Mails();
  ASSERT_EQ(mails.size(), first + 1);
  EXPECT_EQ(HeaderField(mails.back().data, "Subject"), "wieder");
  EXPECT_TRUE(pop.Remaining().empty());
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

// The mail that named the links is forwarded and deleted even when the site
// cannot be reached; its items are kept and mailed by a later run, once each.
TEST_F(ScienceTickerTest, ItemsOfARefusingSiteAreMailedByALaterRun) {
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

  // The site is back; the mailbox is empty.
  std::mutex mutex;
  int askedForB = 0;
  HttpPeer site([&](const std::string& request) {
    if (request.find(kQueryA) != std::string::npos) return HttpAnswer{HttpPage(SciencePageBody("Medizin", "Zellen"))};
    std::lock_guard lock(mutex);
    if (++askedForB == 1) return HttpAnswer{"HTTP/1.0 503 Busy\r\n\r\nlater"};
    return HttpAnswer{HttpPage(SciencePageBody("Physik", "Licht"))};
  });
  UseScience(site);
  settings = after;
  EXPECT_EQ(Run(), kRunDone);
  ASSERT_EQ(smtp.Mails().size(), 2U);
  EXPECT_EQ(HeaderField(smtp.Mails()[1].data, "Subject"), "Zellen");

  // The page that answered 503 is asked for again, and then nothing is.
  settings = after;
  EXPECT_EQ(Run(), kRunDone);
  ASSERT_EQ(smtp.Mails().size(), 3U);
  EXPECT_EQ(HeaderField(smtp.Mails()[2].data, "Subject"), "Licht");
  settings = after;
  EXPECT_EQ(Run(), kRunDone);
  EXPECT_EQ(smtp.Mails().size(), 3U);
  EXPECT_EQ(site.Connections(), 3);
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

// Only a 200 page is mailed: a moved or missing item page is a warning that
// names the site, the page and the status.
TEST_F(ScienceTickerTest, ErrorPagesAreWarningsNotNews) {
  Pop3Peer pop({MailWithTwoLinks()});
  SmtpPeer smtp;
  HttpPeer site(PagesByTarget({
      {SciencePath(kQueryA), {"HTTP/1.0 301 Moved Permanently\r\nLocation: /x\r\n\r\n<p>moved"}},
      {SciencePath(kQueryB), {HttpPage(SciencePageBody("Physik", "Licht"))}},
  }));
  Use(pop);
  Use(smtp);
  UseScience(site);
  Run();
  ASSERT_EQ(smtp.Mails().size(), 2U);
  EXPECT_EQ(HeaderField(smtp.Mails()[1].data, "Subject"), "Licht");
  EXPECT_TRUE(HasEvent("80\t2\tNORAS\tPostfach\twww.wissenschaft.de\t" + SciencePath(kQueryA) + "\t301"));
  EXPECT_EQ(FilesIn(BdwDir()), std::vector<std::string>{"Licht.htm"});
  // A moved page is not asked for again.
  settings = after;
  Run();
  EXPECT_EQ(site.Connections(), 2);
}

}  // namespace
}  // namespace ferry::test
