// The feed stage in whole account runs over HTTPS through WinHTTP: the plain
// loopback site reached through the HTTPS relay (test CA) that the Windows
// stage starts on the Linux side (FERRY_HTTPS_RELAY_PORT, and the CA file in
// FERRY_HTTPS_RELAY_CA).
#include <cstdlib>
#include <memory>

#include "tests/feeds/feed_run_fixture.h"

namespace ferry::test {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

class RelayedFeedSite : public FeedSite {
 public:
  RelayedFeedSite(const std::string& relayPort, HttpsScript script)
      : relayPort_(relayPort), site_(std::move(script)) {}
  std::string Url(const std::string& path) const override {
    return "https://localhost:" + relayPort_ + "/to/" + site_.HostPort() + path;
  }
  std::vector<HttpsRequest> Requests() const override { return site_.Requests(); }

 private:
  std::string relayPort_;
  PlainFeedSite site_;
};

class FeedRunOverHttpsRelay : public FeedRunTest, public ::testing::WithParamInterface<AnswerShape> {
 protected:
  void SetUp() override {
    FeedRunTest::SetUp();
    if (Environment("FERRY_HTTPS_RELAY_PORT").empty()) GTEST_SKIP() << "no HTTPS relay (scripts/test-windows starts one)";
    settings.tlsCaFile = Environment("FERRY_HTTPS_RELAY_CA");
  }
  static std::unique_ptr<FeedSite> Site(HttpsScript script) {
    return std::make_unique<RelayedFeedSite>(Environment("FERRY_HTTPS_RELAY_PORT"), std::move(script));
  }
};

TEST_P(FeedRunOverHttpsRelay, ThreeRunsMailEachItemOnceInFeedOrder) { ThreeRunsMailEachItemOnce(Site, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Answers, FeedRunOverHttpsRelay,
                         ::testing::Values(AnswerShape{"WithLength"}, AnswerShape{"Chunked", true}),
                         [](const ::testing::TestParamInfo<AnswerShape>& shape) { return std::string(shape.param.name); });

}  // namespace
}  // namespace ferry::test
