// The HTTP client of the platform seam against an HTTPS server on loopback:
// what a request carries, which certificates are refused before anything is
// sent, and the bounds on redirects and body size.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/http_client.h"
#include "tests/peers/https_peer.h"

namespace ferry::test {
namespace {

class HttpClientTest : public ::testing::Test {
 protected:
  static net::HttpRequest Request(const std::string& url) {
    net::HttpRequest request;
    request.url = url;
    request.caFile = SharedTestPki().CaFile();
    request.timeoutMs = 5000;
    return request;
  }
};
TEST_F(HttpClientTest, PostsFormAndReadsStatusHeadersBody) {
  HttpsPeer peer(SharedTestPki(), [](const HttpsRequest&) {
    return HttpsAnswer{400, "ETag: \"v1\"\r\nX-Empty:\r\n", "{\"error\":\"invalid_grant\"}"};
  });
  net::HttpRequest request = Request(peer.Url("/token?x=1"));
  request.method = "POST";
  request.headers = {{"If-None-Match", "\"v0\""}};
  request.body = net::FormEncode({{"grant_type", "refresh_token"}, {"refresh_token", "a b&c=d/é"}});
  net::HttpResponse response;
  std::string error;
  ASSERT_TRUE(net::HttpExchange(request, &response, &error)) << error;
  EXPECT_EQ(response.status, 400);
  EXPECT_EQ(response.body, "{\"error\":\"invalid_grant\"}");
  EXPECT_EQ(net::HeaderValue(response, "etag"), "\"v1\"");
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/token?x=1");
  EXPECT_EQ(requests[0].body, "grant_type=refresh_token&refresh_token=a%20b%26c%3Dd%2F%C3%A9");
  EXPECT_NE(requests[0].headerLines.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_NE(requests[0].headerLines.find("If-None-Match: \"v0\"\r\n"), std::string::npos);
}

struct RefusedCase {
  const char* name;
  TestCertificate certificate;
  bool giveCaFile;
};
void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class HttpRefusedTest : public HttpClientTest, public ::testing::WithParamInterface<RefusedCase> {};

// A server whose certificate fails a check never sees the request: the
// secret in its body stays on this side.
TEST_P(HttpRefusedTest, NothingIsSentToAServerThatFailsTheCheck) {
  HttpsPeer peer(SharedTestPki(), [](const HttpsRequest&) { return HttpsAnswer{200, "", "{}"}; }, GetParam().certificate);
  net::HttpRequest request = Request(peer.Url("/token"));
  if (!GetParam().giveCaFile) request.caFile.clear();
  request.method = "POST";
  request.body = "client_secret=s3cret";
  net::HttpResponse response;
  std::string error;
  EXPECT_FALSE(net::HttpExchange(request, &response, &error));
  EXPECT_FALSE(error.empty());
  peer.Stop();
  EXPECT_TRUE(peer.Requests().empty());
}

INSTANTIATE_TEST_SUITE_P(Certificates, HttpRefusedTest,
                         ::testing::Values(RefusedCase{"Expired", TestCertificate::Expired, true},
                                           RefusedCase{"OtherHost", TestCertificate::OtherHost, true},
                                           RefusedCase{"UnknownCa", TestCertificate::UnknownCa, true},
                                           RefusedCase{"SelfSigned", TestCertificate::SelfSigned, true},
                                           RefusedCase{"TestCaNotGiven", TestCertificate::Good, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(HttpClientTest, FollowsRedirectsOnlyAsFarAsAllowed) {
  HttpsPeer peer(SharedTestPki(), [](const HttpsRequest& request) {
    if (request.target == "/loop") return HttpsAnswer{302, "Location: /loop\r\n", ""};
    if (request.target == "/moved") return HttpsAnswer{301, "Location: /feed\r\n", ""};
    return HttpsAnswer{200, "", "the feed"};
  });
  net::HttpResponse response;
  std::string error;
  ASSERT_TRUE(net::HttpExchange(Request(peer.Url("/moved")), &response, &error)) << error;
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "the feed");
  EXPECT_EQ(response.finalUrl, peer.Url("/feed"));

  net::HttpRequest loop = Request(peer.Url("/loop"));
  loop.maxRedirects = 3;
  EXPECT_FALSE(net::HttpExchange(loop, &response, &error));
  EXPECT_EQ(peer.Requests().size(), 2u + 4u);
}

TEST_F(HttpClientTest, ABodyOverTheLimitIsAnError) {
  HttpsPeer peer(SharedTestPki(), [](const HttpsRequest&) { return HttpsAnswer{200, "", std::string(70000, 'x')}; });
  net::HttpRequest request = Request(peer.Url("/big"));
  request.maxBodyBytes = 65536;
  net::HttpResponse response;
  std::string error;
  EXPECT_FALSE(net::HttpExchange(request, &response, &error));
  EXPECT_NE(error.find("65536"), std::string::npos) << error;
  request.maxBodyBytes = 70000;
  ASSERT_TRUE(net::HttpExchange(request, &response, &error)) << error;
  EXPECT_EQ(response.body.size(), 70000u);
}

}  // namespace
}  // namespace ferry::test
