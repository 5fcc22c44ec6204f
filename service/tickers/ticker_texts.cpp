#include "service/tickers/ticker_texts.h"

#include <array>
#include <cstdio>


namespace ferry {
namespace {

constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

template <std::size_t N>
const char* Pick(const std::array<const char*, N>& names, int index) {
  return index >= 0 && index < static_cast<int>(N) ? names[static_cast<std::size_t>(index)] : "???";
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Where `what` (lower case) starts in `text` at or after `from`, any case.
std::size_t FindNoCase(std::string_view text, std::string_view what, std::size_t from) {
  for (std::size_t at = from; at + what.size() <= text.size(); ++at) {
    std::size_t i = 0;
    while (i < what.size() && Lower(text[at + i]) == what[i]) ++i;
    if (i == what.size()) return at;
  }
  return std::string_view::npos;
}

bool IsDeviceName(std::string_view base) {
  std::string upper;
  for (char c : base) upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  while (!upper.empty() && upper.back() == ' ') upper.pop_back();
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
      upper == "CONOUT$") {
    return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '0' &&
         upper[3] <= '9';
}

}  // namespace

std::string ItemPageRequest(std::string_view path, std::string_view host) {
  return "GET " + std::string(path) + " HTTP/1.0\r\nHost: " + std::string(host) +
         "\r\nUser-Agent: Mozilla/4.00 [de] (WinNT, MFERRY)\r\nAccept: */*\r\n\r\n";
}

std::string ConditionalIndexRequest(std::string_view path, std::string_view host, std::string_view ifModifiedSince) {
  return "GET " + std::string(path) + " HTTP/1.0\r\nHost: " + std::string(host) +
         "\r\nUser-Agent: Mozilla/4.00 [de] (WinNT, MFERRY)\r\nAccept: text/*\r\nIf-Modified-Since: " +
         std::string(ifModifiedSince) + "\r\n\r\n";
}

std::string AsctimeText(const std::tm& time) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", Pick(kDays, time.tm_wday),
                Pick(kMonths, time.tm_mon), time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                1900 + time.tm_year);
  return text.data();
}

std::string HttpDateText(std::time_t when) {
  // Civil date from days since 1970-01-01 (proleptic Gregorian), no library call.
  long long seconds = static_cast<long long>(when);
  long long days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  long long rest = seconds - days * 86400;
  int weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  long long day = doy - (153 * mp + 2) / 5 + 1;
  long long month = mp < 10 ? mp + 3 : mp - 9;
  long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  std::array<char, 160> text{};
  std::snprintf(text.data(), text.size(), " %s, %02lld %s %04lld %02lld:%02lld:%02lld GMT", Pick(kDays, weekday), day,
                Pick(kMonths, static_cast<int>(month - 1)), year, rest / 3600, rest / 60 % 60, rest % 60);
  return text.data();
}

std::size_t BodyStart(std::string_view response) {
  std::size_t crlf = response.find("\r\n\r\n");
  std::size_t lf = response.find("\n\n");
  if (crlf == std::string_view::npos && lf == std::string_view::npos) return 0;
  if (lf == std::string_view::npos || (crlf != std::string_view::npos && crlf < lf)) return crlf + 4;
  return lf + 2;
}

std::string_view ResponseHeader(std::string_view response) { return response.substr(0, BodyStart(response)); }

int ResponseStatusCode(std::string_view response) {
  std::string_view line = response.substr(0, response.find('\n'));
  std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || line.size() < blank + 4) return 0;
  int code = 0;
  for (std::size_t i = blank + 1; i < blank + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

std::string RemoveScripts(std::string_view html) {
  std::string out;
  out.reserve(html.size());
  std::size_t from = 0;
  for (;;) {
    std::size_t open = FindNoCase(html, "<script", from);
    if (open == std::string_view::npos) break;
    out.append(html.substr(from, open - from));
    std::size_t close = FindNoCase(html, "</script", open + 7);
    if (close == std::string_view::npos) return out;
    std::size_t end = html.find('>', close);
    if (end == std::string_view::npos) return out;
    from = end + 1;
  }
  out.append(html.substr(from));
  return out;
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32 + 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r') {
      out.append("\r\n");
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out.append("\r\n");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string DotStuff(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 64 + 4);
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && c == '.') out.push_back('.');
    out.push_back(c);
    lineStart = c == '\n';
  }
  return out;
}

std::string TickerMailText(std::string_view header, std::string_view body) {
  std::string text = DotStuff(WithCrLf(std::string(header) + std::string(body)));
  if (!text.ends_with("\r\n")) text.append("\r\n");
  text.append(".\r\n");
  return text;
}

std::string SafeFileName(std::string_view name) {
  constexpr std::size_t kMaxName = 150;
  std::string safe(name.substr(0, kMaxName));
  for (char& c : safe) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("/\\:?*<>|\"").find(c) != std::string_view::npos) c = '_';
  }
  for (char& c : safe) {
    if (c != '.') break;
    c = '_';
  }
  // Windows drops trailing dots and blanks from a name.
  for (auto c = safe.rbegin(); c != safe.rend() && (*c == '.' || *c == ' '); ++c) *c = '_';
  if (safe.empty()) return "_";
  if (IsDeviceName(std::string_view(safe).substr(0, safe.find('.')))) safe.insert(0, "_");
  return safe;
}

}  // namespace ferry
