// The command line that authorises an account once for OAuth sign-in: the
// gateway program's "-authorize CONNECTION ACCOUNT", run on this computer or,
// when the console works on another computer over SSH, there through ssh. The
// program reads the account's OAuth values from the store and keeps the token
// there, so the values it uses must be saved first.
#pragma once

#include <string>
#include <vector>

#include "console/model/console_settings.h"
#include "console/model/console_tables.h"

namespace ferry::console {

// Where the program runs.
struct AuthorizePlace {
  // Empty: this computer. Otherwise the ssh host of the computer the console works on.
  std::string sshHost;
  // The folder of the console's own program: a gateway program beside it
  // (a build tree) is preferred to the installed one.
  std::string consoleFolder;
};

struct AuthorizeLine {
  std::vector<std::string> argv;  // Latin-1 words; empty when refused
  std::string refusal;            // why not (German, Latin-1)
};

// The installed gateway program.
inline constexpr const char* kInstalledGatewayProgram = "/usr/sbin/mailferry2";

// The gateway program this computer runs: the "AuthorizeCommand" setting's
// words, else mailferry2 beside the console when it is there, else the
// installed one.
std::vector<std::string> LocalAuthorizeProgram(const ConsoleSettings& settings, const std::string& consoleFolder);

// The command line for the account `row` as the console holds it now, or why
// it cannot be run: no OAuth login is chosen, or the OAuth values (or the
// account itself) are not saved yet.
AuthorizeLine MakeAuthorizeLine(const AccountRow& row, const ConsoleSettings& settings, const AuthorizePlace& place);

}  // namespace ferry::console
