#include "service/transfer/address_computation.h"

#include <optional>

#include "service/transfer/address_list.h"
#include "service/transfer/local_recipients.h"
#include "service/transfer/run_context.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

AddressSettings AddressSettingsOf(const RunContext& context) {
  AddressSettings s;
  s.addressmode = context.settings.addressmode;
  s.addressmodeFrom = context.settings.addressmodeFrom;
  s.smtpFrom = context.settings.smtpFrom;
  s.smtpTo = context.settings.smtpTo;
  s.tickerEMail = context.settings.tickerEMail;
  s.runStage = context.runStage;
  return s;
}

std::string ComputeSender(RunContext& context, std::string_view headerBlock) {
  // The recipient mode is what this line has always shown.
  context.LogNumber(4, "---------Start From address computing:%d----------\n",
                    static_cast<int32_t>(context.settings.addressmode & 3U));
  try {
    std::string sender = SenderByRule(headerBlock, AddressSettingsOf(context));
    context.LogString(9, "2:%s\n", sender);
    return sender;
  } catch (const TransferError& error) {
    context.LogNumber(9, "1:%d\n", error.code);
    if (context.settings.debugLevel >= 7) context.Event(kEventAddressReplaced, "Address replaced");
    context.LogText(7, "From Address replaced\n");
    return EnvelopeAddress(context.settings.smtpFrom);
  }
}

std::string ComputeRecipient(RunContext& context, std::string_view headerBlock) {
  context.LogNumber(4, "---------Start Emailaddress computing:%d----------\n",
                    static_cast<int32_t>(context.settings.addressmode & 3U));
  try {
    std::string recipient = RecipientByRule(headerBlock, AddressSettingsOf(context));
    context.LogString(8, "Email: %s\n", recipient);
    return recipient;
  } catch (const TransferError& error) {
    context.LogNumber(9, "-:%d\n", error.code);
    if (context.settings.debugLevel >= 7) context.Event(kEventAddressReplaced, "Address replaced");
    context.LogText(7, "Emailaddress replaced\n");
    return EnvelopeAddress(context.settings.smtpTo);
  }
}

std::vector<std::string> ComputeRecipients(RunContext& context, std::string_view headerBlock) {
  const AccountSettings& s = context.settings;
  std::vector<std::string> domains = ParseLocalDomains(s.localDomains);
  if ((s.addressmode & 3U) == 0 || domains.empty() || context.runStage == 2) {
    return {ComputeRecipient(context, headerBlock)};
  }
  std::vector<std::string> addresses;
  std::optional<std::string_view> named;
  if (!s.envelopeHeader.empty()) named = FoldedHeaderValue(headerBlock, s.envelopeHeader);
  if (named) {
    addresses = ReadAddressList(*named);
  } else {
    for (std::string_view name : {"to", "cc"}) {
      if (std::optional<std::string_view> value = FoldedHeaderValue(headerBlock, name)) {
        std::vector<std::string> more = ReadAddressList(*value);
        addresses.insert(addresses.end(), more.begin(), more.end());
      }
    }
  }
  std::vector<std::string> recipients = LocalRecipients(addresses, domains, s.addressmode, s.smtpTo);
  for (const std::string& recipient : recipients) context.LogString(8, "Email: %s\n", recipient);
  if (recipients.empty()) {
    context.LogText(7, "No local recipient: Emailaddress replaced\n");
    recipients.push_back(EnvelopeAddress(s.smtpTo));
  }
  return recipients;
}

}  // namespace ferry
