#include "tools/ferryreg/reg_file_diff.h"

#include <map>
#include <string>

#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/reg_file_parser.h"

namespace ferry::regtool {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

std::string FoldedPath(const KeyPath& path) {
  std::string folded(RootName(path.root));
  for (const std::string& part : path.parts) folded += '\\' + FoldName(part);
  return folded;
}

const ValueData* FindValue(const KeyDump& key, const std::string& foldedName) {
  for (const ValueData& v : key.values)
    if (FoldName(v.name) == foldedName) return &v;
  return nullptr;
}

// "name"=- (or @=- for the default value).
std::string DeleteValueLine(const std::string& name) {
  std::string line = FormatValueLine(ValueData{name, 1, {}});  // ends in =""
  line.resize(line.size() - 2);
  return line + "-";
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

}  // namespace

RegFileWrite WriteRegDiff(const std::vector<KeyDump>& before, const std::vector<KeyDump>& after) {
  RegFileWrite result;
  std::map<std::string, const KeyDump*> old;
  std::map<std::string, const KeyDump*> now;
  for (const KeyDump& key : before) old.emplace(FoldedPath(key.path), &key);
  for (const KeyDump& key : after) now.emplace(FoldedPath(key.path), &key);

  std::string body;
  auto section = [&](const KeyPath& path, bool remove, const std::vector<std::string>& lines) -> bool {
    const std::string name = FullKeyName(path);
    if (HasLineBreak(name)) {
      result.error = "the key name \"" + name + "\" holds a line break, which a .reg file cannot hold";
      return false;
    }
    body += kLineEnd;
    body += (remove ? "[-" : "[") + name + "]";
    body += kLineEnd;
    for (const std::string& line : lines) {
      if (HasLineBreak(line)) {
        result.error = "a value name in \"" + name + "\" holds a line break, which a .reg file cannot hold";
        return false;
      }
      body += line;
      body += kLineEnd;
    }
    return true;
  };

  for (const KeyDump& key : before) {
    if (now.contains(FoldedPath(key.path))) continue;
    KeyPath parent = key.path;
    parent.parts.pop_back();
    // A parent that is gone as well takes this key along.
    if (!key.path.parts.empty() && old.contains(FoldedPath(parent)) && !now.contains(FoldedPath(parent))) continue;
    if (!section(key.path, true, {})) return result;
  }
  for (const KeyDump& key : after) {
    auto found = old.find(FoldedPath(key.path));
    std::vector<std::string> lines;
    if (found == old.end()) {
      for (const ValueData& v : key.values) lines.push_back(FormatValueLine(v));
      if (!section(key.path, false, lines)) return result;
      continue;
    }
    const KeyDump& was = *found->second;
    for (const ValueData& v : key.values) {
      const ValueData* w = FindValue(was, FoldName(v.name));
      if (w == nullptr || w->type != v.type || w->bytes != v.bytes) lines.push_back(FormatValueLine(v));
    }
    for (const ValueData& w : was.values)
      if (FindValue(key, FoldName(w.name)) == nullptr) lines.push_back(DeleteValueLine(w.name));
    if (!lines.empty() && !section(key.path, false, lines)) return result;
  }
  result.text = std::string(kRegFileHeader) + std::string(kLineEnd) + body;
  if (!body.empty()) result.text += kLineEnd;
  return result;
}

}  // namespace ferry::regtool
