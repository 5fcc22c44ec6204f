// The feed reader over outside documents: whatever is read stays within its
// bounds, and no item's content keeps an active element, an event-handler
// attribute or a script link.
#include <algorithm>
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/feeds/feed_reader.h"

using namespace ferry;

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
  return out;
}

void CheckClean(std::string_view html) {
  const std::string lower = Lower(html);
  FUZZ_CHECK(lower.find("<!--") == std::string::npos);
  for (std::string_view element : {"<script", "<iframe", "<object", "<embed", "<form", "<applet"}) {
    // The element itself, not a longer name that begins like it ("<format>").
    for (std::size_t at = lower.find(element); at != std::string::npos; at = lower.find(element, at + 1)) {
      const std::size_t next = at + element.size();
      FUZZ_CHECK(next < lower.size() && ((lower[next] >= 'a' && lower[next] <= 'z') ||
                                         (lower[next] >= '0' && lower[next] <= '9') || lower[next] == '-' ||
                                         lower[next] == ':' || lower[next] == '_'));
    }
  }
  // Inside a tag no attribute begins with "on".
  bool inTag = false, quoted = false;
  char quote = 0;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    const char c = lower[i];
    if (!inTag) {
      inTag = c == '<';
      continue;
    }
    if (quoted) {
      quoted = c != quote;
      continue;
    }
    if (c == '"') {
      quoted = true;
      quote = c;
    } else if (c == '>') {
      inTag = false;
    } else if (c == ' ') {
      FUZZ_CHECK(lower.compare(i + 1, 2, "on") != 0);
    }
  }
  FUZZ_CHECK(SanitizeHtml(html) == html);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  CheckClean(SanitizeHtml(text));
  Feed feed;
  std::string error;
  if (ReadFeed(text, &feed, &error)) {
    FUZZ_CHECK(feed.items.size() <= kMaxFeedItems);
    for (const FeedItem& item : feed.items) {
      FUZZ_CHECK(!item.id.empty());
      FUZZ_CHECK(item.id.size() <= kMaxFeedTextBytes && item.title.size() <= kMaxFeedTextBytes);
      FUZZ_CHECK(item.link.size() <= kMaxFeedTextBytes && item.date.size() <= kMaxFeedTextBytes);
      FUZZ_CHECK(item.content.size() <= kMaxFeedContentBytes);
      CheckClean(item.content);
    }
  } else {
    FUZZ_CHECK(!error.empty() && feed.items.empty());
  }
  return 0;
}
