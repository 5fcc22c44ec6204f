// The pure parts of the sign-in: reading token and device answers, the SASL
// initial responses, the PKCE challenge and the access-token cache rule.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "service/oauth/access_token.h"
#include "service/oauth/pkce.h"
#include "service/oauth/sasl_bearer.h"
#include "service/oauth/token_response.h"

namespace ferry::oauth {
namespace {

struct TokenCase {
  const char* name;
  std::string json;
  bool usable;
  const char* accessToken;
  const char* refreshToken;
  int64_t expiresIn;
  const char* error;
};
void PrintTo(const TokenCase& c, std::ostream* out) { *out << c.name; }

class TokenResponseTest : public ::testing::TestWithParam<TokenCase> {};

TEST_P(TokenResponseTest, Reads) {
  const TokenCase& c = GetParam();
  auto token = ReadTokenResponse(c.json);
  ASSERT_EQ(token.has_value(), c.usable);
  if (!token) return;
  EXPECT_EQ(token->accessToken, c.accessToken);
  EXPECT_EQ(token->refreshToken, c.refreshToken);
  EXPECT_EQ(token->expiresIn, c.expiresIn);
  EXPECT_EQ(token->error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, TokenResponseTest,
    ::testing::Values(
        TokenCase{"full", R"({"access_token":"at.1","token_type":"Bearer","expires_in":3599,"refresh_token":"rt.2",
                   "scope":"a b","ext_expires_in":3599,"id_token":null,"extra":{"nested":[1,2,{"x":"y"}]}})",
                  true, "at.1", "rt.2", 3599, ""},
        TokenCase{"quoted_expiry_lowercase_type", R"( {"token_type":"bearer","expires_in":"60","access_token":"a"} )",
                  true, "a", "", 60, ""},
        TokenCase{"escapes", R"({"access_token":"a\/b\u00e9\ud83d\ude00\"","token_type":"Bearer"})", true,
                  "a/b\xC3\xA9\xF0\x9F\x98\x80\"", "", 0, ""},
        TokenCase{"error", R"({"error":"invalid_grant","error_description":"AADSTS70008: expired"})", true, "", "", 0,
                  "invalid_grant"},
        TokenCase{"not_bearer", R"({"access_token":"a","token_type":"mac"})", false, "", "", 0, ""},
        TokenCase{"no_token", R"({"token_type":"Bearer"})", false, "", "", 0, ""},
        TokenCase{"duplicate_member", R"({"access_token":"a","access_token":"b","token_type":"Bearer"})", false, "",
                  "", 0, ""},
        TokenCase{"trailing_bytes", R"({"access_token":"a","token_type":"Bearer"}x)", false, "", "", 0, ""},
        TokenCase{"unterminated", R"({"access_token":"a)", false, "", "", 0, ""},
        TokenCase{"lone_surrogate", R"({"access_token":"\udc00","token_type":"Bearer"})", false, "", "", 0, ""},
        TokenCase{"control_in_string", "{\"access_token\":\"a\nb\",\"token_type\":\"Bearer\"}", false, "", "", 0, ""},
        TokenCase{"array_on_top", R"([{"access_token":"a","token_type":"Bearer"}])", false, "", "", 0, ""},
        TokenCase{"too_deep", R"({"x":)" + std::string(40, '[') + std::string(40, ']') + "}", false, "", "", 0, ""},
        TokenCase{"html_error_page", "<html>502 Bad Gateway</html>", false, "", "", 0, ""}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(DeviceAuthorizationTest, NeedsCodesUriAndLifetime) {
  auto device = ReadDeviceAuthorization(
      R"({"device_code":"dc","user_code":"WDJB-MJHT","verification_url":"https://example.test/device","expires_in":900})");
  ASSERT_TRUE(device);
  EXPECT_EQ(device->verificationUri, "https://example.test/device");
  EXPECT_EQ(device->interval, 5);
  EXPECT_FALSE(ReadDeviceAuthorization(R"({"device_code":"dc","user_code":"U","verification_uri":"v"})"));
  EXPECT_FALSE(ReadDeviceAuthorization(R"({"user_code":"U","verification_uri":"v","expires_in":9})"));
}

TEST(SaslBearerTest, InitialResponsesDecodeToTheMechanismsLayout) {
  std::string text;
  ASSERT_TRUE(Base64Decode(Xoauth2InitialResponse("office@example.test", "ya29.tok"), &text));
  EXPECT_EQ(text, "user=office@example.test\x01" "auth=Bearer ya29.tok\x01\x01");
  ASSERT_TRUE(Base64Decode(OauthBearerInitialResponse("a=b,c@example.test", "pop.example.test", 995, "tok"), &text));
  EXPECT_EQ(text, "n,a=a=3Db=2Cc@example.test,\x01" "host=pop.example.test\x01" "port=995\x01" "auth=Bearer tok\x01\x01");
  EXPECT_EQ(ChallengeStatus("eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NoZW1lcyI6ImJlYXJlciJ9"), "invalid_token");
  EXPECT_EQ(ChallengeStatus("not base64!"), "");
}

TEST(PkceTest, ChallengeOfTheKnownVerifierAndFreshPairs) {
  // The worked example of RFC 7636, appendix B.
  EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"), "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
  PkcePair first;
  PkcePair second;
  ASSERT_TRUE(NewPkcePair(&first));
  ASSERT_TRUE(NewPkcePair(&second));
  EXPECT_EQ(first.verifier.size(), 43u);
  EXPECT_NE(first.verifier, second.verifier);
  EXPECT_EQ(first.challenge, PkceChallenge(first.verifier));
}

TEST(AccessTokenCacheTest, ACachedTokenIsNotUsedInItsLastMinutes) {
  StoredTokens stored{"rt", "at", 10000};
  EXPECT_TRUE(CachedTokenGood(stored, 10000 - kExpiryMargin - 1));
  EXPECT_FALSE(CachedTokenGood(stored, 10000 - kExpiryMargin));
  EXPECT_FALSE(CachedTokenGood(StoredTokens{"rt", "", 10000}, 0));
  EXPECT_FALSE(CachedTokenGood(StoredTokens{"rt", "at", 0}, 0));
}

}  // namespace
}  // namespace ferry::oauth
