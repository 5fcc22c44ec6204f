#include "service/transfer/reply_framing.h"

namespace ferry {

std::size_t Pop3StatusLength(std::string_view buffered) {
  std::size_t at = buffered.find("\r\n");
  return at == std::string_view::npos ? 0 : at + 2;
}

std::size_t Pop3MultiLineLength(std::string_view buffered) {
  std::size_t status = Pop3StatusLength(buffered);
  if (status == 0) return 0;
  if (buffered[0] == '-') return status;
  // The status line's own CR LF starts the marker of an empty listing.
  std::size_t end = FindEndOfData(buffered, status - 2 + 4);
  return end == std::string_view::npos ? 0 : end;
}

std::size_t SmtpReplyLength(std::string_view buffered) {
  std::size_t lineStart = 0;
  for (;;) {
    std::size_t eol = buffered.find("\r\n", lineStart);
    if (eol == std::string_view::npos) return 0;
    std::string_view line = buffered.substr(lineStart, eol - lineStart);
    // A continuation line has a hyphen right after the three-digit code.
    if (!(line.size() >= 4 && line[3] == '-')) return eol + 2;
    lineStart = eol + 2;
  }
}

int SmtpReplyCode(std::string_view reply) {
  int code = 0;
  for (std::size_t i = 0; i < reply.size() && i < 4; ++i) {
    char c = reply[i];
    if (c < '0' || c > '9') break;
    code = code * 10 + (c - '0');
  }
  return code;
}

std::size_t FindEndOfData(std::string_view text, std::size_t searchFrom) {
  constexpr std::size_t kBack = kEndOfData.size() - 1;
  std::size_t from = searchFrom > kBack ? searchFrom - kBack : 0;
  std::size_t at = text.find(kEndOfData, from);
  return at == std::string_view::npos ? at : at + kEndOfData.size();
}

}  // namespace ferry
