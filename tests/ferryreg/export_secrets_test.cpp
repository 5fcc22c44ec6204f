// The credentials the service keeps stay out of an export unless /secrets
// asks for them, and importing such a file leaves the stored ones alone.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/registry.h"
#include "schema/registry_schema.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"
#include "tools/ferryreg/commands.h"

namespace ferry::regtool {
namespace {

class ExportSecretsTest : public test::TempHiveTest {
 protected:
  static int Ferryreg(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    return RunFerryReg(args, in, out, err);
  }
};

TEST_F(ExportSecretsTest, ExportLeavesOutTheOAuthSecretsUnlessAsked) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  test::PutString(account, schema::kOAuthRefreshToken, "refresh-secret");
  test::PutString(account, schema::kOAuthAccessToken, "access-secret");
  test::PutString(account, schema::kOAuthClientSecret, "client-secret");
  test::PutString(account, schema::kOAuthClientId, "client-id");
  test::PutString("SYSTEM\\Elsewhere", schema::kOAuthRefreshToken, "not-ours");
  const std::string masked = (Folder() / "masked.reg").string();
  ASSERT_EQ(Ferryreg({"export", "HKLM\\SYSTEM", masked}), kExitOk);
  const std::string text = test::ReadFile(masked);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_NE(text.find("client-id"), std::string::npos);
  EXPECT_NE(text.find("not-ours"), std::string::npos);

  const std::string whole = (Folder() / "whole.reg").string();
  ASSERT_EQ(Ferryreg({"export", "HKLM\\SYSTEM", whole, "/secrets"}), kExitOk);
  EXPECT_NE(test::ReadFile(whole).find("refresh-secret"), std::string::npos);

  test::PutString(account, schema::kOAuthRefreshToken, "rotated");
  ASSERT_EQ(Ferryreg({"import", masked}), kExitOk);
  EXPECT_EQ(test::GetValue(reg::LocalMachine(), account, schema::kOAuthRefreshToken).bytes, "rotated");
}

}  // namespace
}  // namespace ferry::regtool
