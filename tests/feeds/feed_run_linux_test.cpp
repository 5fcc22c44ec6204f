// The feed stage in whole account runs against an HTTPS site on loopback
// (test CA): answers with a length and chunked, and a refused item mailed on
// the next run.
#include <memory>

#include "tests/feeds/feed_run_fixture.h"
#include "tests/peers/https_peer.h"

namespace ferry::test {
namespace {

class HttpsFeedSite : public FeedSite {
 public:
  HttpsFeedSite(const TestPki& pki, HttpsScript script) : peer_(pki, std::move(script)) {}
  std::string Url(const std::string& path) const override { return peer_.Url(path); }
  std::vector<HttpsRequest> Requests() const override { return peer_.Requests(); }

 private:
  HttpsPeer peer_;
};

class FeedRunOverHttpsTest : public FeedRunTest {
 protected:
  static void SetUpTestSuite() { pki_ = new TestPki(); }
  static void TearDownTestSuite() {
    delete pki_;
    pki_ = nullptr;
  }
  void SetUp() override {
    FeedRunTest::SetUp();
    settings.tlsCaFile = pki_->CaFile();
  }
  static std::unique_ptr<FeedSite> Site(HttpsScript script) {
    return std::make_unique<HttpsFeedSite>(*pki_, std::move(script));
  }

  static TestPki* pki_;
};
TestPki* FeedRunOverHttpsTest::pki_ = nullptr;

class FeedRunOverHttps : public FeedRunOverHttpsTest, public ::testing::WithParamInterface<AnswerShape> {};

TEST_P(FeedRunOverHttps, ThreeRunsMailEachItemOnceInFeedOrder) { ThreeRunsMailEachItemOnce(Site, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Answers, FeedRunOverHttps,
                         ::testing::Values(AnswerShape{"WithLength"}, AnswerShape{"Chunked", true}),
                         [](const ::testing::TestParamInfo<AnswerShape>& shape) { return std::string(shape.param.name); });

TEST_F(FeedRunOverHttpsTest, RefusedItemIsMailedOnTheNextRun) { RefusedItemIsMailedOnTheNextRun(Site); }

}  // namespace
}  // namespace ferry::test
