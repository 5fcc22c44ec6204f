// Another computer's store is reached through the system's remote registry
// here, so no program is run over SSH. A watched child writes into one pipe
// that the caller drains with PeekNamedPipe, so a poll never blocks.
#include "platform/child_process.h"

#include <windows.h>

#include <algorithm>

namespace ferry {
namespace {

// One word of a command line as the C runtime splits it again: quoted when it
// holds a blank or a quote, backslashes before a quote doubled.
std::string CommandLineWord(const std::string& word) {
  if (!word.empty() && word.find_first_of(" \t\n\v\"") == std::string::npos) return word;
  std::string quoted = "\"";
  std::size_t slashes = 0;
  for (char c : word) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * slashes + 1 : slashes, '\\');
    slashes = 0;
    quoted += c;
  }
  quoted.append(2 * slashes, '\\');
  quoted += '"';
  return quoted;
}

std::string SystemMessage(DWORD code) {
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
  return n > 0 ? std::string(text, n) : "error " + std::to_string(code);
}

}  // namespace

ChildRun RunChild(const std::vector<std::string>& /*argv*/, std::string_view /*input*/, std::size_t /*maxOutput*/,
                  std::chrono::milliseconds /*deadline*/) {
  ChildRun run;
  run.error = "not available on this system";
  return run;
}

struct WatchedChild::Process {
  HANDLE process = nullptr;
  HANDLE output = nullptr;  // the read end of the pipe both outputs write into
  bool stopped = false;
  bool ended = false;
  int exitCode = -1;
  std::string error;

  bool Exited() const { return process == nullptr || WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }
  void CloseOutput() {
    if (output != nullptr) CloseHandle(output);
    output = nullptr;
  }
};

WatchedChild::WatchedChild() : process_(std::make_unique<Process>()) {}

WatchedChild::~WatchedChild() {
  if (process_->process != nullptr) {
    if (!process_->Exited()) {
      TerminateProcess(process_->process, 1);
      WaitForSingleObject(process_->process, 5000);
    }
    CloseHandle(process_->process);
  }
  process_->CloseOutput();
}

bool WatchedChild::Start(const std::vector<std::string>& argv) {
  Process& p = *process_;
  if (p.process != nullptr || argv.empty()) {
    p.error = argv.empty() ? "no program given" : "already started";
    return false;
  }
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) {
    p.error = "CreatePipe: " + SystemMessage(GetLastError());
    return false;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0,
                               nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nothing;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  std::string line;
  for (const std::string& word : argv) line += (line.empty() ? "" : " ") + CommandLineWord(word);
  PROCESS_INFORMATION started{};
  BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                           &started);
  DWORD failure = GetLastError();
  CloseHandle(writeEnd);
  if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
  if (!ok) {
    CloseHandle(readEnd);
    p.error = argv[0] + ": " + SystemMessage(failure);
    return false;
  }
  CloseHandle(started.hThread);
  p.process = started.hProcess;
  p.output = readEnd;
  return true;
}

bool WatchedChild::Poll(std::string& out, std::size_t most) {
  Process& p = *process_;
  if (p.process == nullptr || p.ended) return false;
  // Whatever it wrote before it exited is in the pipe by now.
  const bool exited = p.Exited();
  std::size_t taken = 0;
  bool more = false;
  char buffer[4096];
  while (p.output != nullptr) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(p.output, nullptr, 0, nullptr, &waiting, nullptr)) {
      p.CloseOutput();  // every writer is gone
      break;
    }
    if (waiting == 0) break;
    if (taken == most) {
      more = true;
      break;
    }
    DWORD want = static_cast<DWORD>(std::min<std::size_t>({waiting, sizeof buffer, most - taken}));
    DWORD got = 0;
    if (!ReadFile(p.output, buffer, want, &got, nullptr) || got == 0) {
      p.CloseOutput();
      break;
    }
    out.append(buffer, got);
    taken += got;
  }
  if (exited && !more) {
    DWORD code = 0;
    if (!p.stopped && GetExitCodeProcess(p.process, &code)) p.exitCode = static_cast<int>(code);
    p.ended = true;
  }
  return !p.ended;
}

void WatchedChild::Stop() {
  Process& p = *process_;
  if (p.process == nullptr || p.Exited()) return;
  p.stopped = true;
  TerminateProcess(p.process, 1);
}

int WatchedChild::ExitCode() const { return process_->stopped ? -1 : process_->exitCode; }

const std::string& WatchedChild::Error() const { return process_->error; }

bool RemoteStoreOverSsh() { return false; }

}  // namespace ferry
