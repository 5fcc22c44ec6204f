// The address reader and the local recipient selection. Input: a mode byte,
// a "Local Domains" value up to the first LF, then an address header value.
// Every bare address read has exactly one "@" outside quotes, a local part and a
// domain within their bounds, no control or 8-bit byte, and reads back as
// itself, bare and as an SMTP path; every recipient is unique and local.
#include <set>
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/transfer/address_list.h"
#include "service/transfer/local_recipients.h"

using namespace ferry;

namespace {

// The number of "@" outside a quoted string, honouring "\" inside one.
std::size_t UnquotedAtSigns(std::string_view address) {
  std::size_t count = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < address.size(); ++i) {
    char c = address[i];
    if (quoted && c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == '@') {
      ++count;
    }
  }
  FUZZ_CHECK(!quoted);
  return count;
}

bool Printable(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7E) return false;
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  uint32_t mode = data[0];
  std::string_view text = fuzz::AsText(data + 1, size - 1);
  std::size_t lineEnd = text.find('\n');
  std::string_view domainsValue = lineEnd == std::string_view::npos ? std::string_view() : text.substr(0, lineEnd);
  std::string_view value = lineEnd == std::string_view::npos ? text : text.substr(lineEnd + 1);

  std::vector<std::string> domains = ParseLocalDomains(domainsValue);
  for (const std::string& domain : domains) {
    FUZZ_CHECK(!domain.empty() && domain.size() <= kMaxDomain && Printable(domain));
    FUZZ_CHECK(domain == Lower(domain));
    FUZZ_CHECK(domain.find_first_of("@[] ,;") == std::string::npos);
  }

  std::vector<std::string> addresses = ReadAddressList(value);
  for (const std::string& address : addresses) {
    FUZZ_CHECK(address.size() <= kMaxAddressSpec && Printable(address));
    FUZZ_CHECK(UnquotedAtSigns(address) == 1);
    std::string_view local = LocalPartOf(address);
    std::string_view domain = DomainOf(address);
    FUZZ_CHECK(!local.empty() && local.size() <= kMaxLocalPart);
    FUZZ_CHECK(!domain.empty() && domain.find_first_of("\"\\ <>(),;@") == std::string_view::npos);
    FUZZ_CHECK(address.find_first_of("<>") == std::string::npos || local.front() == '"');
    FUZZ_CHECK(ReadAddressList(address) == std::vector<std::string>{address});
    FUZZ_CHECK(ReadAddressList(SmtpPath(address)) == std::vector<std::string>{address});
  }

  std::vector<std::string> recipients = LocalRecipients(addresses, domains, mode, "postmaster@office.example");
  FUZZ_CHECK(recipients.size() <= addresses.size());
  std::set<std::string> seen;
  for (const std::string& recipient : recipients) {
    FUZZ_CHECK(seen.insert(Lower(recipient)).second);
    FUZZ_CHECK(recipient.size() <= kMaxAddressSpec && UnquotedAtSigns(recipient) == 1);
    if ((mode & 3U) == 1) {
      FUZZ_CHECK(DomainInList(DomainOf(recipient), domains));
    } else {
      FUZZ_CHECK(DomainOf(recipient) == "office.example");
    }
  }
  return 0;
}
