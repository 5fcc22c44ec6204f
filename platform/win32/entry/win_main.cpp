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

// A GUI-subsystem program started from a command prompt has no standard
// output of its own: the verbs that talk to the user (-authorize prints the
// address and code to confirm, -install and -remove say what failed) write to
// the prompt's console instead. Handles a caller passed (a pipe, a file) stay.
void UseTheCallersConsole() {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
  const bool outGiven = out != nullptr && out != INVALID_HANDLE_VALUE;
  const bool errGiven = err != nullptr && err != INVALID_HANDLE_VALUE;
  if (outGiven && errGiven) return;
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;  // started by the service manager or a shortcut
  if (!outGiven) (void)std::freopen("CONOUT$", "w", stdout);
  if (!errGiven) (void)std::freopen("CONOUT$", "w", stderr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/, int /*show*/) {
  if (!IsWindowsNt()) return kNotWindowsNt;
  UseTheCallersConsole();
  const char* commandLine = GetCommandLineA();
  int status = ferry::ProcessEntry(ferry::SplitCommandLine(commandLine != nullptr ? commandLine : ""));
  // As on Linux: account workers end with the process, without static
  // destructors running under them.
  std::fflush(nullptr);
  std::_Exit(status);
}
