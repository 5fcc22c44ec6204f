// The envelope sender and recipient of one message for an account run: the
// address rules with the run's settings, the fall-back to the account's own
// addresses, and their log lines.
#pragma once

#include <string>
#include <string_view>

#include "service/transfer/address_rules.h"

namespace ferry {

class RunContext;

AddressSettings AddressSettingsOf(const RunContext& context);

// Never raise: a rule that fails gives "SMTP From" / "SMTP To".
std::string ComputeSender(RunContext& context, std::string_view headerBlock);
std::string ComputeRecipient(RunContext& context, std::string_view headerBlock);

}  // namespace ferry
