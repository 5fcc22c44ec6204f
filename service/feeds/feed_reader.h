// Reads a news feed (RSS 2.0, RSS 1.0 or Atom 1.0) into its items, in the
// order the feed lists them. Pure functions; every part is bounded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

inline constexpr std::size_t kMaxFeedItems = 200;
inline constexpr std::size_t kMaxFeedTextBytes = 2000;       // id, title, link, date
inline constexpr std::size_t kMaxFeedContentBytes = 256 * 1024;

struct FeedItem {
  std::string id;       // guid, Atom id or rdf:about; else the link; else title and date
  std::string title;    // plain text
  std::string link;
  std::string date;     // as the feed wrote it
  std::string content;  // HTML, sanitised (see SanitizeHtml)
};

struct Feed {
  std::string format;  // "RSS 2.0", "RSS 1.0" or "Atom 1.0"
  std::string title;   // plain text
  std::vector<FeedItem> items;
};

// False with English words in `error` when the document is no feed of these
// formats or cannot be read on this system.
bool ReadFeed(std::string_view document, Feed* feed, std::string* error);

// HTML without scripts, styles, iframes, frames, objects, embeds, applets and
// forms (each with its content), without comments and processing
// instructions, without on* event-handler attributes, and with javascript:,
// vbscript: and data: links taken out. Other markup is kept as written.
std::string SanitizeHtml(std::string_view html);

// `text` with & < > " written as entities.
std::string EscapeHtml(std::string_view text);

}  // namespace ferry
