#include "service/transfer/size_limits.h"

#include <string>
#include <vector>

#include "platform/event_log.h"
#include "service/transfer/run_context.h"

namespace ferry {
namespace {

constexpr uint64_t kLargestSizeLimit = UINT64_MAX / 10 - 10;

bool SameKeyword(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
    if (c != upper[i]) return false;
  }
  return true;
}

// The decimal number that is the whole of `text`; false for anything else.
bool WholeNumber(std::string_view text, uint64_t* value) {
  if (text.empty()) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || n > kLargestSizeLimit) return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = n;
  return true;
}

}  // namespace

bool SkipForSize(const ListingEntry& entry, uint32_t maxSize) {
  return maxSize != 0 && entry.size > 0 && static_cast<uint64_t>(entry.size) > maxSize;
}

void LeaveForMaxSize(RunContext& context, const ListingEntry& entry) {
  context.skippedForSize.push_back(entry.number);
  context.LogNumber(2, "Message %d larger than Max Size: left on the server", entry.number);
  if (context.maxSizeReported) return;
  context.maxSizeReported = true;
  context.Event(kEventMessageOverMaxSize, kEventWarning,
                {context.settings.accountName, std::to_string(entry.number), std::to_string(entry.size)});
}

EhloCapabilities ParseEhloReply(std::string_view reply) {
  EhloCapabilities caps;
  bool first = true;
  while (!reply.empty()) {
    std::size_t eol = reply.find("\r\n");
    std::string_view line = reply.substr(0, eol);
    reply = eol == std::string_view::npos ? std::string_view() : reply.substr(eol + 2);
    // The first line names the server; each further one is "250-" or "250 "
    // and a keyword with its parameters.
    if (first) {
      first = false;
      continue;
    }
    if (line.size() < 4) continue;
    std::string_view rest = line.substr(4);
    std::size_t blank = rest.find(' ');
    std::string_view keyword = rest.substr(0, blank);
    if (SameKeyword(keyword, "PIPELINING")) caps.pipelining = true;
    if (SameKeyword(keyword, "8BITMIME")) caps.eightBitMime = true;
    if (!SameKeyword(keyword, "SIZE")) continue;
    caps.size = true;
    caps.sizeLimit = 0;
    if (blank == std::string_view::npos) continue;
    std::string_view parameter = rest.substr(blank + 1);
    while (!parameter.empty() && parameter.back() == ' ') parameter.remove_suffix(1);
    uint64_t limit = 0;
    if (WholeNumber(parameter, &limit)) caps.sizeLimit = limit;
  }
  return caps;
}

bool OverServerSize(const EhloCapabilities& server, uint64_t size) {
  return server.size && server.sizeLimit != 0 && size > server.sizeLimit;
}

}  // namespace ferry
