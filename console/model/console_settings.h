// The console's own settings (not the service's): how another computer is
// reached over SSH. They live in a small text file in the user's
// settings folder, "$XDG_CONFIG_HOME/mailferry/FerryConsole.conf"
// (~/.config/... without XDG_CONFIG_HOME), "%APPDATA%\MailFerry\FerryConsole.conf"
// on Windows, one "Name=value" a line; '#'
// starts a comment line. Passwords are never kept: ssh uses the user's own
// configuration, agent and keys.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferry::console {

struct ConsoleSettings {
  // "SshCommand": the ssh program with any options of its own, split at
  // blanks ('...' and "..." keep a blank inside a word).
  std::string sshCommand = "ssh";
  // "RemoteCommand": the store tool as run on the other computer, a text for
  // its shell, e.g. "sudo -n -u mailferry ferryreg".
  std::string remoteCommand = "ferryreg";
  // "AuthorizeCommand": the gateway program that authorises an account, with
  // any words before it (e.g. "sudo -n -u mailferry /usr/sbin/mailferry2"):
  // split into words on this computer, a text for the shell over SSH. Empty:
  // mailferry2 beside the console when there, else /usr/sbin/mailferry2.
  std::string authorizeCommand;
};

// Unknown names and lines without '=' are ignored; an empty value keeps the default.
ConsoleSettings ParseConsoleSettings(std::string_view text);

// The file's path; empty when the user's settings folder is not known.
std::string ConsoleSettingsPath();

// The settings of ConsoleSettingsPath(); the defaults when it is missing.
ConsoleSettings LoadConsoleSettings();

// Words of a command text: split at blanks, quotes grouping.
std::vector<std::string> SplitCommandWords(std::string_view text);

}  // namespace ferry::console
