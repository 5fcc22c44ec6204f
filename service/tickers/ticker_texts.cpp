#include "service/tickers/ticker_texts.h"

#include <array>
#include <cstdio>

#include "platform/system_info.h"

namespace ferry {

std::string ItemPageRequest(std::string_view path) {
  return "GET " + std::string(path) +
         " http/1.0\r\nUser-Agent: Mozilla/4.00 [de] (WinNT, MFERRY)\r\nAccept: */*\r\n\r\n";
}

std::string KeepAliveItemPageRequest(std::string_view path) {
  return "GET " + std::string(path) +
         " http/1.0\r\nUser-Agent: Mozilla/4.04 [de] (WinNT, MFERRY)\r\nAccept: */*\r\nConnection: Keep-Alive\r\n\r\n";
}

std::string ConditionalIndexRequest(std::string_view path, std::string_view ifModifiedSince) {
  return "GET " + std::string(path) +
         " http/1.0\r\nUser-Agent: Mozilla/4.00 [de] (WinNT, MFERRY)\r\nAccept: text/*\r\nIf-Modified-Since: " +
         std::string(ifModifiedSince) + "\r\n\r\n";
}

std::string ScienceMailHeader(std::string_view category, std::string_view smtpFrom, std::string_view tickerEMail,
                              std::string_view subject, std::string_view date) {
  std::string h;
  h.append("From: \"").append(category).append("\" <").append(smtpFrom).append(">\r\n");
  h.append("To: \"Wissenschaft\"<").append(tickerEMail).append(">\r\n");
  h.append("Subject: ").append(subject).append("\r\n");
  h.append("MIME-Version: 1.0\r\nX-Mailer: MailFerry\r\nContent-Type: text/html\r\n");
  h.append("Date:").append(date).append("\r\n\r\n");
  return h;
}

std::string CtMailHeader(std::string_view smtpFrom, std::string_view ctEMail, std::string_view title,
                         std::string_view date) {
  std::string h;
  h.append("From: \"CT Ticker\" <").append(smtpFrom).append(">\r\n");
  h.append("To: \"Wissenschaft\"<").append(ctEMail).append(">\r\n");
  h.append("Subject: ").append(title).append("\r\n");
  h.append("MIME-Version: 1.0\r\nX-Mailer: MailFerry\r\nContent-Type: text/html\r\n");
  h.append("Date: ").append(date).append("\r\n\r\n");
  return h;
}

std::string AsctimeText(const std::tm& time) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  auto pick = [](const auto& names, int index) {
    return index >= 0 && index < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(index)] : "???";
  };
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", pick(kDays, time.tm_wday),
                pick(kMonths, time.tm_mon), time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec,
                1900 + time.tm_year);
  return text.data();
}

std::string CurrentAsctimeText() { return AsctimeText(LocalTime(std::time(nullptr))); }

std::size_t BodyStart(std::string_view response) {
  std::size_t blank = response.find("\r\n\r\n");
  return blank == std::string_view::npos ? 0 : blank + 4;
}

std::string_view ResponseHeader(std::string_view response) {
  std::size_t blank = response.find("\r\n\r\n");
  return blank == std::string_view::npos ? std::string_view() : response.substr(0, blank + 4);
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
  if (body.ends_with(kMailTerminator)) body.remove_suffix(kMailTerminator.size());
  std::string text = DotStuff(std::string(header) + std::string(body));
  if (!text.ends_with("\r\n")) text.append("\r\n");
  text.append(".\r\n");
  return text;
}

std::string SafeFileName(std::string_view name) {
  std::string safe(name);
  for (char& c : safe) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':' || u < 0x20 || u == 0x7F) c = ' ';
  }
  for (char& c : safe) {
    if (c != '.') break;
    c = '_';
  }
  return safe;
}

}  // namespace ferry
