#include "service/transfer/address_computation.h"

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
    return context.settings.smtpFrom;
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
    return context.settings.smtpTo;
  }
}

}  // namespace ferry
