#include "service/tickers/ticker_mime.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <random>

#include "service/tickers/ticker_texts.h"

namespace ferry {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerText(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = Lower(c);
  return out;
}

bool IsCharsetChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
         c == '.' || c == ':';
}

// The charset named after "charset=" at or after `from` in `text` (lower-cased
// copy `lower`); empty when there is none or it is no charset name.
std::string CharsetAfter(std::string_view text, const std::string& lower, std::size_t from, std::size_t to) {
  std::size_t at = lower.find("charset=", from);
  if (at == std::string::npos || at >= to) return {};
  std::size_t start = at + 8;
  while (start < text.size() && (text[start] == '"' || text[start] == '\'' || text[start] == ' ')) ++start;
  std::size_t end = start;
  while (end < text.size() && IsCharsetChar(text[end])) ++end;
  if (end == start || end - start > 40) return {};
  return std::string(text.substr(start, end - start));
}

bool Printable(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return false;
  }
  return true;
}

}  // namespace

std::string PageCharset(std::string_view response) {
  std::string lower = LowerText(response);
  std::size_t bodyStart = BodyStart(response);
  for (std::size_t line = 0; line < bodyStart;) {
    std::size_t end = std::min(lower.find('\n', line), bodyStart);
    if (std::string_view(lower).substr(line).starts_with("content-type:")) {
      std::string charset = CharsetAfter(response, lower, line, end);
      if (!charset.empty()) return charset;
    }
    if (end == std::string::npos) break;
    line = end + 1;
  }
  for (std::size_t meta = lower.find("<meta", bodyStart); meta != std::string::npos;
       meta = lower.find("<meta", meta + 1)) {
    std::size_t end = lower.find('>', meta);
    if (end == std::string::npos) break;
    std::string charset = CharsetAfter(response, lower, meta, end);
    if (!charset.empty()) return charset;
  }
  return std::string(kDefaultPageCharset);
}

std::string EncodeHeaderText(std::string_view text, std::string_view charset) {
  if (Printable(text)) return std::string(text);
  const std::string open = "=?" + std::string(charset) + "?Q?";
  std::string out;
  std::string word;
  auto flush = [&] {
    if (word.empty()) return;
    if (!out.empty()) out.append("\r\n ");
    out.append(open).append(word).append("?=");
    word.clear();
  };
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    std::string piece;
    if (c == ' ') {
      piece = "_";
    } else if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
               std::string_view("!*+-/").find(c) != std::string_view::npos) {
      piece.assign(1, c);
    } else {
      piece = {'=', kHex[u >> 4], kHex[u & 15]};
    }
    if (open.size() + word.size() + piece.size() + 2 > 75) flush();
    word.append(piece);
  }
  flush();
  return out;
}

std::string MailboxText(std::string_view name, std::string_view address, std::string_view charset) {
  const std::string angle = "<" + std::string(address) + ">";
  if (name.empty()) return angle;
  if (!Printable(name)) return EncodeHeaderText(name, charset) + " " + angle;
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\" " + angle;
}

std::string MailDateText(const std::tm& local, long offsetSeconds) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const char* day = local.tm_wday >= 0 && local.tm_wday < 7 ? kDays[static_cast<std::size_t>(local.tm_wday)] : "Mon";
  const char* month =
      local.tm_mon >= 0 && local.tm_mon < 12 ? kMonths[static_cast<std::size_t>(local.tm_mon)] : "Jan";
  char sign = offsetSeconds < 0 ? '-' : '+';
  long minutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", day, local.tm_mday, month,
                1900 + local.tm_year, local.tm_hour, local.tm_min, local.tm_sec, sign, minutes / 60, minutes % 60);
  return text.data();
}

long UtcOffsetSeconds(std::time_t when, const std::tm& local) {
  // Seconds since 1970 of the local wall-clock time, minus the true ones.
  long long y = 1900LL + local.tm_year;
  long long m = local.tm_mon + 1;
  y -= m <= 2 ? 1 : 0;
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long yoe = y - era * 400;
  long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + local.tm_mday - 1;
  long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  long long days = era * 146097 + doe - 719468;
  long long wall = days * 86400 + local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
  return static_cast<long>(wall - static_cast<long long>(when));
}

bool SevenBitClean(std::string_view body) {
  std::size_t line = 0;
  for (char c : body) {
    if (static_cast<unsigned char>(c) >= 0x80 || c == '\0') return false;
    line = c == '\n' ? 0 : line + 1;
    if (line > 998) return false;
  }
  return true;
}

std::string QuotedPrintable(std::string_view body) {
  const std::string text = WithCrLf(body);
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  std::size_t column = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      // A blank or tab before a line end would be lost on the way: encoded.
      if (!out.empty() && (out.back() == ' ' || out.back() == '\t')) {
        auto u = static_cast<unsigned char>(out.back());
        out.pop_back();
        out.append({'=', kHex[u >> 4], kHex[u & 15]});
      }
      out.append("\r\n");
      column = 0;
      ++i;
      continue;
    }
    auto u = static_cast<unsigned char>(c);
    std::string piece;
    if ((u >= 33 && u <= 126 && c != '=') || c == ' ' || c == '\t') {
      piece.assign(1, c);
    } else {
      piece = {'=', kHex[u >> 4], kHex[u & 15]};
    }
    if (column + piece.size() > 75) {
      out.append("=\r\n");
      column = 0;
    }
    // A line that begins with "." is left to the dot-stuffing of the SMTP text.
    out.append(piece);
    column += piece.size();
  }
  return out;
}

std::string TickerMimeMail(const TickerMailParts& p) {
  const bool sevenBit = SevenBitClean(p.html);
  const std::string& words = p.headerCharset.empty() ? p.charset : p.headerCharset;
  std::string h;
  h.append("From: ").append(MailboxText(p.fromName, p.fromAddress, words)).append("\r\n");
  h.append("To: ").append(MailboxText(p.toName, p.toAddress, words)).append("\r\n");
  h.append("Subject: ").append(EncodeHeaderText(p.subject, words)).append("\r\n");
  h.append("Date: ").append(p.date).append("\r\n");
  h.append("Message-ID: ").append(p.messageId).append("\r\n");
  h.append("MIME-Version: 1.0\r\nX-Mailer: MailFerry\r\n");
  h.append("Content-Type: text/html; charset=").append(p.charset).append("\r\n");
  h.append("Content-Transfer-Encoding: ").append(sevenBit ? "7bit" : "quoted-printable").append("\r\n\r\n");
  h.append(sevenBit ? WithCrLf(p.html) : QuotedPrintable(p.html));
  return h;
}

std::string NewMessageId(std::string_view fromAddress, std::time_t when) {
  static std::atomic<uint32_t> counter{0};
  std::string domain = "mailferry.invalid";
  std::size_t at = fromAddress.rfind('@');
  if (at != std::string_view::npos && at + 1 < fromAddress.size()) {
    std::string_view d = fromAddress.substr(at + 1);
    bool ok = true;
    for (char c : d) ok = ok && (IsCharsetChar(c) && c != ':' && c != '_');
    if (ok) domain = std::string(d);
  }
  std::random_device random;
  std::array<char, 96> text{};
  std::snprintf(text.data(), text.size(), "<%lld.%u.%08x%08x@", static_cast<long long>(when),
                counter.fetch_add(1), random(), random());
  return text.data() + domain + ">";
}

}  // namespace ferry
