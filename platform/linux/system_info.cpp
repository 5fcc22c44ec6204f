#include "platform/system_info.h"

#include <limits.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <array>

namespace ferry {

std::string ComputerName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

std::string ComputerFullName() {
  std::string name = ComputerName();
  if (name.empty() || name.find('.') != std::string::npos) return name;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return name;
  std::string full = found != nullptr && found->ai_canonname != nullptr ? found->ai_canonname : "";
  freeaddrinfo(found);
  return full.find('.') != std::string::npos && full.size() < 256 ? full : name;
}

std::string ModulePath() {
  std::array<char, PATH_MAX> path{};
  ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return {};
  return std::string(path.data(), static_cast<std::size_t>(n));
}

std::string UserSettingsFolder() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
    return std::string(xdg) + "/mailferry";
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    return std::string(home) + "/.config/mailferry";
  return {};
}

}  // namespace ferry

namespace ferry {

void SetEnvironment(const std::string& name, const std::string& value) {
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
}

}  // namespace ferry

namespace ferry {

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  return local;
}

}  // namespace ferry
