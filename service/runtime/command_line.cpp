#include "service/runtime/command_line.h"

#include <cctype>

namespace ferry {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> tokens;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  std::size_t pos = 0;
  while (pos < commandLine.size() && blank(commandLine[pos])) ++pos;
  if (pos < commandLine.size()) {
    // The program path: double quotes only group (a path holds no quote of its
    // own), and a backslash is an ordinary character.
    std::string program;
    bool quoted = false;
    for (; pos < commandLine.size() && (quoted || !blank(commandLine[pos])); ++pos) {
      if (commandLine[pos] == '"') {
        quoted = !quoted;
      } else {
        program += commandLine[pos];
      }
    }
    tokens.push_back(std::move(program));
  }
  while (tokens.size() < kMaxArguments) {
    while (pos < commandLine.size() && blank(commandLine[pos])) ++pos;
    if (pos >= commandLine.size()) break;
    std::string argument;
    bool quoted = false;
    while (pos < commandLine.size() && (quoted || !blank(commandLine[pos]))) {
      const char c = commandLine[pos];
      if (c == '\\') {
        // Backslashes are literal unless a double quote follows them: then
        // each pair is one backslash, and an odd one makes the quote literal.
        std::size_t run = 0;
        while (pos < commandLine.size() && commandLine[pos] == '\\') ++run, ++pos;
        const bool beforeQuote = pos < commandLine.size() && commandLine[pos] == '"';
        argument.append(beforeQuote ? run / 2 : run, '\\');
        if (beforeQuote && run % 2 == 1) {
          argument += '"';
          ++pos;
        }
      } else if (c == '"') {
        if (quoted && pos + 1 < commandLine.size() && commandLine[pos + 1] == '"') {
          argument += '"';  // "" inside quotes is one literal quote
          pos += 2;
        } else {
          quoted = !quoted;
          ++pos;
        }
      } else {
        argument += c;
        ++pos;
      }
    }
    tokens.push_back(std::move(argument));
  }
  return tokens;
}

Verb FindVerb(const std::vector<std::string>& args) {
  if (args.size() < 2) return Verb::None;
  const std::string& word = args[1];
  if (word.empty() || (word[0] != '-' && word[0] != '/')) return Verb::Unknown;
  std::string_view name = std::string_view(word).substr(1);
  if (word.rfind("--", 0) == 0) name.remove_prefix(1);
  if (EqualsIgnoringCase(name, "install")) return Verb::Install;
  if (EqualsIgnoringCase(name, "remove")) return Verb::Remove;
  if (EqualsIgnoringCase(name, "debug")) return Verb::Debug;
  if (EqualsIgnoringCase(name, "status")) return Verb::Status;
  if (EqualsIgnoringCase(name, "create")) return args.size() == 4 ? Verb::Create : Verb::Unknown;
  if (EqualsIgnoringCase(name, "authorize")) return args.size() == 4 ? Verb::Authorize : Verb::Unknown;
  if (EqualsIgnoringCase(name, "release")) {
    return args.size() == 4 || args.size() == 5 ? Verb::Release : Verb::Unknown;
  }
  if (EqualsIgnoringCase(name, "help") || EqualsIgnoringCase(name, "h") || name == "?") return Verb::Help;
  if (EqualsIgnoringCase(name, "version")) return Verb::Version;
  return Verb::Unknown;
}

std::string UsageText() {
  return "Usage: mailferry2 [VERB]\n"
         "The POP3-to-SMTP mail gateway service.\n"
         "\n"
         "  (no verb)            run as the service; systemd or the Windows service manager starts it so\n"
         "  -debug               run in the foreground until Ctrl+C; events and debug-log lines also go\n"
         "                       to standard error\n"
         "  -create CONN ACCOUNT make the keys of an account with every value at its default\n"
         "  -status              show each account's last run: time, outcome, messages forwarded and\n"
         "                       left, last error\n"
         "  -release CONN ACCOUNT [ID|all]\n"
         "                       send again the messages the SMTP server refused for good (by default\n"
         "                       all of the account's mailbox; ID: one unique id from the events)\n"
         "  -authorize CONN ACCOUNT\n"
         "                       sign the account in with OAuth once (a code to enter in a browser, or\n"
         "                       an address to open) and keep the refresh token for its runs\n"
         "  -install             install the service (on Linux the systemd unit mailferry2.service)\n"
         "  -remove              stop and remove the installed service\n"
         "  -h, --help           show this text\n"
         "  --version            show the version\n"
         "\n"
         "A verb may also start with \"/\"; letter case does not matter. The settings store is\n"
         "edited with ferryreg; see mailferry2(8) and mailferry2-settings(5).\n";
}

}  // namespace ferry
