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
  std::size_t pos = 0;
  while (pos < commandLine.size()) {
    while (pos < commandLine.size() && commandLine[pos] == ' ') ++pos;
    if (pos >= commandLine.size()) break;
    std::size_t end = commandLine.find(' ', pos);
    if (end == std::string_view::npos) end = commandLine.size();
    tokens.emplace_back(commandLine.substr(pos, end - pos));
    pos = end;
  }
  if (!tokens.empty() && tokens[0].starts_with('"')) tokens.erase(tokens.begin());
  if (tokens.size() > kMaxArguments) tokens.resize(kMaxArguments);
  return tokens;
}

Verb FindVerb(const std::vector<std::string>& args) {
  if (args.size() < 2) return Verb::None;
  const std::string& word = args[1];
  if (word.empty() || (word[0] != '-' && word[0] != '/')) return Verb::None;
  std::string_view name = std::string_view(word).substr(1);
  if (EqualsIgnoringCase(name, "install")) return Verb::Install;
  if (EqualsIgnoringCase(name, "remove")) return Verb::Remove;
  if (EqualsIgnoringCase(name, "debug")) return Verb::Debug;
  if (EqualsIgnoringCase(name, "create") && args.size() == 4) return Verb::Create;
  return Verb::None;
}

}  // namespace ferry
