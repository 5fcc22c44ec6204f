#include "service/tickers/ticker_sites.h"

#include <charconv>
#include <cstdlib>

namespace ferry {

TickerSite ApplySiteOverride(TickerSite site, std::string_view override) {
  if (override.empty()) return site;
  std::size_t colon = override.rfind(':');
  if (colon == std::string_view::npos) {
    site.host = std::string(override);
    return site;
  }
  std::string_view host = override.substr(0, colon);
  std::string_view port = override.substr(colon + 1);
  unsigned value = 0;
  auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (host.empty() || ec != std::errc() || end != port.data() + port.size() || value == 0 || value > 65535) {
    return site;
  }
  site.host = std::string(host);
  site.port = static_cast<uint16_t>(value);
  return site;
}

namespace {

TickerSite Site(const char* name, const char* variable) {
  const char* override = std::getenv(variable);
  return ApplySiteOverride(TickerSite{name, name, kHttpPort}, override == nullptr ? "" : override);
}

}  // namespace

TickerSite ScienceSite() { return Site(kScienceSiteName, kScienceTickerEnvironmentVariable); }
TickerSite CtSite() { return Site(kCtSiteName, kCtTickerEnvironmentVariable); }

}  // namespace ferry
