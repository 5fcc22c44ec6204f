#include "tools/ferryreg/command_line.h"

#include "platform/registry.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

struct UsageError {
  std::string message;
};

// The switches of each verb, folded, without the leading '/'.
const std::vector<std::string_view> kQuerySwitches{"V", "VE", "S"};
const std::vector<std::string_view> kAddSwitches{"V", "VE", "T", "D", "F"};
const std::vector<std::string_view> kDeleteSwitches{"V", "VE", "F"};
const std::vector<std::string_view> kExportSwitches{"Y", "F", "SECRETS"};

bool IsSwitch(const std::string& arg) { return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-'); }

KeyPath ReadKey(const std::string& text, std::string* computer) {
  std::string_view rest = text;
  if (rest.starts_with("\\\\")) {
    rest.remove_prefix(2);
    std::size_t cut = rest.find('\\');
    if (cut == 0 || cut == std::string_view::npos) throw UsageError{"\"" + text + "\" names a computer but no key"};
    *computer = std::string(rest.substr(0, cut));
    rest.remove_prefix(cut + 1);
  }
  KeyPathParse parsed = ParseKeyPath(rest);
  if (!parsed.error.empty()) throw UsageError{"\"" + text + "\": " + parsed.error};
  return parsed.path;
}

// Reads the switches after the positional arguments; `allowed` lists the
// switch names (folded, without the leading '/') this verb takes.
void ReadSwitches(const std::vector<std::string>& args, std::size_t start, std::string_view verbName,
                  const std::vector<std::string_view>& allowed, Command* command) {
  std::vector<std::string> seen;
  bool typeGiven = false;
  std::string typeName = "REG_SZ";
  std::optional<std::string> dataText;
  for (std::size_t i = start; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!IsSwitch(arg)) throw UsageError{"unexpected argument \"" + arg + "\" for " + std::string(verbName)};
    std::string name = FoldName(arg.substr(1));
    bool known = false;
    for (std::string_view a : allowed) known = known || name == a;
    if (!known) throw UsageError{"\"" + arg + "\" is not a switch of " + std::string(verbName)};
    for (const std::string& s : seen) {
      if (s == name) throw UsageError{"\"" + arg + "\" is given twice"};
    }
    seen.push_back(name);
    auto argument = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError{"\"" + arg + "\" needs an argument"};
      return args[++i];
    };
    if (name == "V") {
      if (command->valueName) throw UsageError{"give either /v NAME or /ve, not both"};
      command->valueName = argument();
    } else if (name == "VE") {
      if (command->valueName) throw UsageError{"give either /v NAME or /ve, not both"};
      command->valueName = std::string();
    } else if (name == "S") {
      command->recursive = true;
    } else if (name == "F" || name == "Y") {
      command->force = true;
    } else if (name == "SECRETS") {
      command->secrets = true;
    } else if (name == "T") {
      typeGiven = true;
      typeName = argument();
    } else if (name == "D") {
      dataText = argument();
    }
  }
  if (typeGiven || dataText) {
    std::optional<uint32_t> type = ParseTypeName(typeName);
    if (!type) {
      throw UsageError{"unknown type \"" + typeName + "\" (use REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY)"};
    }
    if (!command->valueName) throw UsageError{"/t and /d need /v NAME or /ve"};
    if (!dataText && *type == reg::kDword) throw UsageError{"REG_DWORD needs /d DATA"};
    DataParse data = ParseDataArgument(*type, dataText.value_or(""));
    if (!data.error.empty()) throw UsageError{data.error};
    command->type = *type;
    command->typeGiven = typeGiven;
    command->dataText = dataText.value_or("");
    command->data = std::move(data.bytes);
    command->hasData = true;
  }
}

}  // namespace

CommandParse ParseCommandLine(const std::vector<std::string>& args) {
  CommandParse result;
  Command& c = result.command;
  try {
    if (args.empty()) throw UsageError{"no operation given (query, add, delete, export or import; --help for more)"};
    std::string verb = FoldName(args[0]);
    if (verb == "--HELP" || verb == "-H" || verb == "/?" || verb == "-?" || verb == "HELP") {
      c.verb = Verb::kHelp;
      return result;
    }
    // A positional argument may start with '/' (an absolute file path); only
    // a switch of the verb itself counts as missing the argument.
    auto positional = [&](std::size_t index, const char* what,
                          const std::vector<std::string_view>& switches) -> const std::string& {
      bool isSwitch = false;
      if (index < args.size() && IsSwitch(args[index])) {
        std::string name = FoldName(args[index].substr(1));
        for (std::string_view a : switches) isSwitch = isSwitch || name == a;
      }
      if (index >= args.size() || isSwitch) throw UsageError{std::string(args[0]) + " needs " + what};
      return args[index];
    };
    c.type = reg::kSz;
    if (verb == "QUERY") {
      c.verb = Verb::kQuery;
      c.key = ReadKey(positional(1, "a KEY", kQuerySwitches), &c.computer);
      ReadSwitches(args, 2, "query", kQuerySwitches, &c);
    } else if (verb == "ADD") {
      c.verb = Verb::kAdd;
      c.key = ReadKey(positional(1, "a KEY", kAddSwitches), &c.computer);
      ReadSwitches(args, 2, "add", kAddSwitches, &c);
      if (c.valueName && !c.hasData) {
        // A value named without /t and /d is an empty REG_SZ, as reg does.
        c.hasData = true;
      }
    } else if (verb == "DELETE") {
      c.verb = Verb::kDelete;
      c.key = ReadKey(positional(1, "a KEY", kDeleteSwitches), &c.computer);
      ReadSwitches(args, 2, "delete", kDeleteSwitches, &c);
      if (!c.valueName && c.key.parts.empty()) throw UsageError{"a root key cannot be deleted"};
    } else if (verb == "EXPORT") {
      c.verb = Verb::kExport;
      c.key = ReadKey(positional(1, "a KEY and a FILE", kExportSwitches), &c.computer);
      c.file = positional(2, "a FILE after the KEY", kExportSwitches);
      ReadSwitches(args, 3, "export", kExportSwitches, &c);
    } else if (verb == "IMPORT") {
      c.verb = Verb::kImport;
      c.file = positional(1, "a FILE", {});
      ReadSwitches(args, 2, "import", {}, &c);
    } else {
      throw UsageError{"unknown operation \"" + args[0] + "\" (query, add, delete, export or import)"};
    }
  } catch (const UsageError& e) {
    result.error = e.message;
  }
  return result;
}

std::string UsageText() {
  return R"(ferryreg: reads and changes the mail gateway's settings store.

  ferryreg query  KEY [/v NAME | /ve] [/s]
  ferryreg add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
  ferryreg delete KEY [/v NAME | /ve] [/f]
  ferryreg export KEY FILE [/y] [/secrets]
  ferryreg import FILE

KEY     [\\COMPUTER\]ROOT\SUBKEY: ROOT is HKEY_LOCAL_MACHINE (HKLM) or
        HKEY_CURRENT_USER (HKCU); letter case is ignored.
/v      a value by name; /ve the key's default (unnamed) value.
/s      query: every key below KEY as well.
/t      REG_SZ, REG_EXPAND_SZ, REG_DWORD or REG_BINARY. Without /t a value of
        the service's settings takes its type (REG_DWORD for "Timeout"), any
        other value REG_SZ.
/d      the data: a text for REG_SZ and REG_EXPAND_SZ (stored as given, without
        a terminating NUL); for REG_DWORD a decimal number (negative numbers
        give their two's complement) or 0x and hex digits; for REG_BINARY pairs
        of hex digits, e.g. 00ff10.
/f, /y  do not ask before overwriting a value or file, or before deleting.

Without /f, add asks before overwriting an existing value, delete asks before
deleting, and export asks before overwriting an existing FILE. The question is
answered on standard input: a line starting with "y" means yes; anything else,
or the end of input (as when standard input is not a terminal), means no, and
nothing is changed.

delete KEY removes the key with its whole subtree; delete KEY /v NAME removes
one value. A KEY that does not exist is created by add.

A value of the service's settings (a known name in the Parameters key, a
connection, an account or "volatile") is checked before it is written: a /t
that is not its type, a number outside its range or a text longer than it may
be is refused, and nothing is written. import checks every such value of the
file the same way before it changes anything.

export writes KEY and every key below it with all values to FILE (- for the
standard output, which then gets nothing else), in the .reg text format
("Windows Registry Editor Version 5.00"). Types and bytes are kept
exactly: a REG_SZ is written as "text" when its bytes hold no NUL, CR or LF,
else as hex(1): with its raw bytes; REG_EXPAND_SZ is always hex(2): with the
raw stored bytes (8-bit text, not UTF-16); REG_DWORD as dword:; REG_BINARY as
hex:; any other type as hex(N):. Texts are 8-bit bytes, written unchanged.
The credentials the service itself keeps (an account's OAuth refresh and
access tokens) and the OAuth client secret are left out unless /secrets is
given; importing such a file leaves the stored ones as they are.

import reads FILE (- for the standard input) in the same format ("name"=-,
[-KEY] and @= included). The whole file is checked first: on a malformed line
ferryreg names the line and changes nothing. The changes then take effect together or not at all. One file
may change keys of one root only. FILE is 8-bit (ANSI, Latin-1) text with LF or
CR LF line ends; a UTF-16 file must first be saved as ANSI text.

The store is the hive named by MAILFERRY_HIVE when it is set.

Exit status: 0 done; 1 the operation failed, was refused or was not
confirmed; 2 bad command line or malformed file.
)";
}

}  // namespace ferry::regtool
