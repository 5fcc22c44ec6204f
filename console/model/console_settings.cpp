#include "console/model/console_settings.h"

#include <filesystem>
#include <fstream>

#include "console/model/text_rules.h"
#include "platform/system_info.h"

namespace ferry::console {
namespace {

// Far more than the settings need; a larger file is read only this far.
constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

}  // namespace

ConsoleSettings ParseConsoleSettings(std::string_view text) {
  ConsoleSettings settings;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    std::string trimmed = Trim(line);
    if (!trimmed.empty() && trimmed.back() == '\r') trimmed = Trim(trimmed.substr(0, trimmed.size() - 1));
    std::size_t equals = trimmed.find('=');
    if (trimmed.empty() || trimmed[0] == '#' || equals == std::string::npos) continue;
    std::string name = Trim(std::string_view(trimmed).substr(0, equals));
    std::string value = Trim(std::string_view(trimmed).substr(equals + 1));
    if (value.empty()) continue;
    if (SameTextIgnoringCase(name, "SshCommand")) settings.sshCommand = value;
    if (SameTextIgnoringCase(name, "RemoteCommand")) settings.remoteCommand = value;
    if (SameTextIgnoringCase(name, "AuthorizeCommand")) settings.authorizeCommand = value;
  }
  return settings;
}

std::string ConsoleSettingsPath() {
  const std::string folder = UserSettingsFolder();
  if (folder.empty()) return {};
  return (std::filesystem::path(folder) / "FerryConsole.conf").string();
}

ConsoleSettings LoadConsoleSettings() {
  const std::string path = ConsoleSettingsPath();
  if (path.empty()) return {};
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  std::string text(kMaxSettingsBytes, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  return ParseConsoleSettings(text);
}

std::vector<std::string> SplitCommandWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = '\0';
  for (char c : text) {
    if (quote != '\0') {
      if (c == quote) {
        quote = '\0';
      } else {
        word += c;
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

}  // namespace ferry::console
