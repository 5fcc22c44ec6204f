// The command line of ferryreg, read into a Command without touching the store.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/ferryreg/reg_data.h"

namespace ferry::regtool {

enum class Verb { kHelp, kQuery, kAdd, kDelete, kExport, kImport };

struct Command {
  Verb verb = Verb::kHelp;
  std::string computer;  // from a "\\computer\" prefix of KEY; empty: this computer
  KeyPath key;
  std::optional<std::string> valueName;  // /v NAME, or "" for /ve
  bool recursive = false;                // /s
  bool force = false;                    // /f (and /y for export)
  uint32_t type = 0;                     // /t, REG_SZ when not given
  bool typeGiven = false;                // /t given
  std::string dataText;                  // /d DATA as given
  std::string data;                      // the bytes of /d DATA for `type`
  bool hasData = false;                  // /t or /d given
  std::string file;                      // export and import
  bool secrets = false;                  // /secrets: export the tokens the service keeps too
};

struct CommandParse {
  Command command;
  std::string error;  // empty on success
};

// `args` are the arguments after the program name. Switches start with '/'
// or '-' and are matched without regard to letter case.
CommandParse ParseCommandLine(const std::vector<std::string>& args);

// The text printed for --help.
std::string UsageText();

}  // namespace ferry::regtool
