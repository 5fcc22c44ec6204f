// Reading the addresses of an address header ("To:", "Cc:", "From:", "Sender:",
// "Reply-To:", "Delivered-To:", ...) the way RFC 5322 writes them, and turning
// them into SMTP paths (RFC 5321). Pure functions over text.
//
// The reader yields bare addresses only: display names, comments, encoded words,
// group names and obsolete source routes are read and dropped. An address that
// could not go into an SMTP path as it stands (control characters, 8-bit bytes,
// no local part or domain, over-long, broken quotes, brackets or comments) is
// skipped; the addresses around it are still read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

// A value longer than this is read only up to here; the address cut there is
// dropped.
inline constexpr std::size_t kMaxAddressHeaderValue = 64 * 1024;
inline constexpr std::size_t kMaxAddressSpec = 254;  // local part, "@" and domain
inline constexpr std::size_t kMaxLocalPart = 64;
inline constexpr std::size_t kMaxDomain = 253;

// The raw value of the first header field `name` (any letter case, without the
// colon) in a header block: the text after the colon with its continuation
// lines (CR LF followed by a blank or tab) and their CR LF kept, up to the CR LF
// that ends the field. nullopt when the block has no such field.
std::optional<std::string_view> FoldedHeaderValue(std::string_view headerBlock, std::string_view name);

// The bare addresses of an address header's value, folded or unfolded, in the
// order written; duplicates are kept. Each is "local-part@domain" as an SMTP
// path needs it: the local part as a dot-string, or as a quoted string (with
// "\" before '"' and '\') only when it cannot be a dot-string; the domain as
// dotted labels of letters, digits and hyphens, or an IPv4 or "IPv6:" literal
// in brackets. Letter case is kept as written.
std::vector<std::string> ReadAddressList(std::string_view value);

// The SMTP path of an bare address from ReadAddressList: "<local@domain>", or
// "<>" for the empty text.
std::string SmtpPath(std::string_view addrSpec);

// The parts of an bare address from ReadAddressList: around its last "@" (a
// quoted local part may hold one, a domain never does). An bare address without
// "@" is all local part.
std::string_view LocalPartOf(std::string_view addrSpec);
std::string_view DomainOf(std::string_view addrSpec);

// Domain names compared without regard to ASCII letter case.
bool SameDomain(std::string_view a, std::string_view b);

// True when `domain` is one of `domains` (any letter case).
bool DomainInList(std::string_view domain, const std::vector<std::string>& domains);

// The domains of a "Local Domains" value ("firma.de firma.com", separated by
// blanks, tabs, commas or semicolons; a leading "@" on an entry is allowed), in
// lower case, without duplicates, in the order written. Entries that are not
// a domain name of dotted labels are dropped.
std::vector<std::string> ParseLocalDomains(std::string_view value);

}  // namespace ferry
