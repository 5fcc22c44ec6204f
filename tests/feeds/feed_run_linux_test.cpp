// The feed stage in whole account runs against an HTTPS site on loopback
// (test CA): answers with a length, chunked, gzip-encoded and both (the
// Windows client asks for no compression), and a refused item mailed on the
// next run.
#include <zlib.h>

#include <memory>

#include "tests/feeds/feed_run_fixture.h"
#include "tests/peers/https_peer.h"

namespace ferry::test {
namespace {

// `body` in the gzip format, compressed for real.
std::string Gzip(const std::string& body) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, body.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

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
                         ::testing::Values(AnswerShape{"WithLength"}, AnswerShape{"Chunked", true},
                                           AnswerShape{"Gzip", false, Gzip}, AnswerShape{"GzipChunked", true, Gzip}),
                         [](const ::testing::TestParamInfo<AnswerShape>& shape) { return std::string(shape.param.name); });

TEST_F(FeedRunOverHttpsTest, RefusedItemIsMailedOnTheNextRun) { RefusedItemIsMailedOnTheNextRun(Site); }

}  // namespace
}  // namespace ferry::test
