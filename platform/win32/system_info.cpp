#include "platform/system_info.h"

#include <windows.h>

#include <cstdlib>

namespace ferry {

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size)) return {};
  return std::string(name, size);
}

std::string ComputerFullName() {
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsFullyQualified, name, &size) || size == 0) return ComputerName();
  return std::string(name, size);
}

std::string ModulePath() {
  // The path is taken as the service's executable path, which the service
  // manager keeps in a buffer of 512 characters.
  char path[512] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  if (n == 0 || n >= sizeof path) return {};
  return std::string(path, n);
}

std::string UserSettingsFolder() {
  const char* data = std::getenv("APPDATA");
  if (data == nullptr || *data == '\0') return {};
  return std::string(data) + "\\MailFerry";
}

void SetEnvironment(const std::string& name, const std::string& value) {
  // An empty value removes the variable, from the C runtime's copy and from
  // the process environment that child processes inherit.
  _putenv_s(name.c_str(), value.c_str());
}

std::tm LocalTime(std::time_t when) {
  std::tm local{};
  localtime_s(&local, &when);
  return local;
}

}  // namespace ferry
