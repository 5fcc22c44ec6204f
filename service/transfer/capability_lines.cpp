#include "service/transfer/capability_lines.h"

namespace ferry {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameWord(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (Upper(text[i]) != upper[i]) return false;
  return true;
}

// The next line of `text` without its CR LF (a bare LF ends one too).
std::string_view NextLine(std::string_view& text) {
  std::size_t eol = text.find('\n');
  std::string_view line = text.substr(0, eol);
  text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// The next blank-separated word of `text`.
std::string_view NextWord(std::string_view& text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  std::size_t end = text.find(' ');
  std::string_view word = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end);
  return word;
}

}  // namespace

bool Pop3OffersStls(std::string_view capa) {
  std::string_view status = NextLine(capa);
  if (!status.starts_with("+OK")) return false;
  while (!capa.empty()) {
    std::string_view line = NextLine(capa);
    if (line == ".") break;
    if (SameWord(NextWord(line), "STLS")) return true;
  }
  return false;
}

SmtpOffers ParseSmtpOffers(std::string_view ehlo) {
  SmtpOffers offers;
  bool first = true;
  while (!ehlo.empty()) {
    std::string_view line = NextLine(ehlo);
    // The first line names the server; each further one is "250-" or "250 "
    // and a keyword with its parameters.
    if (first || line.size() < 4 || !line.starts_with("250")) {
      first = false;
      continue;
    }
    std::string_view rest = line.substr(4);
    std::string_view keyword = NextWord(rest);
    if (SameWord(keyword, "STARTTLS")) {
      offers.startTls = true;
      continue;
    }
    const bool oldForm = keyword.size() > 5 && SameWord(keyword.substr(0, 5), "AUTH=");
    if (!oldForm && !SameWord(keyword, "AUTH")) continue;
    std::string_view mechanism = oldForm ? keyword.substr(5) : NextWord(rest);
    while (!mechanism.empty()) {
      if (SameWord(mechanism, "PLAIN")) offers.authPlain = true;
      if (SameWord(mechanism, "LOGIN")) offers.authLogin = true;
      if (SameWord(mechanism, "XOAUTH2")) offers.authXoauth2 = true;
      if (SameWord(mechanism, "OAUTHBEARER")) offers.authOauthBearer = true;
      mechanism = NextWord(rest);
    }
  }
  return offers;
}

std::string Base64(std::string_view bytes) {
  static constexpr std::string_view kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                 static_cast<unsigned char>(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) out += kDigits[(v >> shift) & 63];
  }
  std::size_t left = bytes.size() - i;
  if (left > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (left == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += left == 2 ? kDigits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace ferry
