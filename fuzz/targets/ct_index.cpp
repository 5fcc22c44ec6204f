// The CT index scanner and title decoder over any page: items stop within the
// page, a decoded title holds none of the characters it must lose, and a title
// made into a file name stays inside its folder.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/tickers/ct_index.h"
#include "service/tickers/ticker_links.h"
#include "service/tickers/ticker_texts.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte: how much of the rest is the "LastTitle" of the account.
  std::size_t titleLength = std::min<std::size_t>(data[0] % 32, size - 1);
  std::string_view lastTitle = fuzz::AsText(data + 1, titleLength);
  std::string_view body = fuzz::AsText(data + 1 + titleLength, size - 1 - titleLength);

  CtIndexScan scan = ScanCtIndex(body, lastTitle, "ct.ticker.test");
  FUZZ_CHECK(scan.items.size() <= body.size());
  FUZZ_CHECK(scan.lastTitleAt <= scan.items.size());
  for (const TickerItem& item : scan.items) {
    FUZZ_CHECK(item.path.starts_with('/'));
    FUZZ_CHECK(item.path.find_first_of(" \r\n") == std::string::npos);
    FUZZ_CHECK(RequestTarget(item.path).find_first_of(" \r\n\"<>") == std::string::npos);
  }

  std::string title = DecodeCtTitle(body);
  FUZZ_CHECK(title.size() <= body.size());
  FUZZ_CHECK(title.size() <= TickerItem::kTitleKept);
  FUZZ_CHECK(title.find_first_of("/:\"\r\n\\") == std::string::npos);

  std::string name = SafeFileName(body);
  FUZZ_CHECK(!name.empty() && name.size() <= 151);
  FUZZ_CHECK(name.find_first_of("/\\:?*<>|\"") == std::string::npos);
  FUZZ_CHECK(!name.ends_with('.') && !name.ends_with(' '));
  FUZZ_CHECK(name != "." && name != "..");
  FUZZ_CHECK(!name.starts_with("."));
  return 0;
}
