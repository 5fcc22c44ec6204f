// Reading what a server offers for TLS and login: the POP3 CAPA listing and
// the SMTP EHLO reply; and the base64 of the SMTP login. Pure: text in,
// verdict out; any bytes are accepted.
#pragma once

#include <string>
#include <string_view>

namespace ferry {

// Whether a whole CAPA reply ("+OK", capability lines, ".") is positive and
// names STLS (a line whose first word is STLS, in any case).
bool Pop3OffersStls(std::string_view capa);

// What an EHLO reply announces of TLS and login (keywords in any case; the
// mechanisms are the words after "AUTH", and after the old "AUTH=").
struct SmtpOffers {
  bool startTls = false;
  bool authPlain = false;
  bool authLogin = false;
  bool authXoauth2 = false;
  bool authOauthBearer = false;
  bool operator==(const SmtpOffers&) const = default;
};
SmtpOffers ParseSmtpOffers(std::string_view ehlo);

// RFC 4648 base64 with padding.
std::string Base64(std::string_view bytes);

}  // namespace ferry
