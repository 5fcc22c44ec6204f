// The two ticker sites. Each has a fixed host name; an environment variable per
// ticker ("host" or "host:port") replaces the address that is connected to, for
// tests and for a ticker that has moved. The site's name stays what the links
// in the mails and the item records carry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ferry {

inline constexpr const char* kScienceSiteName = "www.wissenschaft.de";
inline constexpr const char* kCtSiteName = "www.heise.de";
inline constexpr uint16_t kHttpPort = 80;
inline constexpr const char* kScienceTickerEnvironmentVariable = "MAILFERRY_SCIENCE_TICKER";
inline constexpr const char* kCtTickerEnvironmentVariable = "MAILFERRY_CT_TICKER";

struct TickerSite {
  std::string name;  // the site's own host name
  std::string host;  // what is connected to
  uint16_t port = kHttpPort;
};

// "host" or "host:port" over the site's defaults; an empty or malformed
// override (bad port) leaves the site as it is.
TickerSite ApplySiteOverride(TickerSite site, std::string_view override);

TickerSite ScienceSite();
TickerSite CtSite();

}  // namespace ferry
