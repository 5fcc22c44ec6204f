#include "console/model/far_store.h"

#include <chrono>
#include <filesystem>
#include <random>

#include "console/model/text_rules.h"
#include "platform/child_process.h"
#include "schema/registry_schema.h"
#include "tools/ferryreg/commands.h"
#include "tools/ferryreg/hive_access.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/reg_file_diff.h"
#include "tools/ferryreg/reg_file_parser.h"

namespace ferry::console {
namespace {

// ssh's own exit status when it could not connect or log in.
constexpr int kSshFailed = 255;
constexpr std::chrono::seconds kDeadline{120};
constexpr const char* kConnectTimeoutSeconds = "15";

regtool::KeyPath ServiceKeyPath() {
  return regtool::ParseKeyPath(std::string("HKEY_LOCAL_MACHINE\\") + schema::kServiceKey).path;
}

// The last line ssh or the far side wrote to standard error, for the status bar.
std::string LastLine(const std::string& text) {
  std::string trimmed = Trim(text);
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == '\r')) trimmed.pop_back();
  std::size_t cut = trimmed.find_last_of('\n');
  return Latin1FromSystem(Trim(cut == std::string::npos ? trimmed : trimmed.substr(cut + 1)));
}

std::string MakePrivateFolder() {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return {};
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::filesystem::path folder = base / ("ferryconsole-" + std::to_string(random()));
    if (std::filesystem::create_directory(folder, ec)) {
      std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace,
                                   ec);
      if (!ec) return folder.string();
      std::filesystem::remove_all(folder, ec);
      return {};
    }
  }
  return {};
}

}  // namespace

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> SshCommandLine(const ConsoleSettings& settings, const std::string& host,
                                        const std::string& remoteShellText) {
  std::vector<std::string> line = SplitCommandWords(settings.sshCommand);
  if (line.empty()) line.push_back("ssh");
  for (const char* option : {"-T", "-o", "BatchMode=yes", "-o"}) line.push_back(option);
  line.push_back(std::string("ConnectTimeout=") + kConnectTimeoutSeconds);
  line.push_back(host);
  line.push_back(remoteShellText);
  return line;
}

FarStore::FarStore(std::string host, ConsoleSettings settings)
    : host_(std::move(host)), settings_(std::move(settings)) {}

FarStore::~FarStore() {
  root_.Reset();
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

std::vector<std::string> FarStore::SshCommandLine(const std::string& remoteShellText) const {
  return console::SshCommandLine(settings_, host_, remoteShellText);
}

FarStore::Outcome FarStore::Read(std::string* detail) {
  detail->clear();
  // A name starting with '-' would be taken for an option of ssh.
  if (host_.empty() || host_[0] == '-') return Outcome::kUnreachable;
  const std::string exportText =
      settings_.remoteCommand + " export " + ShellQuote(regtool::FullKeyName(ServiceKeyPath())) + " -";
  ChildRun run = RunChild(SshCommandLine(exportText), {}, regtool::kMaxImportFileBytes, kDeadline);
  if (!run.started) {
    *detail = Latin1FromSystem(run.error);
    return Outcome::kUnreachable;
  }
  if (run.timedOut || run.exitCode == kSshFailed) {
    *detail = run.timedOut ? "ssh: keine Antwort" : LastLine(run.err);
    return Outcome::kUnreachable;
  }
  if (run.exitCode != 0 || run.cut) {
    *detail = LastLine(run.err);
    return Outcome::kNotInstalled;
  }
  regtool::RegFileParse parsed = regtool::ParseRegFile(run.out);
  if (!parsed.ok()) {
    *detail = "Zeile " + std::to_string(parsed.errorLine) + ": " + parsed.error;
    return Outcome::kNotInstalled;
  }
  for (const regtool::RegOperation& op : parsed.operations) {
    if (op.key.root != regtool::Root::kLocalMachine) {
      *detail = "unerwarteter Schl\xFCssel " + regtool::FullKeyName(op.key);
      return Outcome::kNotInstalled;
    }
  }
  folder_ = MakePrivateFolder();
  if (folder_.empty() || reg::OpenStoreFile(folder_ + "/far.hive", reg::LocalMachine(), root_.out()) != reg::kOk) {
    root_.Reset();
    *detail = "Arbeitskopie kann nicht angelegt werden";
    return Outcome::kUnreachable;
  }
  if (regtool::ApplyResult applied = regtool::ApplyOperations(root_.get(), parsed.operations);
      applied.code != reg::kOk) {
    root_.Reset();
    *detail = "Arbeitskopie: " + regtool::StoreErrorText(applied.code);
    return Outcome::kUnreachable;
  }
  read_ = ReadWorkingCopy();
  return Outcome::kRead;
}

std::vector<regtool::KeyDump> FarStore::ReadWorkingCopy() const {
  std::vector<regtool::KeyDump> keys;
  if (regtool::ReadTree(root_.get(), ServiceKeyPath(), true, &keys) != reg::kOk) keys.clear();
  return keys;
}

bool FarStore::SendChanges(std::string* why) {
  why->clear();
  sent_ = ReadWorkingCopy();
  regtool::RegFileWrite diff = regtool::WriteRegDiff(read_, sent_);
  if (!diff.error.empty()) {
    *why = diff.error;
    return false;
  }
  if (diff.text.size() <= std::string(regtool::kRegFileHeader).size() + 2) return true;  // nothing changed
  ChildRun run = RunChild(SshCommandLine(settings_.remoteCommand + " import -"), diff.text, 64 * 1024, kDeadline);
  if (run.started && !run.timedOut && run.exitCode == 0) return true;
  if (!run.started) {
    *why = Latin1FromSystem(run.error);
  } else if (run.timedOut || run.exitCode == kSshFailed) {
    *why = "keine Verbindung mit " + host_ + (run.timedOut ? std::string() : ": " + LastLine(run.err));
  } else {
    *why = host_ + ": " + LastLine(run.err);
  }
  return false;
}

void FarStore::Saved() { read_ = std::move(sent_); }

}  // namespace ferry::console
