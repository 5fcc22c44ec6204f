// FetchPage against the scripted HTTP peer: the request bytes, responses at
// the limit, a slow site cut at the page's deadline, and a site that refuses.
#include <gtest/gtest.h>

#include "service/tickers/page_fetch.h"
#include "service/tickers/ticker_texts.h"
#include "tests/tickers/ticker_fixture.h"

namespace ferry::test {
namespace {

class PageFetchTest : public TickerTest {
 protected:
  std::string Fetch(const HttpPeer& peer, const PageRequest& request, TickerStageState& state) {
    UseCt(peer);
    auto context = Context();
    return FetchPage(*context, CtSite(), request, state);
  }
};

PageRequest Request(std::string text, std::size_t limit) {
  PageRequest request;
  request.text = std::move(text);
  request.limit = limit;
  return request;
}

TEST_F(PageFetchTest, SendsTheRequestAndReadsUntilTheServerCloses) {
  const std::string page = HttpPage("<HTML>" + std::string(5000, 'x') + "</HTML>");
  HttpPeer peer([&](const std::string&) { return HttpAnswer{page}; });
  TickerStageState state;
  std::string response = Fetch(peer, Request(ItemPageRequest("/a?b=1", "h"), kCtItemLimit), state);
  EXPECT_EQ(response, page);
  EXPECT_FALSE(state.failed);
  EXPECT_EQ(peer.Transcript(), ItemPageRequest("/a?b=1", "h"));
}

TEST_F(PageFetchTest, ResponsesAtTheLimit) {
  struct Case {
    const char* name;
    std::size_t sent;
  } cases[] = {{"exactly the limit", kCtItemLimit}, {"past the limit", kCtItemLimit + 3000}};
  for (const Case& c : cases) {
    std::string bytes(c.sent, 'b');
    for (std::size_t i = 0; i < bytes.size(); i += 97) bytes[i] = static_cast<char>('0' + i % 10);
    HttpPeer peer([&](const std::string&) { return HttpAnswer{bytes}; });
    TickerStageState state;
    std::string response = Fetch(peer, Request(ItemPageRequest("/", "h"), kCtItemLimit), state);
    EXPECT_EQ(response, bytes.substr(0, kCtItemLimit)) << c.name;
  }
}

// A site that sends one byte at a time never holds the stage longer than the
// page's deadline: what arrived by then is the response.
TEST_F(PageFetchTest, SlowSiteEndsAtThePageDeadline) {
  receiveTimeout = kShortReceiveTimeout;
  const std::string page = HttpPage("<HTML>" + std::string(40, 's') + "</HTML>");
  HttpPeer peer([&](const std::string&) {
    HttpAnswer answer{page};
    answer.dripMs = 40;  // about 3 s for the page, the deadline is 0.4 s
    return answer;
  });
  TickerStageState state;
  std::string response = Fetch(peer, Request(ItemPageRequest("/slow", "h"), kCtItemLimit), state);
  EXPECT_FALSE(state.failed);
  EXPECT_LT(response.size(), page.size() / 2);
  EXPECT_TRUE(page.starts_with(response));
}

TEST_F(PageFetchTest, RefusedConnectLogsTwoLinesAndFailsTheStage) {
  RefuseCt();
  auto context = Context();
  TickerStageState state;
  EXPECT_EQ(FetchPage(*context, CtSite(), Request(ItemPageRequest("/", "h"), 100), state), "");
  EXPECT_TRUE(state.failed);
  context.reset();
  std::string log = Log();
  EXPECT_NE(log.find(" : Connecting to www.heise.de"), std::string::npos);
  EXPECT_NE(log.find(" : unable to connect to www.heise.de"), std::string::npos);
  EXPECT_NE(log.find(" : Error code is 10061"), std::string::npos);
}

}  // namespace
}  // namespace ferry::test
