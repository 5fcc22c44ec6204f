// The envelope sender and recipient of one message for an account run: the
// address rules with the run's settings, the fall-back to the account's own
// addresses, and their log lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/transfer/address_rules.h"

namespace ferry {

class RunContext;

AddressSettings AddressSettingsOf(const RunContext& context);

// Bare addresses (empty: the null sender). Never raise: a rule that fails
// gives "SMTP From" / "SMTP To".
std::string ComputeSender(RunContext& context, std::string_view headerBlock);
std::string ComputeRecipient(RunContext& context, std::string_view headerBlock);

// Every recipient of a message. Without "Local Domains" (or in recipient mode
// 0, or while a ticker stage sends) the one of ComputeRecipient. With it, the
// addresses of the account's "Envelope Header" when the message has that
// header, else those of "To:" then "Cc:", each in a local domain, formed by the
// recipient mode (LocalRecipients); "SMTP To" when none is local.
std::vector<std::string> ComputeRecipients(RunContext& context, std::string_view headerBlock);

}  // namespace ferry
