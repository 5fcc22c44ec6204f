// The feed stage in whole account runs against a plain HTTP site on loopback,
// on every system: answers with a length and chunked answers, and a refused
// item mailed on the next run.
#include <memory>

#include "tests/feeds/feed_run_fixture.h"

namespace ferry::test {
namespace {

std::unique_ptr<FeedSite> PlainSite(HttpsScript script) { return std::make_unique<PlainFeedSite>(std::move(script)); }

class FeedRunOverHttp : public FeedRunTest, public ::testing::WithParamInterface<AnswerShape> {};

TEST_P(FeedRunOverHttp, ThreeRunsMailEachItemOnceInFeedOrder) { ThreeRunsMailEachItemOnce(PlainSite, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Answers, FeedRunOverHttp,
                         ::testing::Values(AnswerShape{"WithLength"}, AnswerShape{"Chunked", true}),
                         [](const ::testing::TestParamInfo<AnswerShape>& shape) { return std::string(shape.param.name); });

TEST_F(FeedRunTest, OverHttpRefusedItemIsMailedOnTheNextRun) { RefusedItemIsMailedOnTheNextRun(PlainSite); }

}  // namespace
}  // namespace ferry::test
