// The science ticker over outside text: the links found in a delivered message
// and the handling of an item page. A subject stays one header line and a safe
// file name; the mail built from the page ends the DATA phase exactly once, at
// its end.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/tickers/science_links.h"
#include "service/tickers/ticker_links.h"
#include "service/tickers/ticker_mime.h"
#include "service/tickers/ticker_texts.h"

using namespace ferry;

namespace {
constexpr std::string_view kSite = "science.ticker.test";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  for (const ScienceLink& link : FindScienceLinks(text, kSite)) {
    std::string path = ScienceDetailPath(link.query);
    FUZZ_CHECK(path.starts_with(kScienceDetailPath));
    std::string target = RequestTarget(path);
    for (char c : target) FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7F);
  }

  SciencePage page = ReadSciencePage(text);
  FUZZ_CHECK(page.subject.find_first_of("\r\n/\\") == std::string::npos);

  TickerMailParts parts;
  parts.fromName = page.category;
  parts.fromAddress = "news@office.example";
  parts.toAddress = "ticker@office.example";
  parts.subject = page.subject;
  parts.charset = page.charset;
  parts.date = "Tue, 08 Dec 2026 06:00:00 +0100";
  parts.messageId = "<1@office.example>";
  parts.html = page.html;
  std::string mail = TickerMailText(TickerMimeMail(parts), {});
  FUZZ_CHECK(mail.ends_with("\r\n.\r\n"));
  FUZZ_CHECK(mail.find("\r\n.\r\n") == mail.size() - 5);
  // Every line ends in CR LF, none is longer than SMTP allows.
  std::size_t line = 0;
  for (std::size_t i = 0; i < mail.size(); ++i) {
    if (mail[i] == '\n') {
      FUZZ_CHECK(i > 0 && mail[i - 1] == '\r');
      line = 0;
    } else {
      FUZZ_CHECK(mail[i] != '\r' || (i + 1 < mail.size() && mail[i + 1] == '\n'));
      FUZZ_CHECK(++line <= 1000);
    }
  }
  return 0;
}
