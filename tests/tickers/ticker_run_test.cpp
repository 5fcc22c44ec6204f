// One account with both tickers enabled, run as the service runs it: the
// account's mail, then the science items named in it, then the CT items,
// each to the address its "Addressmode Ticker" gives, with the page copies
// left in "BDWDir" and "CTDir".
#include "tests/tickers/ticker_run_helpers.h"

namespace ferry::test {
namespace {

class TickerRunTest : public TickerTest {};

TEST_F(TickerRunTest, BothTickersMailTheirPagesAndLeaveTheirCopies) {
  settings.enableWissenschaft = 1;
  settings.enableCt = 1;
  settings.addressmode = 0;
  settings.addressmodeTicker = 1;
  settings.popDelete = 1;

  Pop3Peer pop({Message("From: Ticker <news@wissenschaft.example>\r\nTo: <anna@mailbox.example>\r\nSubject: Heute",
                        "Neu: " + ScienceLink("myrec=9&myid=1") + "\r\n")});
  SmtpPeer smtp;
  HttpPeer science(PagesByTarget({{SciencePath("myrec=9&myid=1"), {HttpPage(SciencePageBody("Biologie", "Gene"))}}}));
  HttpPeer ct(PagesByTarget({
      {"/newsticker/", {CtIndexPage({{"/newsticker/data/n-2/", "Zweite"}, {"/newsticker/data/n-1/", "Erste"}},
                                    " Thu, 03 Jun 1999 07:00:00 GMT")}},
      {"/newsticker/data/n-2/", {HttpPage("<p>zwei")}},
      {"/newsticker/data/n-1/", {HttpPage("<p>eins")}},
  }));
  Use(pop);
  Use(smtp);
  UseScience(science);
  UseCt(ct);

  EXPECT_EQ(Run(), kRunDone);

  auto mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 4U);
  std::vector<std::string> recipients;
  std::vector<std::string> subjects;
  for (const ReceivedMail& mail : mails) {
    recipients.push_back(mail.rcptTo.front());
    subjects.push_back(HeaderField(mail.data, "Subject"));
  }
  EXPECT_EQ(recipients, (std::vector<std::string>{"<postmaster@office.example>", "<ticker@office.example>",
                                                   "<ct@office.example>", "<ct@office.example>"}));
  EXPECT_EQ(subjects, (std::vector<std::string>{"Heute", "Gene", "Erste", "Zweite"}));
  EXPECT_TRUE(pop.Remaining().empty());

  EXPECT_EQ(FilesIn(BdwDir()), std::vector<std::string>{"Gene.htm"});
  EXPECT_EQ(FilesIn(CtDir()), (std::vector<std::string>{"CT NewsTicker.htm", "Erste.htm", "Zweite.htm"}));
  EXPECT_EQ(ReadFile(CtDir() / "Erste.htm"), "<p>eins");
  EXPECT_EQ(ReadFile(BdwDir() / "Gene.htm"), SciencePageBody("Biologie", "Gene"));
  EXPECT_EQ(after.lastTitle, "Zweite");
  EXPECT_EQ(after.lastDate, " Thu, 03 Jun 1999 07:00:00 GMT");
  // The run leaves the account's own mode, not the ticker's.
  EXPECT_EQ(after.addressmode, 0U);
}

}  // namespace
}  // namespace ferry::test
