// The envelope sender and recipient from a message's header block, for every
// address mode: a rule either yields an address or raises one of its error
// codes, and the envelope path built from it never carries a line end or other
// control character into an SMTP command.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/transfer/address_rules.h"
#include "service/transfer/transfer_error.h"

using namespace ferry;

namespace {

bool Clean(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t') || u == 0x7F) return false;
  }
  return true;
}

void CheckCode(int code) {
  FUZZ_CHECK(code == kErrorMalformedHeader || code == kErrorNoConnection || code == kErrorNoAtSign);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  AddressSettings settings;
  settings.addressmode = data[0] & 7U;
  settings.addressmodeFrom = data[1] % 6U;
  settings.smtpFrom = "gateway@office.example";
  settings.smtpTo = "postmaster@office.example";
  settings.tickerEMail = "ticker@office.example";
  std::string_view text = fuzz::AsText(data + 2, size - 2);
  std::string_view block = HeaderBlockOf(text);
  FUZZ_CHECK(text.starts_with(block));

  try {
    std::string sender = SenderByRule(block, settings);
    std::string path = EnvelopeAddress(sender);
    FUZZ_CHECK(Clean(path));
    FUZZ_CHECK(path.size() <= sender.size());
  } catch (const TransferError& error) {
    CheckCode(error.code);
  }
  try {
    std::string recipient = RecipientByRule(block, settings);
    FUZZ_CHECK(Clean(recipient));
    FUZZ_CHECK(Clean(EnvelopeAddress(recipient)));
  } catch (const TransferError& error) {
    CheckCode(error.code);
  }
  return 0;
}
