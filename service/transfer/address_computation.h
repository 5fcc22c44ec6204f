// The envelope sender and recipient of one message for an account run: the
// address rules with the run's settings, the fall-back to the account's own
// addresses, and their log lines.
#pragma once

#include <string>
#include <string_view>

#include "service/transfer/address_rules.h"

namespace ferry {

class AccountContext;

AddressSettings AddressSettingsOf(const AccountContext& context);

// Never raise: a rule that fails gives "SMTP From" / "SMTP To".
std::string ComputeSender(AccountContext& context, std::string_view headerBlock);
std::string ComputeRecipient(AccountContext& context, std::string_view headerBlock);

}  // namespace ferry
