// The STAT count and the LIST listing: the tokeniser yields only positive numbers, never
// more entries than the listing has tokens, and an out-of-step number only
// where the rule allows it.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/transfer/listing_tokens.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);

  int32_t count = StatCount(input.substr(0, input.find("\r\n")));
  (void)count;

  // The message count of the run: the listing's status line says it here.
  int32_t messageCount = LeadingNumber(input.substr(0, 12));
  std::string_view entries = ListingEntries(input);
  FUZZ_CHECK(input.ends_with(entries));
  std::size_t tokens = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    bool separator = std::string_view(" ,.\n\r\t").find(entries[i]) != std::string_view::npos;
    bool startsToken = !separator && (i == 0 || std::string_view(" ,.\n\r\t").find(entries[i - 1]) != std::string_view::npos);
    if (startsToken) ++tokens;
  }
  int32_t lastTaken = 0;
  std::vector<ListingEntry> list = TokeniseListing(entries, messageCount);
  FUZZ_CHECK(list.size() <= tokens);
  for (const ListingEntry& entry : list) {
    FUZZ_CHECK(entry.number > 0);
    if (entry.outOfStep) FUZZ_CHECK(entry.number == lastTaken + 1 && lastTaken < messageCount);
    lastTaken = entry.number;
  }
  return 0;
}
