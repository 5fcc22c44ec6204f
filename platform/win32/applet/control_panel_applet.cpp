// CPlApplet: the Control Panel's entry point. MailFerryRes.dll holds one
// applet; a double click starts FerryConsole.exe.
#include "platform/win32/applet/control_panel_applet.h"

#include <windows.h>
// After windows.h, which it needs.
#include <cpl.h>

#include "platform/win32/applet/applet_ids.h"

namespace ferry::applet {

std::vector<std::string> ConsoleCandidates(const std::string& libraryPath, const std::string& appPath) {
  std::vector<std::string> places;
  std::string::size_type slash = libraryPath.find_last_of("\\/");
  if (slash != std::string::npos) places.push_back(libraryPath.substr(0, slash + 1) + kConsoleProgram);
  if (!appPath.empty()) places.push_back(appPath);
  places.emplace_back(kConsoleProgram);
  return places;
}

namespace {

HMODULE ThisLibrary() {
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ThisLibrary), &module);
  return module;
}

std::string LibraryPath() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(ThisLibrary(), path, sizeof path);
  return n == 0 || n >= sizeof path ? std::string() : std::string(path, n);
}

std::string AppPath() {
  char path[MAX_PATH] = {};
  DWORD size = sizeof path - 1;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kAppPathsKey, nullptr, RRF_RT_REG_SZ, nullptr, path, &size) != ERROR_SUCCESS)
    return {};
  return path;
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Starts the first candidate that exists (the bare name goes to the system's search).
bool StartConsole(HWND owner) {
  for (const std::string& place : ConsoleCandidates(LibraryPath(), AppPath())) {
    bool bare = place.find_first_of("\\/") == std::string::npos;
    if (!bare && !IsFile(place)) continue;
    std::string line = "\"" + place + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessA(bare ? nullptr : place.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
      return true;
    }
  }
  MessageBoxA(owner, "FerryConsole.exe wurde nicht gefunden.", "Ferrylink Gateway", MB_OK | MB_ICONSTOP);
  return false;
}

}  // namespace
}  // namespace ferry::applet

extern "C" __declspec(dllexport) LONG APIENTRY CPlApplet(HWND owner, UINT message, LPARAM lParam1, LPARAM lParam2) {
  switch (message) {
    case CPL_INIT:
      return TRUE;
    case CPL_GETCOUNT:
      return 1;
    case CPL_INQUIRE: {
      auto* info = reinterpret_cast<CPLINFO*>(lParam2);
      info->idIcon = IDI_APPLET;
      info->idName = IDS_APPLET_NAME;
      info->idInfo = IDS_APPLET_INFO;
      info->lData = 0;
      return 0;
    }
    case CPL_DBLCLK:
      return ferry::applet::StartConsole(owner) ? 0 : 1;
    default:
      (void)lParam1;
      return 0;
  }
}
