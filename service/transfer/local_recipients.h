// The envelope recipients of a message for a shared mailbox: every address of
// its "To:" and "Cc:" headers (or of the account's envelope header) whose
// domain is one of the account's local domains, formed by the recipient mode.
// A pure function over addresses already read by ReadAddressList.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

// `addresses`: bare addresses in header order ("To:" first, then "Cc:").
// `localDomains`: from ParseLocalDomains. `addressmode`: the account's recipient
// mode, of which the two lowest bits count: 1 keeps each address as found; 2
// and 3 join its local part with the domain of `smtpTo` (an bare address, or any
// address header value whose first address has a domain). Mode 0 yields
// nothing (its recipient is the account's fixed one).
//
// Only addresses whose own domain is in `localDomains` are taken. The result
// is in header order without duplicates: two recipients are the same when they
// are equal without regard to ASCII letter case (local part too, though RFC
// 5321 lets a server tell case apart in it: one mailbox per spelling would
// mean one copy per spelling); the first spelling is kept. Empty when nothing
// qualifies, when the list is empty, or in modes 2 and 3 when `smtpTo` has no
// readable address.
std::vector<std::string> LocalRecipients(const std::vector<std::string>& addresses,
                                         const std::vector<std::string>& localDomains, uint32_t addressmode,
                                         std::string_view smtpTo);

}  // namespace ferry
