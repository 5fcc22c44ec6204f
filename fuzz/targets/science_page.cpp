// The science ticker over outside text: the links found in a delivered message
// and the handling of an item page. A subject stays one header line and a safe
// file name; the mail built from the page ends the DATA phase exactly once, at
// its end.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/tickers/science_links.h"
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
    for (char c : link.query) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);

  }

  SciencePage page = ReadSciencePage(text);
  FUZZ_CHECK(page.bodyStart <= page.text.size());
  FUZZ_CHECK(page.subject.find_first_of("\r\n/\\") == std::string::npos);

  std::string mail = TickerMailText("Subject: x\r\n\r\n", std::string_view(page.text).substr(page.bodyStart));
  FUZZ_CHECK(mail.ends_with("\r\n.\r\n"));
  FUZZ_CHECK(mail.find("\r\n.\r\n") == mail.size() - 5);
  return 0;
}
