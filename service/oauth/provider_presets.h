// Ready-made endpoint and scope values for the two big hosted mail services,
// as they publish them. No client ids: each office registers its own.
#pragma once

#include <span>

namespace ferry::oauth {

struct ProviderPreset {
  const char* name;          // what the console lists
  const char* tokenUrl;
  const char* deviceUrl;     // empty: the service allows no device grant for mail
  const char* authorizeUrl;
  const char* scope;
  unsigned popAuth;          // the mechanism the service documents for POP3
};

inline constexpr ProviderPreset kProviderPresets[] = {
    {"Microsoft 365 (Exchange Online)", "https://login.microsoftonline.com/organizations/oauth2/v2.0/token",
     "https://login.microsoftonline.com/organizations/oauth2/v2.0/devicecode",
     "https://login.microsoftonline.com/organizations/oauth2/v2.0/authorize",
     "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send offline_access", 1},
    {"Google Workspace / Gmail", "https://oauth2.googleapis.com/token", "",
     "https://accounts.google.com/o/oauth2/v2/auth", "https://mail.google.com/", 1},
};

inline std::span<const ProviderPreset> ProviderPresets() { return kProviderPresets; }

}  // namespace ferry::oauth
