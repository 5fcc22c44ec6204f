// Recipient selection for a shared mailbox: which To/Cc addresses become
// recipients under each recipient mode, in order and once each.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "service/transfer/address_list.h"
#include "service/transfer/local_recipients.h"

namespace ferry {
namespace {

using List = std::vector<std::string>;

struct RecipientCase {
  const char* name;
  std::string to, cc;  // header values
  std::string localDomains;
  uint32_t mode;
  List expected;
  std::string smtpTo = "postmaster@office.example";
};
void PrintTo(const RecipientCase& c, std::ostream* os) { *os << c.name; }

class LocalRecipientsTest : public ::testing::TestWithParam<RecipientCase> {};

TEST_P(LocalRecipientsTest, TakesEveryLocalAddressOnce) {
  const RecipientCase& c = GetParam();
  List addresses = ReadAddressList(c.to);
  for (std::string& address : ReadAddressList(c.cc)) addresses.push_back(address);
  EXPECT_EQ(LocalRecipients(addresses, ParseLocalDomains(c.localDomains), c.mode, c.smtpTo), c.expected);
}

const std::string kMixedTo = " Anna <anna@firma.de>, bert@FIRMA.com; \"Partner\" <info@partner.example>";
const std::string kMixedCc = " carla@firma.de, Anna@Firma.de, (again) <bert@firma.com>";

INSTANTIATE_TEST_SUITE_P(
    Modes, LocalRecipientsTest,
    ::testing::Values(
        RecipientCase{"AsFoundSkipsPartnerAndRepeats", kMixedTo, kMixedCc, "firma.de firma.com", 1,
                      {"anna@firma.de", "bert@FIRMA.com", "carla@firma.de"}},
        RecipientCase{"LocalPartOntoSmtpToDomain", kMixedTo, kMixedCc, "firma.de,firma.com", 2,
                      {"anna@office.example", "bert@office.example", "carla@office.example"}},
        RecipientCase{"SameLocalPartInTwoDomainsIsOne", " info@firma.de", " info@firma.com", "firma.de; firma.com", 3,
                      {"info@office.example"}},
        RecipientCase{"PartnerInfoNeverMapped", " info@partner.example", "", "firma.de", 3, {}},
        RecipientCase{"OnlyListedDomainsNotSubdomains", " a@sub.firma.de, b@firma.de.evil.example, c@firma.de", "",
                      "firma.de", 1, {"c@firma.de"}},
        RecipientCase{"CcOnly", " undisclosed-recipients:;", " team: x@firma.de, y@firma.de;", "firma.de", 1,
                      {"x@firma.de", "y@firma.de"}},
        RecipientCase{"QuotedLocalPartKept", " \"john doe\"@firma.de", "", "firma.de", 2,
                      {"\"john doe\"@office.example"}},
        RecipientCase{"ModeFromTheTwoLowestBits", " a@firma.de", "", "firma.de", 7, {"a@office.example"}},
        RecipientCase{"FixedModeYieldsNothing", " a@firma.de", "", "firma.de", 4, {}},
        RecipientCase{"EmptyListYieldsNothing", " a@firma.de", "", " ,; ", 1, {}},
        RecipientCase{"SmtpToBracketed", " a@firma.de", "", "firma.de", 2, {"a@office.example"},
                      "Post <postmaster@office.example>"},
        RecipientCase{"SmtpToWithoutDomain", " a@firma.de", "", "firma.de", 2, {}, "postmaster"},
        RecipientCase{"MappedAddressTooLong", " " + std::string(64, 'l') + "@firma.de", "", "firma.de", 2, {},
                      "p@" + std::string(63, 'd') + "." + std::string(63, 'd') + "." + std::string(63, 'd') +
                          ".example"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace ferry
