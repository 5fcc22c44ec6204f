// The Control Panel entry of MailFerryRes.dll: one applet that opens
// FerryConsole.exe.
#pragma once

#include <string>
#include <vector>

namespace ferry::applet {

inline constexpr const char* kConsoleProgram = "FerryConsole.exe";
// Where "App Paths" names a program's place, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\FerryConsole.exe";

// The places to start the console from, in order: beside the library, the
// place "App Paths" names (when given), and the bare name for the system's
// search.
std::vector<std::string> ConsoleCandidates(const std::string& libraryPath, const std::string& appPath);

}  // namespace ferry::applet
