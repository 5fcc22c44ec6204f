// Facts about the running system: the computer's name and this program's path.
#pragma once

#include <ctime>
#include <string>

namespace ferry {

// The local computer's name (GetComputerNameA / gethostname), empty on failure.
std::string ComputerName();

// The computer's fully qualified domain name (GetComputerNameExA with
// ComputerNameDnsFullyQualified / the canonical name getaddrinfo gives for the
// host name); the plain name when no name with a domain is known; empty on
// failure.
std::string ComputerFullName();

// Full path of the running executable (GetModuleFileNameA / /proc/self/exe),
// empty on failure.
std::string ModulePath();

// The folder of this user's own settings of the gateway's programs:
// "$XDG_CONFIG_HOME/mailferry" (~/.config/mailferry without it) /
// "%APPDATA%\MailFerry"; empty when neither place is known.
std::string UserSettingsFolder();

}  // namespace ferry

namespace ferry {

// Sets (or with an empty value removes) a variable of this process's environment.
void SetEnvironment(const std::string& name, const std::string& value);

}  // namespace ferry

namespace ferry {

// The local time of `when`, safe to call from any thread.
std::tm LocalTime(std::time_t when);

}  // namespace ferry
