// Whole account runs with the feed stage against a scripted web site on
// loopback: the site (plain HTTP here, HTTPS with the test CA where the system
// can serve it), the documents it serves, and the two scenarios every transport
// and answer shape must pass.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "schema/registry_schema.h"
#include "service/feeds/feed_state.h"
#include "service/transfer/account_run.h"
#include "service/transfer/transfer_error.h"
#include "tests/peers/http_exchange.h"
#include "tests/peers/loopback_server.h"
#include "tests/peers/pop3_peer.h"
#include "tests/peers/smtp_peer.h"
#include "tests/tickers/ticker_run_helpers.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {

class FeedSite {
 public:
  virtual ~FeedSite() = default;
  virtual std::string Url(const std::string& path) const = 0;
  virtual std::vector<HttpsRequest> Requests() const = 0;
};
using FeedSiteFactory = std::function<std::unique_ptr<FeedSite>(HttpsScript)>;

// A plain HTTP site: one request per connection, answered and closed.
class PlainFeedSite : public FeedSite {
 public:
  explicit PlainFeedSite(HttpsScript script)
      : script_(std::move(script)), server_(80, [this](PeerConnection& c) { Serve(c); }) {}
  std::string Url(const std::string& path) const override { return "http://" + HostPort() + path; }
  std::string HostPort() const { return server_.Address() + ":" + std::to_string(server_.Port()); }
  std::vector<HttpsRequest> Requests() const override {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Serve(PeerConnection& connection) {
    std::string head;
    if (!connection.ReadUntil("\r\n\r\n", &head, 64 * 1024)) return;
    HttpsRequest request;
    const std::size_t lineEnd = head.find("\r\n");
    const std::string line = head.substr(0, lineEnd);
    const std::size_t space = line.find(' ');
    request.method = line.substr(0, space);
    request.target = line.substr(space + 1, line.find(' ', space + 1) - space - 1);
    request.headerLines = head.substr(lineEnd + 2, head.size() - lineEnd - 4);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    connection.Write(AnswerBytes(script_(request)));
  }

  HttpsScript script_;
  mutable std::mutex mutex_;
  std::vector<HttpsRequest> requests_;
  LoopbackServer server_;
};

// How the site sends its 200 answers: chunked, and gzip-encoded (when the
// client asks for it) through `gzip`, which encodes a body.
struct AnswerShape {
  const char* name;
  bool chunked = false;
  std::function<std::string(const std::string&)> gzip = nullptr;
};

// Test names show the shape by its name.
inline void PrintTo(const AnswerShape& shape, std::ostream* out) { *out << shape.name; }

inline std::string RssDocument() {
  return R"X(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0"><channel><title>Harbour News</title>
<item><title>Ship &amp; crew</title><link>https://news.example/1</link><guid>n-1</guid>
<pubDate>Tue, 08 Dec 2026 05:00:00 GMT</pubDate>
<description>&lt;p&gt;Fair winds&lt;/p&gt;&lt;script&gt;steal()&lt;/script&gt;</description></item>
<item><title>Gr&#252;ne Welle</title><link>https://news.example/2</link><guid>n-2</guid></item>
</channel></rss>)X";
}

inline std::string AtomDocument(bool withThird) {
  std::string entries;
  if (withThird) {
    entries += R"X(<entry><title>Third</title><id>urn:desk:3</id><link href="https://desk.example/3"/>
<updated>2026-12-08T06:00:00Z</updated><content type="html">&lt;b onmouseover="x()"&gt;new&lt;/b&gt;</content></entry>)X";
  }
  entries += R"X(<entry><title>Second</title><id>urn:desk:2</id><link href="https://desk.example/2"/>
<updated>2026-12-08T05:00:00Z</updated><summary>two</summary></entry>
<entry><title>First</title><id>urn:desk:1</id><link href="https://desk.example/1"/>
<updated>2026-12-08T04:00:00Z</updated><summary>one</summary></entry>)X";
  return R"X(<?xml version="1.0" encoding="utf-8"?><feed xmlns="http://www.w3.org/2005/Atom"><title>Desk</title>
<id>urn:desk</id><updated>2026-12-08T06:00:00Z</updated>)X" +
         entries + "</feed>";
}

class FeedRunTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    settings.tickerEMail = "ticker@office.example";
  }

  void SetFeed(const std::string& name, const std::string& url, const std::string& to) {
    reg::KeyHolder key;
    ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), schema::FeedKey("NORAS", "Postfach", name), key.out()), reg::kOk);
    ASSERT_EQ(reg::SetValue(key.get(), schema::kFeedUrl, reg::kSz, url.c_str(), static_cast<uint32_t>(url.size() + 1)),
              reg::kOk);
    ASSERT_EQ(reg::SetValue(key.get(), schema::kFeedTo, reg::kSz, to.c_str(), static_cast<uint32_t>(to.size() + 1)),
              reg::kOk);
  }
  void SetAccountNumber(const char* name, uint32_t value) {
    reg::KeyHolder key;
    ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), schema::AccountKey("NORAS", "Postfach"), key.out()), reg::kOk);
    ASSERT_EQ(reg::SetValue(key.get(), name, reg::kDword, &value, 4), reg::kOk);
  }
  // Moves every feed's last fetch back by `seconds`, as if that time had passed.
  void Age(int64_t seconds) {
    const std::string path = FeedStatePath(settings.popHost, settings.popUser);
    FeedStates states;
    std::string reason;
    ASSERT_TRUE(LoadFeedStates(path, &states, &reason)) << reason;
    for (auto& [name, state] : states) state.fetched -= seconds;
    ASSERT_TRUE(SaveFeedStates(path, states, &reason)) << reason;
  }
  int CountEvents(const std::string& prefix) const {
    int n = 0;
    for (const std::string& e : Events()) n += e.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  // Three runs against an RSS feed with an ETag, an Atom feed behind a
  // redirect with a Last-Modified and a missing feed: every item is mailed
  // once, in feed order, with its link and sanitised content; the second run
  // (within the interval) asks for nothing; the third asks conditionally and
  // mails only the entry that is new.
  void ThreeRunsMailEachItemOnce(const FeedSiteFactory& makeSite, const AnswerShape& shape) {
    SCOPED_TRACE(shape.name);
    std::atomic<bool> third{false};
    std::atomic<int> gzipAsked{0};
    auto site = makeSite([&](const HttpsRequest& request) {
      HttpsAnswer answer;
      if (request.target == "/news.rss") {
        if (request.headerLines.find("If-None-Match: \"r1\"\r\n") != std::string::npos) return HttpsAnswer{304, "", ""};
        answer = HttpsAnswer{200, "ETag: \"r1\"\r\nContent-Type: application/rss+xml\r\n", RssDocument()};
      } else if (request.target == "/desk") {
        return HttpsAnswer{301, "Location: /desk.atom\r\n", ""};
      } else if (request.target == "/desk.atom") {
        answer = HttpsAnswer{200, "Last-Modified: Tue, 08 Dec 2026 05:00:00 GMT\r\n", AtomDocument(third.load())};
      } else {
        return HttpsAnswer{404, "", "<html>Not found</html>"};
      }
      answer.chunked = shape.chunked;
      if (shape.gzip && request.headerLines.find("gzip") != std::string::npos) {
        ++gzipAsked;
        answer.body = shape.gzip(answer.body);
        answer.headerLines += "Content-Encoding: gzip\r\n";
      }
      return answer;
    });
    Pop3Peer pop({});
    SmtpPeer smtp;
    Use(pop);
    Use(smtp);
    SetAccountNumber(schema::kEnableFeeds, 1);
    SetAccountNumber(schema::kFeedInterval, 5);
    SetFeed("a-gone", site->Url("/missing.xml"), "");
    SetFeed("b-news", site->Url("/news.rss"), "news@office.example");
    SetFeed("c-desk", site->Url("/desk"), "");

    // Run 1: every item of both feeds, in feed order; the missing feed a warning.
    EXPECT_EQ(Run(), kRunDone);
    auto mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 4U);
    std::vector<std::string> subjects;
    for (const auto& mail : mails) subjects.push_back(HeaderField(mail.data, "Subject"));
    EXPECT_EQ(subjects, (std::vector<std::string>{"Ship & crew", "=?UTF-8?Q?Gr=C3=BCne_Welle?=", "Second", "First"}))
        << "RSS in feed order, then the Atom feed reached through its redirect";
    EXPECT_EQ(mails[0].rcptTo.front(), "<news@office.example>");
    EXPECT_EQ(mails[2].rcptTo.front(), "<ticker@office.example>");
    EXPECT_TRUE(AllCrLf(mails[0].data));
    EXPECT_EQ(HeaderField(mails[0].data, "Content-Type"), "text/html; charset=UTF-8");
    const std::string body = MailBody(mails[0].data);
    EXPECT_NE(body.find("<a href=\"https://news.example/1\">Ship &amp; crew</a>"), std::string::npos) << body;
    EXPECT_NE(body.find("Tue, 08 Dec 2026 05:00:00 GMT"), std::string::npos) << body;
    EXPECT_NE(body.find("<p>Fair winds</p>"), std::string::npos) << body;
    EXPECT_EQ(body.find("steal"), std::string::npos) << body;
    EXPECT_EQ(CountEvents("84\t"), 1);
    EXPECT_TRUE(HasEvent("84\t2\tNORAS\tPostfach\ta-gone\t" + site->Url("/missing.xml") + "\t404"));
    if (shape.gzip) {
      EXPECT_EQ(gzipAsked.load(), 2) << "both feeds asked for gzip";
    }

    // Run 2, within the interval: nothing is asked for.
    const std::size_t requestsAfterFirst = site->Requests().size();
    EXPECT_EQ(Run(), kRunDone);
    EXPECT_EQ(site->Requests().size(), requestsAfterFirst);
    EXPECT_EQ(smtp.Mails().size(), 4U);

    // Run 3, an interval later: the RSS feed is unchanged (304), the Atom feed
    // has one new entry on top; only that one is mailed.
    Age(6 * 60);
    third = true;
    EXPECT_EQ(Run(), kRunDone);
    mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 5U);
    EXPECT_EQ(HeaderField(mails[4].data, "Subject"), "Third");
    EXPECT_NE(MailBody(mails[4].data).find("<b>new</b>"), std::string::npos);
    const auto requests = site->Requests();
    bool conditional = false, sinceAsked = false;
    for (std::size_t i = requestsAfterFirst; i < requests.size(); ++i) {
      conditional |= requests[i].target == "/news.rss" &&
                     requests[i].headerLines.find("If-None-Match: \"r1\"\r\n") != std::string::npos;
      sinceAsked |= requests[i].target == "/desk.atom" &&
                    requests[i].headerLines.find("If-Modified-Since: Tue, 08 Dec 2026 05:00:00 GMT\r\n") !=
                        std::string::npos;
    }
    EXPECT_TRUE(conditional);
    EXPECT_TRUE(sinceAsked);
    EXPECT_EQ(CountEvents("84\t"), 2);  // the missing feed again, and nothing else
  }

  // The first item's mail is refused: it is mailed on the next run, and the
  // feed's validators are kept only once everything went out.
  void RefusedItemIsMailedOnTheNextRun(const FeedSiteFactory& makeSite) {
    auto site = makeSite([](const HttpsRequest& request) {
      if (request.headerLines.find("If-None-Match: \"r1\"\r\n") != std::string::npos) return HttpsAnswer{304, "", ""};
      return HttpsAnswer{200, "ETag: \"r1\"\r\n", RssDocument()};
    });
    Pop3Peer pop({});
    std::atomic<int> data{0};
    SmtpPeerOptions options;
    options.override = [&data](std::string_view command) -> std::optional<PeerReply> {
      if (command.starts_with("DATA") && data++ == 0) return PeerReply{{"554 refused\r\n"}};
      return std::nullopt;
    };
    SmtpPeer smtp(options);
    Use(pop);
    Use(smtp);
    SetAccountNumber(schema::kEnableFeeds, 1);
    SetFeed("news", site->Url("/news.rss"), "");

    EXPECT_EQ(Run(), kRunDone);
    auto mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 1U);
    EXPECT_EQ(HeaderField(mails[0].data, "Subject"), "=?UTF-8?Q?Gr=C3=BCne_Welle?=");

    Age(60 * 60);
    EXPECT_EQ(Run(), kRunDone);
    mails = smtp.Mails();
    ASSERT_EQ(mails.size(), 2U);
    EXPECT_EQ(HeaderField(mails[1].data, "Subject"), "Ship & crew");

    Age(60 * 60);
    EXPECT_EQ(Run(), kRunDone);
    EXPECT_EQ(smtp.Mails().size(), 2U);
    EXPECT_NE(site->Requests().back().headerLines.find("If-None-Match: \"r1\"\r\n"), std::string::npos);
  }
};

}  // namespace ferry::test
