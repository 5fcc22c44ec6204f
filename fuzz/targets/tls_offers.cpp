// The readers of what a server offers for TLS and login (CAPA, EHLO) and the
// base64 of the SMTP login: any bytes are read; an offer is only ever found on
// a line of its own after the first; base64 output has the length and
// alphabet of RFC 4648; a STARTTLS and an AUTH line added to any reply are found.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/transfer/capability_lines.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);

  SmtpOffers offers = ParseSmtpOffers(input);
  if (input.find('\n') == std::string_view::npos) FUZZ_CHECK(offers == SmtpOffers{});
  if (Pop3OffersStls(input)) FUZZ_CHECK(input.starts_with("+OK"));

  std::string encoded = Base64(input);
  FUZZ_CHECK(encoded.size() == (input.size() + 2) / 3 * 4);
  for (char c : encoded) {
    FUZZ_CHECK((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
               c == '=');
  }

  // The input as keyword lines of its own (line ends made blanks) between a
  // greeting line and the offers.
  std::string other(input);
  for (char& c : other) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  std::string reply = "250-peer.test\r\n250-" + other + "\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n";
  SmtpOffers announced = ParseSmtpOffers(reply);
  FUZZ_CHECK(announced.startTls && announced.authLogin);
  FUZZ_CHECK(Pop3OffersStls("+OK\r\nX-" + other + "\r\nSTLS\r\n.\r\n"));
  return 0;
}
