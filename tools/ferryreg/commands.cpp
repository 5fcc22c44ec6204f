#include "tools/ferryreg/commands.h"

#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "platform/store_location.h"
#include "schema/registry_schema.h"
#include "tools/ferryreg/command_line.h"
#include "tools/ferryreg/hive_access.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/reg_file_parser.h"
#include "tools/ferryreg/reg_file_writer.h"
#include "tools/ferryreg/table_check.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

constexpr std::string_view kDone = "The operation completed successfully.\n";
constexpr std::string_view kIndent = "    ";
// The FILE of export and import that stands for standard output or input.
constexpr std::string_view kStandardStream = "-";

// Asks a yes/no question; only a line starting with y or Y is a yes, and the
// end of input is a no.
bool Confirm(const std::string& question, std::istream& in, std::ostream& out) {
  out << question << " (Yes/No)? " << std::flush;
  std::string answer;
  if (!std::getline(in, answer)) {
    out << '\n';
    return false;
  }
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

int Fail(std::ostream& err, const std::string& message) {
  err << "ERROR: " << message << '\n';
  return kExitFailed;
}

int StoreFailure(std::ostream& err, const std::string& what, long code) {
  return Fail(err, what + ": " + StoreErrorText(code));
}

std::string DisplayName(const std::string& name) { return name.empty() ? "(Default)" : name; }

void ListValue(const ValueData& value, std::ostream& out) {
  out << kIndent << DisplayName(value.name) << kIndent << TypeName(value.type) << kIndent
      << FormatDataForListing(value.type, value.bytes) << '\n';
}

int Query(const Command& c, reg::Key root, std::ostream& out, std::ostream& err) {
  std::string keyName = FullKeyName(c.key);
  if (c.recursive) {
    std::vector<KeyDump> keys;
    if (long rc = ReadTree(root, c.key, true, &keys); rc != reg::kOk) return StoreFailure(err, keyName, rc);
    std::size_t matches = 0;
    for (const KeyDump& key : keys) {
      if (c.valueName) {
        std::string folded = FoldName(*c.valueName);
        for (const ValueData& value : key.values) {
          if (FoldName(value.name) != folded) continue;
          out << '\n' << FullKeyName(key.path) << '\n';
          ListValue(value, out);
          ++matches;
        }
      } else {
        out << '\n' << FullKeyName(key.path) << '\n';
        for (const ValueData& value : key.values) ListValue(value, out);
      }
    }
    if (c.valueName) {
      out << "\nEnd of search: " << matches << " match(es) found.\n";
      if (matches == 0) return Fail(err, "the value \"" + DisplayName(*c.valueName) + "\" was not found");
    }
    return kExitOk;
  }

  reg::KeyHolder key;
  if (long rc = OpenPath(root, c.key, &key); rc != reg::kOk) return StoreFailure(err, keyName, rc);
  if (c.valueName) {
    ValueData value;
    if (long rc = ReadValue(key.get(), *c.valueName, &value); rc != reg::kOk) {
      return StoreFailure(err, keyName + " value \"" + DisplayName(*c.valueName) + "\"", rc);
    }
    out << '\n' << keyName << '\n';
    ListValue(value, out);
    out << '\n';
    return kExitOk;
  }
  std::vector<ValueData> values;
  std::vector<std::string> subkeys;
  if (long rc = ReadValues(key.get(), &values); rc != reg::kOk) return StoreFailure(err, keyName, rc);
  if (long rc = ReadSubkeyNames(key.get(), &subkeys); rc != reg::kOk) return StoreFailure(err, keyName, rc);
  out << '\n' << keyName << '\n';
  for (const ValueData& value : values) ListValue(value, out);
  out << '\n';
  for (const std::string& name : subkeys) out << keyName << '\\' << name << '\n';
  return kExitOk;
}

int Add(const Command& c, reg::Key root, std::istream& in, std::ostream& out, std::ostream& err) {
  std::string keyName = FullKeyName(c.key);
  ValueData value;
  if (c.valueName) {
    TypedValue typed = ValueForAdd(c.key, ValueData{*c.valueName, c.type, c.data}, c.typeGiven, c.dataText);
    if (!typed.refusal.empty()) return Fail(err, typed.refusal + "; nothing was written");
    value = std::move(typed.value);
  }
  reg::KeyHolder key;
  if (long rc = reg::CreateKey(root, SubKeyText(c.key), key.out()); rc != reg::kOk) {
    return StoreFailure(err, keyName, rc);
  }
  if (c.valueName) {
    uint32_t size = 0;
    bool exists = reg::QueryValue(key.get(), *c.valueName, nullptr, nullptr, &size) == reg::kOk;
    if (exists && !c.force &&
        !Confirm("Value " + DisplayName(*c.valueName) + " exists, overwrite it", in, out)) {
      return Fail(err, "not overwritten (give /f to overwrite without asking)");
    }
    if (long rc = reg::SetValue(key.get(), value.name, value.type, value.bytes.data(),
                                static_cast<uint32_t>(value.bytes.size()));
        rc != reg::kOk) {
      return StoreFailure(err, keyName + " value \"" + DisplayName(*c.valueName) + "\"", rc);
    }
  }
  out << kDone;
  return kExitOk;
}

int Delete(const Command& c, reg::Key root, std::istream& in, std::ostream& out, std::ostream& err) {
  std::string keyName = FullKeyName(c.key);
  reg::KeyHolder key;
  if (long rc = OpenPath(root, c.key, &key); rc != reg::kOk) return StoreFailure(err, keyName, rc);
  if (c.valueName) {
    uint32_t size = 0;
    if (long rc = reg::QueryValue(key.get(), *c.valueName, nullptr, nullptr, &size); rc != reg::kOk) {
      return StoreFailure(err, keyName + " value \"" + DisplayName(*c.valueName) + "\"", rc);
    }
    if (!c.force && !Confirm("Delete the value " + DisplayName(*c.valueName) + " of " + keyName, in, out)) {
      return Fail(err, "not deleted (give /f to delete without asking)");
    }
    if (long rc = reg::DeleteValue(key.get(), *c.valueName); rc != reg::kOk) {
      return StoreFailure(err, keyName + " value \"" + DisplayName(*c.valueName) + "\"", rc);
    }
    out << kDone;
    return kExitOk;
  }
  key.Reset();
  if (!c.force && !Confirm("Permanently delete the key " + keyName + " and everything below it", in, out)) {
    return Fail(err, "not deleted (give /f to delete without asking)");
  }
  // One transaction, so that a failure half-way leaves the whole subtree.
  if (long rc = reg::BeginTransaction(root); rc != reg::kOk) return StoreFailure(err, keyName, rc);
  long rc = DeleteTree(root, c.key);
  if (rc == reg::kOk) {
    rc = reg::CommitTransaction(root);
  } else {
    reg::RollbackTransaction(root);
  }
  if (rc != reg::kOk) return StoreFailure(err, keyName, rc);
  out << kDone;
  return kExitOk;
}

// Writes `text` to `path` through a temporary file beside it, readable by the
// owner only (an export holds the POP3 passwords).
bool WriteFileReplacing(const std::filesystem::path& path, const std::string& text, std::string* error) {
  std::filesystem::path temporary = path;
  temporary += ".ferryreg-tmp";
  std::error_code ec;
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file) {
      *error = "cannot create " + temporary.string();
      return false;
    }
    std::filesystem::permissions(temporary, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::replace, ec);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file || ec) {
      *error = "cannot write " + temporary.string();
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    *error = "cannot replace " + path.string() + ": " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

// Drops the values of the settings table marked secret from the keys of
// the settings tree.
void LeaveOutSecrets(std::vector<KeyDump>* keys) {
  for (KeyDump& key : *keys) {
    if (key.path.root != Root::kLocalMachine) continue;
    std::string path;
    for (const std::string& part : key.path.parts) path += (path.empty() ? "" : "\\") + part;
    const std::optional<schema::Level> level = schema::LevelOfKey(path);
    if (!level) continue;
    std::erase_if(key.values, [&](const ValueData& value) {
      const schema::ValueInfo* info = schema::FindValue(*level, value.name);
      return info != nullptr && info->secret;
    });
  }
}

int Export(const Command& c, reg::Key root, std::istream& in, std::ostream& out, std::ostream& err) {
  std::string keyName = FullKeyName(c.key);
  std::vector<KeyDump> keys;
  // Read inside a transaction for a consistent picture of the subtree; nothing
  // is written, so it is rolled back.
  if (long rc = reg::BeginTransaction(root); rc != reg::kOk) return StoreFailure(err, keyName, rc);
  long rc = ReadTree(root, c.key, true, &keys);
  reg::RollbackTransaction(root);
  if (rc != reg::kOk) return StoreFailure(err, keyName, rc);

  if (!c.secrets) LeaveOutSecrets(&keys);
  RegFileWrite written = WriteRegFile(keys);
  if (!written.error.empty()) return Fail(err, written.error);
  if (c.file == kStandardStream) {
    // The file's text alone, for a pipe (another computer's console reads it over SSH).
    out.write(written.text.data(), static_cast<std::streamsize>(written.text.size()));
    out.flush();
    return out ? kExitOk : Fail(err, "cannot write the standard output");
  }
  std::error_code ec;
  if (std::filesystem::exists(c.file, ec) && !c.force &&
      !Confirm("File " + c.file + " exists, overwrite it", in, out)) {
    return Fail(err, "not overwritten (give /y to overwrite without asking)");
  }
  std::string error;
  if (!WriteFileReplacing(c.file, written.text, &error)) return Fail(err, error);
  out << kDone;
  return kExitOk;
}

int Import(const Command& c, std::istream& in, std::ostream& out, std::ostream& err) {
  const bool fromInput = c.file == kStandardStream;
  std::ifstream opened;
  if (!fromInput) {
    opened.open(c.file, std::ios::binary);
    if (!opened) return Fail(err, "cannot open " + c.file);
  }
  std::istream& file = fromInput ? in : opened;
  std::string text;
  char buffer[65536];
  while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(file.gcount()));
    if (text.size() > kMaxImportFileBytes) {
      err << "ERROR: " << c.file << " is larger than " << kMaxImportFileBytes << " bytes; nothing was changed\n";
      return kExitBadInput;
    }
  }
  if (file.bad()) return Fail(err, "cannot read " + c.file);

  RegFileParse parsed = ParseRegFile(text);
  if (!parsed.ok()) {
    err << "ERROR: " << c.file << ", line " << parsed.errorLine << ": " << parsed.error
        << "; nothing was changed\n";
    return kExitBadInput;
  }
  if (parsed.operations.empty()) {
    out << kDone;
    return kExitOk;
  }
  Root root = parsed.operations.front().key.root;
  for (const RegOperation& op : parsed.operations) {
    if (op.key.root != root) {
      err << "ERROR: " << c.file << ", line " << op.line << ": a file may change keys below one root only ("
          << RootName(root) << " before this line); nothing was changed\n";
      return kExitBadInput;
    }
  }
  for (const RegOperation& op : parsed.operations) {
    if (op.kind != RegOperation::Kind::kSetValue) continue;
    if (std::string refusal = CheckAgainstTable(op.key, op.value); !refusal.empty()) {
      err << "ERROR: " << c.file << ", line " << op.line << ": " << refusal << "; nothing was changed\n";
      return kExitFailed;
    }
  }
  reg::KeyHolder connected;
  if (long rc = ConnectRoot("", root, &connected); rc != reg::kOk) return StoreFailure(err, "import", rc);
  ApplyResult applied = ApplyOperations(connected.get(), parsed.operations);
  if (applied.code != reg::kOk) {
    std::ostringstream where;
    where << c.file;
    if (applied.line > 0) where << ", line " << applied.line;
    return Fail(err, where.str() + ": " + StoreErrorText(applied.code) + "; nothing was changed");
  }
  out << kDone;
  return kExitOk;
}

}  // namespace

int RunFerryReg(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
  CommandParse parsed = ParseCommandLine(args);
  if (!parsed.error.empty()) {
    err << "ERROR: " << parsed.error << "\nType \"ferryreg --help\" for usage.\n";
    return kExitBadInput;
  }
  const Command& c = parsed.command;
  if (c.verb == Verb::kHelp) {
    out << UsageText();
    return kExitOk;
  }
  if (c.verb == Verb::kImport) return Import(c, in, out, err);

  // Reading never makes a store: a missing one is reported as such.
  if (c.verb == Verb::kQuery && c.computer.empty() && !reg::StoreExists()) {
    return Fail(err, "the store " + reg::StoreLocation() + " does not exist");
  }
  reg::KeyHolder root;
  if (long rc = ConnectRoot(c.computer, c.key.root, &root); rc != reg::kOk) {
    return StoreFailure(err, c.computer.empty() ? std::string("the settings store") : "\\\\" + c.computer, rc);
  }
  switch (c.verb) {
    case Verb::kQuery:
      return Query(c, root.get(), out, err);
    case Verb::kAdd:
      return Add(c, root.get(), in, out, err);
    case Verb::kDelete:
      return Delete(c, root.get(), in, out, err);
    case Verb::kExport:
      return Export(c, root.get(), in, out, err);
    default:
      return kExitBadInput;
  }
}

}  // namespace ferry::regtool
