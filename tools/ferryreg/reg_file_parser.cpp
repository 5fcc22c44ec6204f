#include "tools/ferryreg/reg_file_parser.h"

#include <optional>

#include "platform/registry.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

bool StartsWithFolded(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && FoldName(s.substr(0, prefix.size())) == FoldName(prefix);
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Thrown inside the parser for a malformed line; caught once in ParseRegFile.
struct LineError {
  int line;
  std::string message;
};

// Reads a quoted text starting at s[*pos] == '"'; leaves *pos after the
// closing quote.
std::string ReadQuoted(std::string_view s, std::size_t* pos, int line, std::string_view what) {
  std::string out;
  std::size_t i = *pos + 1;
  for (;;) {
    if (i >= s.size()) throw LineError{line, "the " + std::string(what) + " has no closing quote"};
    char c = s[i];
    if (c == '"') break;
    if (c == '\\') {
      if (i + 1 >= s.size()) throw LineError{line, "the " + std::string(what) + " has no closing quote"};
      char next = s[i + 1];
      if (next != '\\' && next != '"') {
        throw LineError{line, "unknown escape \\" + std::string(1, next) + " in the " + std::string(what) +
                                  " (write \\\\ for a backslash, \\\" for a quote)"};
      }
      out += next;
      i += 2;
      continue;
    }
    out += c;
    ++i;
  }
  *pos = i + 1;
  return out;
}

KeyPath ReadKeyPath(std::string_view text, int line) {
  KeyPathParse parsed = ParseKeyPath(text);
  if (!parsed.error.empty()) throw LineError{line, parsed.error + ": [" + std::string(text) + "]"};
  return parsed.path;
}

// A hex list that may go on over several lines. `lines[*index]` holds its
// start (after the "hex...:"), and *index is left on its last line.
std::string ReadHexList(std::string_view first, const std::vector<std::string_view>& lines, std::size_t* index) {
  // The list text with the line each piece came from, to name the right line.
  struct Piece {
    std::string_view text;
    int line;
  };
  std::vector<Piece> pieces;
  std::string_view current = first;
  for (;;) {
    int line = static_cast<int>(*index) + 1;
    std::string_view trimmed = TrimRight(current);
    if (!trimmed.empty() && trimmed.back() == '\\') {
      pieces.push_back({trimmed.substr(0, trimmed.size() - 1), line});
      if (*index + 1 >= lines.size()) throw LineError{line, "the hex list goes on past the end of the file"};
      ++*index;
      current = TrimLeft(lines[*index]);
      continue;
    }
    pieces.push_back({trimmed, line});
    break;
  }

  std::string bytes;
  bool anyText = false;
  for (const Piece& piece : pieces) {
    if (!Trim(piece.text).empty()) anyText = true;
  }
  if (!anyText) return bytes;

  // Elements are separated by commas; a piece that ends in a comma hands the
  // next element to the following piece.
  std::string element;
  int elementLine = pieces.front().line;
  auto finish = [&](int line) {
    std::string_view e = Trim(element);
    if (e.size() != 2 || HexDigitValue(e[0]) < 0 || HexDigitValue(e[1]) < 0) {
      if (e.empty()) throw LineError{line, "the hex list has an empty entry (two commas, or a comma at its end)"};
      throw LineError{line, "\"" + std::string(e) + "\" in the hex list is not a byte of two hex digits"};
    }
    bytes += static_cast<char>(HexDigitValue(e[0]) * 16 + HexDigitValue(e[1]));
    element.clear();
  };
  for (const Piece& piece : pieces) {
    for (char c : piece.text) {
      if (c == ',') {
        finish(piece.line);
        elementLine = piece.line;
      } else {
        if (Trim(element).empty() && !IsBlank(c)) elementLine = piece.line;
        element += c;
      }
    }
  }
  finish(elementLine);
  return bytes;
}

// The data after '=' of a value line; nullopt asks to delete the value.
std::optional<std::pair<uint32_t, std::string>> ReadData(std::string_view data, const std::vector<std::string_view>& lines,
                                                         std::size_t* index) {
  int line = static_cast<int>(*index) + 1;
  if (data.empty()) throw LineError{line, "the value has no data after '='"};
  if (data.front() == '"') {
    std::size_t pos = 0;
    std::string text = ReadQuoted(data, &pos, line, "text");
    if (!Trim(data.substr(pos)).empty()) {
      throw LineError{line, "unexpected \"" + std::string(Trim(data.substr(pos))) + "\" after the closing quote"};
    }
    return std::pair{reg::kSz, std::move(text)};
  }
  if (TrimRight(data) == "-") return std::nullopt;
  if (StartsWithFolded(data, "dword:")) {
    std::string_view digits = TrimRight(data.substr(6));
    uint32_t value = 0;
    bool ok = !digits.empty() && digits.size() <= 8;
    for (char c : digits) {
      int d = HexDigitValue(c);
      if (d < 0) ok = false;
      value = value * 16 + static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    if (!ok) throw LineError{line, "dword: needs 1 to 8 hex digits, not \"" + std::string(digits) + "\""};
    return std::pair{reg::kDword, DwordBytes(value)};
  }
  if (StartsWithFolded(data, "hex")) {
    std::string_view rest = data.substr(3);
    uint32_t type = reg::kBinary;
    if (!rest.empty() && rest.front() == '(') {
      std::size_t close = rest.find(')');
      std::string_view digits = close == std::string_view::npos ? std::string_view() : rest.substr(1, close - 1);
      bool ok = !digits.empty() && digits.size() <= 8;
      type = 0;
      for (char c : digits) {
        int d = HexDigitValue(c);
        if (d < 0) ok = false;
        type = type * 16 + static_cast<uint32_t>(d < 0 ? 0 : d);
      }
      if (!ok) throw LineError{line, "hex(N): needs a type number of 1 to 8 hex digits"};
      rest = rest.substr(close + 1);
    }
    if (rest.empty() || rest.front() != ':') throw LineError{line, "a ':' must follow \"hex\" or \"hex(N)\""};
    return std::pair{type, ReadHexList(rest.substr(1), lines, index)};
  }
  throw LineError{line, "unknown value data \"" + std::string(TrimRight(data)) +
                            "\" (expected \"text\", dword:, hex:, hex(N): or -)"};
}

}  // namespace

RegFileParse ParseRegFile(std::string_view text) {
  RegFileParse result;
  std::vector<std::string_view> lines = SplitLines(text);
  try {
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
      throw LineError{1, "the file is UTF-16 text; save it as 8-bit (ANSI, Latin-1) text"};
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
      throw LineError{1, "the file is UTF-8 text with a byte order mark; save it as 8-bit (ANSI, Latin-1) text"};
    }
    std::string_view header = lines.empty() ? std::string_view() : TrimRight(lines[0]);
    if (header != kRegFileHeader && header != "REGEDIT4") {
      throw LineError{1, "the file must begin with the line \"" + std::string(kRegFileHeader) + "\""};
    }
    // Set while a key header is open for values; cleared by a key deletion.
    std::optional<KeyPath> current;
    bool afterDeletion = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      int line = static_cast<int>(i) + 1;
      std::string_view s = Trim(lines[i]);
      if (s.empty() || s.front() == ';') continue;
      if (s.front() == '[') {
        if (s.back() != ']') throw LineError{line, "the key header has no closing ']'"};
        std::string_view inner = s.substr(1, s.size() - 2);
        RegOperation op;
        op.line = line;
        if (!inner.empty() && inner.front() == '-') {
          op.kind = RegOperation::Kind::kDeleteKey;
          op.key = ReadKeyPath(inner.substr(1), line);
          if (op.key.parts.empty()) throw LineError{line, "a root key cannot be deleted"};
          current.reset();
          afterDeletion = true;
        } else {
          op.kind = RegOperation::Kind::kCreateKey;
          op.key = ReadKeyPath(inner, line);
          current = op.key;
        }
        result.operations.push_back(std::move(op));
        continue;
      }
      if (s.front() != '"' && s.front() != '@') {
        throw LineError{line, "expected a [key] header, a \"name\"= or @= value line, a comment or a blank line"};
      }
      if (!current) {
        throw LineError{line, afterDeletion ? "a value line must follow a [key] header, not a [-key] deletion"
                                            : "a value line must follow a [key] header"};
      }
      RegOperation op;
      op.line = line;
      op.key = *current;
      std::size_t pos = 1;
      if (s.front() == '"') {
        pos = 0;
        op.value.name = ReadQuoted(s, &pos, line, "value name");
        if (op.value.name.size() > kMaxValueNameLength) throw LineError{line, "the value name is too long"};
      }
      std::string_view rest = TrimLeft(s.substr(pos));
      if (rest.empty() || rest.front() != '=') throw LineError{line, "expected '=' after the value name"};
      std::string_view data = TrimLeft(rest.substr(1));
      auto parsed = ReadData(data, lines, &i);
      if (parsed) {
        op.kind = RegOperation::Kind::kSetValue;
        op.value.type = parsed->first;
        op.value.bytes = std::move(parsed->second);
      } else {
        op.kind = RegOperation::Kind::kDeleteValue;
      }
      result.operations.push_back(std::move(op));
    }
  } catch (const LineError& e) {
    result.operations.clear();
    result.errorLine = e.line;
    result.error = e.message;
  }
  return result;
}

}  // namespace ferry::regtool
