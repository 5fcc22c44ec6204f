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
  while (pos < commandLine.size() && commandLine[pos] == ' ') ++pos;
  if (pos < commandLine.size() && commandLine[pos] == '"') {
    // A quoted program path runs to its closing quote, whatever blanks it holds.
    std::size_t close = commandLine.find('"', pos + 1);
    if (close == std::string_view::npos) close = commandLine.size();
    tokens.emplace_back(commandLine.substr(pos + 1, close - pos - 1));
    pos = close + 1;
    if (pos < commandLine.size() && commandLine[pos] != ' ') {
      // Text glued to the closing quote still belongs to the program path.
      std::size_t end = commandLine.find(' ', pos);
      if (end == std::string_view::npos) end = commandLine.size();
      tokens.back() += commandLine.substr(pos, end - pos);
      pos = end;
    }
  }
  while (pos < commandLine.size()) {
    while (pos < commandLine.size() && commandLine[pos] == ' ') ++pos;
    if (pos >= commandLine.size()) break;
    std::size_t end = commandLine.find(' ', pos);
    if (end == std::string_view::npos) end = commandLine.size();
    tokens.emplace_back(commandLine.substr(pos, end - pos));
    pos = end;
  }
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
