#include "service/transfer/transfer_report.h"

#include "platform/socket.h"
#include "service/transfer/reply_framing.h"
#include "service/transfer/run_context.h"
#include "service/transfer/run_failure.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

std::string TransferErrorText(int socketError) {
  switch (socketError) {
    case 0:
      return {};
    case net::kErrorInvalidArgument:
      return "Timeout";
    case net::kErrorMessageSize:
      return "Message truncate";
    default:
      return "Errornumber is " + std::to_string(socketError) + ": " + SocketErrorWords(socketError);
  }
}

void ReportTransferError(RunContext& context, long result) {
  if (result > 0) return;
  std::string text = TransferErrorText(net::LastSocketError());
  if (text.empty()) return;
  if (context.settings.debugLevel >= 4) context.Event(kEventTransferError, text);
}

TransferReport ReportFor(RunContext& context) {
  return [&context](long result) { ReportTransferError(context, result); };
}

int CheckSmtpReply(RunContext& context, std::string_view reply) {
  int code = SmtpReplyCode(reply);
  if (code == 250 || code == 251 || code == 354) return -1;
  context.LogNumber(4, "ERROR: Protokol returned:%d !", code);
  NoteFailure(context, "SMTP", "the SMTP server answered: " + ReplyForEvent(reply));
  Raise(kErrorRejected);
}

}  // namespace ferry
