// The CT newsticker in whole account runs against loopback HTTP, POP3 and
// SMTP peers: the conditional index request and its 304, the first run after
// "LastTitle", new items oldest first as well-formed mails, each item mailed
// once over many runs, an SMTP refusal mailed on the next run, error statuses,
// the page copies (a planted link, a missing folder), a site that refuses.
#include "service/tickers/mailed_links.h"
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
  // The date goes out without the blank a Last-Modified value keeps.
  static std::string IndexRequest(const std::string& date) {
    return ConditionalIndexRequest("/newsticker/", kCtSiteName, date.substr(1));
  }
  // A run given what the last one left.
  void RunAgain() {
    settings = after;
    Run();
  }
};

std::string ItemBody(const std::string& text) { return "<HTML><H2>" + text + "</H2></HTML>\r\n"; }

TEST_F(CtNewstickerTest, NotModifiedLeavesEverythingAndOneCtStageRunsAtATime) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  HttpPeer site([](const std::string&) { return HttpAnswer{"HTTP/1.0 304 Not Modified\r\n\r\n"}; });
  Use(pop);
  Use(smtp);
  UseCt(site);
  std::filesystem::path copy = CtDir() / "CT NewsTicker.htm";
  { std::ofstream(copy) << "vorige Seite"; }

  // While another account's run holds the CT stage, this run leaves it alone
  // (both would mail the same items); once it is free, the stage runs.
  ASSERT_TRUE(state::CreateOwnerFolder(state::StateFolder()).ok());
  {
    state::FileLock other;
    ASSERT_TRUE(other.TryLock(CtStageLockPath()).ok());
    Run();
    EXPECT_EQ(site.Connections(), 0);
    EXPECT_TRUE(LogHas(Log(), "CT ticker stage runs in another account's run; not run here"));
  }
  RunAgain();

  EXPECT_EQ(site.Requests(), std::vector<std::string>{IndexRequest(kOldDate)});
  EXPECT_EQ(ReadFile(copy), "vorige Seite");
  EXPECT_EQ(after.lastDate, kOldDate);
  EXPECT_EQ(after.lastTitle, "Alt");
  EXPECT_TRUE(smtp.Mails().empty());
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t0"));
  EXPECT_TRUE(LogHas(Log(), "Res: 304"));
}

TEST_F(CtNewstickerTest, FirstRunTakesItemsUpToTheLastTitleAsOld) {
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

// New items oldest first, each a mail a client reads right; over three runs
// every item goes out once, also one titled like "LastTitle" and the older
// new one below it.
TEST_F(CtNewstickerTest, EachItemMailedOnceAsAWellFormedMail) {
  Pop3Peer pop({});
  SmtpPeer smtp;
  std::map<std::string, HttpAnswer> pages = {
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/c-3/", "Linux 2.2: schneller/besser"},
                                     {"/newsticker/data/c-2/", "Gr&uuml;ne Rechner"},
                                     {"/newsticker/data/c-1/?a=1&amp;b=2", "Drei"},
                                     {"/newsticker/data/a-1/", "Alt"}},
                                    kNewDate)}},
      {"/newsticker/data/c-3/", {HttpPage(ItemBody("eins"))}},
      {"/newsticker/data/c-2/",
       {HttpPage("<p>Gr\xFCne\n<script>alert(1)</script>Rechner\r\n", "Content-Type: text/html; charset=iso-8859-1\r\n")}},
      {"/newsticker/data/c-1/?a=1&b=2", {HttpPage(ItemBody("drei"))}},
  };
  HttpPeer site([&](const std::string& request) { return PagesByTarget(pages)(request); });
  Use(pop);
  Use(smtp);
  UseCt(site);

  Run();

  EXPECT_EQ(site.Requests(),
            (std::vector<std::string>{IndexRequest(kOldDate), ItemPageRequest("/newsticker/data/c-1/?a=1&b=2", kCtSiteName),
                                      ItemPageRequest("/newsticker/data/c-2/", kCtSiteName), ItemPageRequest("/newsticker/data/c-3/", kCtSiteName)}));
  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 3U);
  for (const ReceivedMail& mail : mails) {
    EXPECT_EQ(mail.rcptTo.front(), "<ct@office.example>");
    EXPECT_TRUE(AllCrLf(mail.data));
    EXPECT_EQ(HeaderField(mail.data, "From"), "\"CT Ticker\" <gateway@office.example>");
    EXPECT_EQ(HeaderField(mail.data, "To"), "\"Wissenschaft\" <ct@office.example>");
    EXPECT_EQ(HeaderField(mail.data, "MIME-Version"), "1.0");
    // "Tue, 08 Dec 2026 06:00:34 +0100"
    std::string date = HeaderField(mail.data, "Date");
    EXPECT_EQ(date.size(), 31U) << date;
    EXPECT_TRUE(date[26] == '+' || date[26] == '-') << date;
    EXPECT_TRUE(HeaderField(mail.data, "Message-ID").ends_with("@office.example>"));
  }
  EXPECT_NE(HeaderField(mails[0].data, "Message-ID"), HeaderField(mails[1].data, "Message-ID"));
  EXPECT_EQ(HeaderField(mails[0].data, "Content-Type"), "text/html; charset=ISO-8859-1");
  EXPECT_EQ(HeaderField(mails[1].data, "Content-Type"), "text/html; charset=iso-8859-1");
  EXPECT_EQ(HeaderField(mails[0].data, "Subject"), "Drei");
  EXPECT_EQ(HeaderField(mails[0].data, "Content-Transfer-Encoding"), "7bit");
  EXPECT_EQ(MailBody(mails[0].data), ItemBody("drei"));
  EXPECT_EQ(HeaderField(mails[1].data, "Subject"), "=?ISO-8859-1?Q?Gr=FCne_Rechner?=");
  EXPECT_EQ(HeaderField(mails[1].data, "Content-Transfer-Encoding"), "quoted-printable");
  EXPECT_EQ(MailBody(mails[1].data), "<p>Gr\xFCne\r\nRechner\r\n");
  EXPECT_EQ(HeaderField(mails[2].data, "Subject"), "Linux 2.2  schneller besser");
  // The names as the store's texts spell them (Latin-1), read through the same
  // file calls the copies were written with.
  EXPECT_TRUE(HoldsExactly(CtDir(), {"CT NewsTicker.htm", "Drei.htm", "Gr\xFCne Rechner.htm",
                                     "Linux 2.2  schneller besser.htm"}));
  EXPECT_EQ(ReadFile(CtDir() / "Gr\xFCne Rechner.htm"), "<p>Gr\xFCne\nRechner\r\n");
  EXPECT_EQ(after.lastTitle, "Linux 2.2  schneller besser");
  EXPECT_EQ(after.lastDate, kNewDate);
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t3"));

  // The same index again: nothing new.
  RunAgain();
  ASSERT_EQ(site.Requests().size(), 5U);
  EXPECT_EQ(site.Requests()[4], IndexRequest(kNewDate));
  EXPECT_EQ(smtp.Mails().size(), 3U);

  // A new item titled like the newest one mailed, and an older new one below
  // the old items: both go out, the old ones do not.
  pages["/newsticker/"] = {CtIndexPage({{"/newsticker/data/c-4/", "Linux 2.2: schneller/besser"},
                                        {"/newsticker/data/c-3/", "Linux 2.2: schneller/besser"},
                                        {"/newsticker/data/c-2/", "Gr&uuml;ne Rechner"},
                                        {"/newsticker/data/b-9/", "Nachgereicht"},
                                        {"/newsticker/data/c-1/?a=1&amp;b=2", "Drei"}},
                                       " Thu, 03 Jun 1999 08:00:00 GMT")};
  pages["/newsticker/data/c-4/"] = {HttpPage(ItemBody("vier"))};
  pages["/newsticker/data/b-9/"] = {HttpPage(ItemBody("neun"))};
  RunAgain();
  mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 5U);
  EXPECT_EQ(MailBody(mails[3].data), ItemBody("neun"));
  EXPECT_EQ(MailBody(mails[4].data), ItemBody("vier"));
  EXPECT_EQ(after.lastDate, " Thu, 03 Jun 1999 08:00:00 GMT");
}

// The SMTP server refuses the item's mail: nothing of the ticker's state
// moves, and the next run mails it.
TEST_F(CtNewstickerTest, RefusedItemIsMailedOnTheNextRun) {
  Pop3Peer pop({});
  auto refusals = std::make_shared<int>(1);
  SmtpPeerOptions options;
  options.override = [refusals](std::string_view command) -> std::optional<PeerReply> {
    if (command.starts_with("RCPT TO:<ct@") && *refusals > 0) {
      --*refusals;
      return Say("452 4.3.1 Insufficient system storage\r\n");
    }
    return std::nullopt;
  };
  SmtpPeer smtp(options);
  HttpPeer site(PagesByTarget({
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/n-1/", "Neu"}, {"/newsticker/data/a-1/", "Alt"}}, kNewDate)}},
      {"/newsticker/data/n-1/", {HttpPage(ItemBody("neu"))}},
  }));
  Use(pop);
  Use(smtp);
  UseCt(site);

  Run();
  EXPECT_TRUE(smtp.Mails().empty());
  EXPECT_EQ(after.lastTitle, "Alt");
  EXPECT_EQ(after.lastDate, kOldDate);
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t0"));

  RunAgain();
  ASSERT_EQ(smtp.Mails().size(), 1U);
  EXPECT_EQ(MailBody(smtp.Mails()[0].data), ItemBody("neu"));
  EXPECT_EQ(after.lastTitle, "Neu");
  EXPECT_EQ(after.lastDate, kNewDate);
  EXPECT_TRUE(HasEvent("105\t4\tNORAS\tPostfach\t1"));

  RunAgain();
  EXPECT_EQ(smtp.Mails().size(), 1U);
}

// Only a 200 page is mailed; any other status is a warning naming the site,
// the page and the status, and the index is asked for again next time.
TEST_F(CtNewstickerTest, ErrorStatusesAreWarningsNotNews) {
  struct Case {
    const char* name;
    std::string index;
    std::string item;
    std::string event;
    std::size_t mails;
  } cases[] = {
      {"index not found", "HTTP/1.0 404 Not Found\r\n\r\n<p>weg", "", "80\t2\tNORAS\tPostfach\twww.heise.de\t/newsticker/\t404", 0},
      {"index moved, bare LF header", "HTTP/1.1 301 Moved\nLocation: /x\n\n<p>moved", "",
       "80\t2\tNORAS\tPostfach\twww.heise.de\t/newsticker/\t301", 0},
      {"item bad request", CtIndexPage({{"/n/2/", "Zwei"}, {"/n/1/", "Eins"}, {"/a/", "Alt"}}, kNewDate),
       "HTTP/1.0 400 Bad Request\r\n\r\n<p>bad", "80\t2\tNORAS\tPostfach\twww.heise.de\t/n/1/\t400", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Pop3Peer pop({});
    SmtpPeer smtp;
    HttpPeer site([&](const std::string& request) {
      if (request.starts_with("GET /newsticker/ ")) return HttpAnswer{c.index};
      if (request.starts_with("GET /n/1/ ")) return HttpAnswer{c.item};
      return HttpAnswer{HttpPage(ItemBody("zwei"))};
    });
    Use(pop);
    Use(smtp);
    UseCt(site);
    settings.lastDate = kOldDate;
    settings.lastTitle = "Alt";

    Run();

    EXPECT_TRUE(HasEvent(c.event));
    ASSERT_EQ(smtp.Mails().size(), c.mails);
    for (const ReceivedMail& mail : smtp.Mails()) EXPECT_EQ(MailBody(mail.data), ItemBody("zwei"));
    EXPECT_EQ(after.lastDate, kOldDate);
    EXPECT_EQ(after.lastTitle, c.mails == 0 ? "Alt" : "Zwei");
    EXPECT_FALSE(std::filesystem::exists(CtDir() / "Eins.htm"));
    if (c.mails == 0) {
      EXPECT_TRUE(FilesIn(CtDir()).empty());
    }
  }
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
  EXPECT_EQ(MailBody(mails[0].data), body);
  EXPECT_TRUE(smtp.Transcript().ends_with("<p>zwei\r\n.\r\nQUIT\r\n"));
  // The copy keeps the page as it came.
  EXPECT_EQ(ReadFile(CtDir() / "Punkt.htm"), body);
}

// Copies stay inside their folder: a hostile title, a link planted under a
// copy's name, and a folder that is missing (no copy anywhere, one warning,
// the mails still go).
TEST_F(CtNewstickerTest, CopiesNeverLeaveTheirFolder) {
  namespace fs = std::filesystem;
  Pop3Peer pop({});
  SmtpPeer smtp;
  HttpPeer site(PagesByTarget({
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/e-3/", "Eins"}, {"/newsticker/data/e-2/", "../../../x"},
                                     {"/newsticker/data/e-1/", "NUL"}}, "")}},
      {"/newsticker/data/e-3/", {HttpPage("<p>c")}},
      {"/newsticker/data/e-2/", {HttpPage("<p>a")}},
      {"/newsticker/data/e-1/", {HttpPage("<p>b")}},
  }));
  Use(pop);
  Use(smtp);
  UseCt(site);
  const fs::path secret = Folder() / "secret";
  { std::ofstream(secret) << "geheim"; }
  PlantLink(secret, CtDir() / "Eins.htm");

  Run();

  EXPECT_EQ(ReadFile(secret), "geheim");
  EXPECT_FALSE(fs::is_symlink(CtDir() / "Eins.htm"));
  EXPECT_EQ(ReadFile(CtDir() / "Eins.htm"), "<p>c");
  EXPECT_EQ(FilesIn(CtDir()), (std::vector<std::string>{"CT NewsTicker.htm", "Eins.htm", "_NUL.htm", "__ .. .. x.htm"}));
  EXPECT_EQ(smtp.Mails().size(), 3U);

  // A folder that is missing: no copy, one warning, every mail.
  settings = after;
  settings.ctDir = (Folder() / "missing").string();
  settings.lastDate = kOldDate;
  fs::remove(Folder() / "ticker-ct.links");
  settings.lastTitle = "";
  const fs::path cwd = fs::current_path();
  Run();
  EXPECT_EQ(smtp.Mails().size(), 6U);
  EXPECT_FALSE(fs::exists(Folder() / "missing"));
  EXPECT_FALSE(fs::exists(cwd / "CT NewsTicker.htm"));
  std::size_t warnings = 0;
  for (const std::string& e : Events()) {
    warnings += e.starts_with("81\t2\tNORAS\tPostfach\t") && e.find("missing") != std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(warnings, 1U);
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
