// The service manager on Linux: systemd. The service is a unit file of
// Type=notify that runs the executable; systemctl enables, stops, queries and
// disables it; the running service reports through sd_notify datagrams (written
// here by hand: one datagram to the unix socket named by NOTIFY_SOCKET, in the
// abstract namespace when the name starts with '@').
#include "platform/service_control.h"

#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console_control.h"
#include "platform/store_location.h"
#include "platform/unit_template.h"

extern char** environ;

namespace ferry::svc {
namespace {

constexpr const char* kDefaultUnitDir = "/etc/systemd/system";
constexpr std::size_t kMaxProgramOutput = 4096;

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string UnitDir() {
  std::string dir = EnvironmentValue(kUnitDirEnvironmentVariable);
  return dir.empty() ? kDefaultUnitDir : dir;
}

// The one unit of the service, whatever its Windows name.
constexpr const char* kUnitName = "mailferry2.service";
// Where the package puts its unit; while it is there, the package owns the service.
constexpr const char* kPackagedUnits[] = {"/usr/lib/systemd/system/mailferry2.service",
                                          "/lib/systemd/system/mailferry2.service"};
constexpr const char* kSystemStoreFolder = "/var/lib/mailferry";
constexpr const char* kServiceUser = "mailferry";

thread_local std::string gLastError;

bool Failed(std::string why) {
  gLastError = std::move(why);
  return false;
}

std::string UnitName(const std::string& /*name*/) { return kUnitName; }

// One word of a unit file line, quoted: systemd takes C escapes inside double
// quotes and expands '%' specifiers and '$' variables unless doubled.
std::string QuoteUnitWord(const std::string& word) {
  std::string out = "\"";
  for (char c : word) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '%': out += "%%"; break;
      case '$': out += "$$"; break;
      default: out += c;
    }
  }
  return out + "\"";
}

bool Below(const std::string& path, const std::string& folder) {
  return path == folder || path.rfind(folder + "/", 0) == 0;
}

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

std::string InstalledUnitText(const std::string& templateText, const std::string& executablePath,
                              const std::string& storePath, bool serviceUserExists) {
  const std::string storeFolder = storePath.substr(0, storePath.find_last_of('/'));
  const bool systemStore = storeFolder == kSystemStoreFolder;
  bool underHome = false;
  for (const char* home : {"/home", "/root"})
    underHome = underHome || Below(executablePath, home) || Below(storePath, home);
  std::string text = "# Written by \"mailferry2 -install\"; \"mailferry2 -remove\" deletes it. The packaged\n"
                     "# unit, for this program and its settings store.\n";
  bool header = true;
  std::size_t pos = 0;
  while (pos < templateText.size()) {
    std::size_t end = templateText.find('\n', pos);
    if (end == std::string::npos) end = templateText.size();
    std::string line = templateText.substr(pos, end - pos);
    pos = end + 1;
    if (header && (line.empty() || line[0] == '#')) continue;  // the package's own notes
    header = false;
    if (StartsWith(line, "ExecStart=")) {
      line = "ExecStart=" + QuoteUnitWord(executablePath);
    } else if (StartsWith(line, "User=") || StartsWith(line, "Group=")) {
      // The service user exists where the package made it; a store of its own
      // belongs to whoever installs.
      if (!serviceUserExists || !systemStore) continue;
    } else if (StartsWith(line, "Environment=MAILFERRY_HIVE=")) {
      line = "Environment=" + QuoteUnitWord("MAILFERRY_HIVE=" + storePath);
      if (!systemStore) line += "\nReadWritePaths=" + QuoteUnitWord(storeFolder);
    } else if (StartsWith(line, "ProtectHome=") && underHome) {
      line = "ProtectHome=read-only";
    }
    text += line + "\n";
  }
  return text;
}

namespace {

std::string UnitText(const ServiceDefinition& service) {
  return InstalledUnitText(kPackagedUnitTemplate, service.executablePath, reg::StoreLocation(),
                           getpwnam(kServiceUser) != nullptr);
}

// Runs systemctl with `args`; answers its exit status (-1 when it could not be
// run) and, when `output` is given, its first bytes of standard output.
int RunSystemctl(const std::vector<std::string>& args, std::string* output = nullptr) {
  std::string program = EnvironmentValue(kSystemctlEnvironmentVariable);
  if (program.empty()) program = "systemctl";
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int pipeFds[2] = {-1, -1};
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (rc != 0) {
    close(pipeFds[0]);
    return -1;
  }
  char buffer[512];
  for (;;) {
    ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (output != nullptr && output->size() < kMaxProgramOutput) {
      output->append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool WriteNewFile(const std::string& path, const std::string& text) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return Failed("cannot write " + path + ": " + std::strerror(errno));
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ok = close(fd) == 0 && ok;
  if (!ok) {
    Failed("cannot write " + path + ": " + std::strerror(errno));
    unlink(path.c_str());
  }
  return ok;
}

// systemctl's failure in words.
bool SystemctlFailed(const std::string& what, int status) {
  if (status < 0) return Failed("systemctl could not be run for \"" + what + "\"");
  return Failed("\"systemctl " + what + "\" failed with exit status " + std::to_string(status));
}

bool SendNotify(const std::string& message) {
  std::string socketName = EnvironmentValue("NOTIFY_SOCKET");
  if (socketName.empty() || (socketName[0] != '/' && socketName[0] != '@')) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketName.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, socketName.data(), socketName.size());
  if (socketName[0] == '@') address.sun_path[0] = '\0';
  auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketName.size());
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ssize_t sent = sendto(fd, message.data(), message.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                        length);
  close(fd);
  return sent == static_cast<ssize_t>(message.size());
}

}  // namespace

std::string UnitPath(const std::string& name) { return UnitDir() + "/" + UnitName(name); }

bool ManagerAvailable() {
  if (IsDirectory(UnitDir())) return true;
  return Failed("the unit folder " + UnitDir() + " does not exist (is systemd installed?)");
}

std::string LastServiceError() { return gLastError; }

bool InstallWritesStoreEntries() { return false; }

bool ServiceExists(const std::string& name) { return access(UnitPath(name).c_str(), F_OK) == 0; }

bool CreateService(const ServiceDefinition& service) {
  if (EnvironmentValue(kUnitDirEnvironmentVariable).empty()) {
    for (const char* packaged : kPackagedUnits) {
      if (access(packaged, F_OK) == 0) {
        return Failed("the package's unit " + std::string(packaged) +
                      " is installed; use \"systemctl enable --now mailferry2\" instead");
      }
    }
  }
  std::string path = UnitPath(service.name);
  if (!WriteNewFile(path, UnitText(service))) return false;
  RunSystemctl({"daemon-reload"});
  if (int status = RunSystemctl({"enable", UnitName(service.name)}); status != 0) {
    unlink(path.c_str());
    return SystemctlFailed("enable " + UnitName(service.name), status);
  }
  return true;
}

bool SendStopControl(const std::string& name) { return RunSystemctl({"stop", "--no-block", UnitName(name)}) == 0; }

std::optional<State> QueryState(const std::string& name) {
  std::string output;
  RunSystemctl({"is-active", UnitName(name)}, &output);
  std::string word = output.substr(0, output.find_first_of("\r\n"));
  if (word.empty()) return std::nullopt;
  if (word == "active" || word == "reloading") return State::Running;
  if (word == "activating") return State::StartPending;
  if (word == "deactivating") return State::StopPending;
  return State::Stopped;
}

bool DeleteService(const std::string& name) {
  RunSystemctl({"disable", UnitName(name)});
  bool deleted = unlink(UnitPath(name).c_str()) == 0;
  if (!deleted) Failed("cannot delete " + UnitPath(name) + ": " + std::strerror(errno));
  RunSystemctl({"daemon-reload"});
  return deleted;
}

bool RunServiceDispatcher(const std::string& name, ServiceMainFunction serviceMain) {
  if (EnvironmentValue("NOTIFY_SOCKET").empty()) return false;
  serviceMain({name});
  return true;
}

namespace {
ControlHandlerFunction gControlHandler = nullptr;
}

bool RegisterControlHandler(const std::string& /*name*/, ControlHandlerFunction handler) {
  gControlHandler = handler;
  return SetControlRequestHandler([](ControlRequest request) {
    if (request != ControlRequest::Terminate) return false;
    gControlHandler(kControlStop);
    return true;
  });
}

std::string NotifyMessageFor(const StatusBlock& status) {
  std::string message;
  switch (status.currentState) {
    case State::StartPending: message = "STATUS=start pending"; break;
    case State::Running: message = "READY=1\nSTATUS=running"; break;
    case State::StopPending: message = "STOPPING=1\nSTATUS=stop pending"; break;
    case State::Stopped: message = "STATUS=stopped"; break;
  }
  if (status.waitHint > 0 && (status.currentState == State::StartPending || status.currentState == State::StopPending)) {
    message += "\nEXTEND_TIMEOUT_USEC=" + std::to_string(static_cast<uint64_t>(status.waitHint) * 1000);
  }
  return message;
}

bool SetServiceStatus(const StatusBlock& status) { return SendNotify(NotifyMessageFor(status)); }

}  // namespace ferry::svc
