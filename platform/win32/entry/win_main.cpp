// The process entry of mailferry2 on Windows: a GUI-subsystem program without a
// console window. It runs only on the Windows NT platform, and splits its
// command line itself (the service manager and a shell both hand it over whole).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "service/runtime/command_line.h"
#include "service/runtime/service_entry.h"

namespace {

constexpr int kNotWindowsNt = 10;

bool IsWindowsNt() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;  // 148 bytes
  return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  if (!IsWindowsNt()) return kNotWindowsNt;
  const char* commandLine = GetCommandLineA();
  int status = ferry::ProcessEntry(ferry::SplitCommandLine(commandLine != nullptr ? commandLine : ""));
  // As on Linux: account workers end with the process, without static
  // destructors running under them.
  std::fflush(nullptr);
  std::_Exit(status);
}
