#include "tools/ferryreg/reg_file_writer.h"

#include <cstdio>

#include "platform/registry.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/reg_file_parser.h"

namespace ferry::regtool {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::size_t kWrapColumn = 80;

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

void AppendHexList(std::string* line, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bool last = i + 1 == bytes.size();
    // "xx," plus room for the continuation '\'.
    if (i > 0 && line->size() - lineStart + 4 > kWrapColumn) {
      *line += '\\';
      *line += kLineEnd;
      lineStart = line->size();
      *line += "  ";
    }
    auto u = static_cast<unsigned char>(bytes[i]);
    *line += kHex[u >> 4];
    *line += kHex[u & 0x0F];
    if (!last) *line += ',';
  }
}

}  // namespace

std::string FormatValueLine(const ValueData& value) {
  std::string line = value.name.empty() ? std::string("@") : Quote(value.name);
  line += '=';
  if (value.type == reg::kSz && value.bytes.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos) {
    line += Quote(value.bytes);
  } else if (value.type == reg::kDword && value.bytes.size() == 4) {
    uint32_t number = 0;
    for (int i = 3; i >= 0; --i) {
      number = (number << 8) | static_cast<unsigned char>(value.bytes[static_cast<std::size_t>(i)]);
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "dword:%08x", number);
    line += buffer;
  } else {
    if (value.type == reg::kBinary) {
      line += "hex:";
    } else {
      char buffer[24];
      std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
      line += buffer;
    }
    AppendHexList(&line, value.bytes);
  }
  return line;
}

RegFileWrite WriteRegFile(const std::vector<KeyDump>& keys) {
  RegFileWrite result;
  result.text = std::string(kRegFileHeader) + std::string(kLineEnd);
  for (const KeyDump& key : keys) {
    std::string name = FullKeyName(key.path);
    if (HasLineBreak(name)) {
      result.error = "the key name \"" + name + "\" holds a line break, which a .reg file cannot hold";
      result.text.clear();
      return result;
    }
    result.text += kLineEnd;
    result.text += '[' + name + ']';
    result.text += kLineEnd;
    for (const ValueData& value : key.values) {
      if (HasLineBreak(value.name)) {
        result.error = "a value name in \"" + name + "\" holds a line break, which a .reg file cannot hold";
        result.text.clear();
        return result;
      }
      result.text += FormatValueLine(value);
      result.text += kLineEnd;
    }
  }
  result.text += kLineEnd;
  return result;
}

}  // namespace ferry::regtool
