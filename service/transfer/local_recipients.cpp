#include "service/transfer/local_recipients.h"

#include <algorithm>
#include <set>

#include "service/transfer/address_list.h"

namespace ferry {

std::vector<std::string> LocalRecipients(const std::vector<std::string>& addresses,
                                         const std::vector<std::string>& localDomains, uint32_t addressmode,
                                         std::string_view smtpTo) {
  uint32_t mode = addressmode & 3U;
  std::vector<std::string> recipients;
  if (mode == 0 || localDomains.empty()) return recipients;

  std::string ownDomain;
  if (mode != 1) {
    std::vector<std::string> own = ReadAddressList(smtpTo);
    if (own.empty()) return recipients;
    ownDomain = std::string(DomainOf(own.front()));
  }

  std::set<std::string> seen;
  for (const std::string& address : addresses) {
    std::string_view domain = DomainOf(address);
    if (domain.empty() || !DomainInList(domain, localDomains)) continue;
    std::string recipient = mode == 1 ? address : std::string(LocalPartOf(address)) + "@" + ownDomain;
    if (recipient.size() > kMaxAddressSpec) continue;
    std::string key = recipient;
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (seen.insert(std::move(key)).second) recipients.push_back(std::move(recipient));
  }
  return recipients;
}

}  // namespace ferry
