// The size limits of a transfer: the account's "Max Size" against a message's
// listed size, and what an SMTP server announces in its EHLO reply (SIZE,
// PIPELINING, 8BITMIME).
#pragma once

#include <cstdint>
#include <string_view>

#include "service/transfer/listing_tokens.h"

namespace ferry {

class RunContext;

// Whether a listed message is larger than "Max Size" (0: no limit) and is to
// stay on the server unfetched.
bool SkipForSize(const ListingEntry& entry, uint32_t maxSize);

// Leaves a message over "Max Size" on the server: its number goes into the
// run's skippedForSize list; the first one of the run is reported as a warning.
void LeaveForMaxSize(RunContext& context, const ListingEntry& entry);

// What an EHLO reply announces.
struct EhloCapabilities {
  bool size = false;       // the SIZE extension
  uint64_t sizeLimit = 0;  // its fixed limit in bytes; 0: none announced
  bool pipelining = false;    // PIPELINING (RFC 2920): commands may go in groups
  bool eightBitMime = false;  // 8BITMIME (RFC 6152): MAIL takes BODY=8BITMIME
  bool operator==(const EhloCapabilities&) const = default;
};

// The capabilities of a whole EHLO reply (the lines after the first are
// keyword lines; keywords in any case).
EhloCapabilities ParseEhloReply(std::string_view reply);

// Whether a text of `size` bytes is more than the server announced it takes.
bool OverServerSize(const EhloCapabilities& server, uint64_t size);

}  // namespace ferry
