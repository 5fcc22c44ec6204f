// mailferry2 as a real process on a throwaway store and event file: in the
// foreground until SIGINT or SIGTERM, under a stand-in for systemd's notify
// socket, and started from a shell without a verb.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <poll.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "platform/system_info.h"
#include "platform/udp_socket.h"
#include "service/runtime/trigger_listener.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

extern char** environ;

namespace ferry::test {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A datagram socket in the abstract namespace, standing in for systemd's.
class NotifySocket {
 public:
  NotifySocket() {
    name_ = "ferrytest-notify-" + std::to_string(getpid()) + "-" + std::to_string(reinterpret_cast<uintptr_t>(this));
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name_.data(), name_.size());
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address),
                  static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name_.size())) == 0;
  }
  ~NotifySocket() { close(fd_); }
  bool Bound() const { return bound_; }
  std::string EnvironmentValue() const { return "@" + name_; }
  // The next message, or "<none>" after 15 s.
  std::string Next() {
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, 15000) != 1) return "<none>";
    char buffer[512];
    ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n < 0 ? "<error>" : std::string(buffer, static_cast<std::size_t>(n));
  }

 private:
  std::string name_;
  int fd_ = -1;
  bool bound_ = false;
};

class ServiceProcessTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    // ctest names the build folder; run by hand, the test program's own place
    // (<build>/tests/runtime_tests) tells it.
    const char* dir = std::getenv("FERRY_BINARY_DIR");
    std::filesystem::path build =
        dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path(ModulePath()).parent_path().parent_path();
    binary_ = (build / "service" / "mailferry2").string();
    if (access(binary_.c_str(), X_OK) != 0) GTEST_SKIP() << binary_ << " is not built";
    UdpSocket probe;
    ASSERT_TRUE(probe.Bind(kLoopback, 0));
    triggerPort_ = probe.LocalPort();
    PutDword(schema::kParametersKey, schema::kTriggerPort, triggerPort_);
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    TempHiveTest::TearDown();
  }

  void Start(const std::vector<std::string>& args, const std::string& notifySocket = "",
             const std::string& triggerAddress = "127.0.0.1") {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      std::string entry = *e;
      if (entry.rfind("NOTIFY_SOCKET=", 0) == 0 || entry.rfind("MAILFERRY_TRIGGER_ADDRESS=", 0) == 0) continue;
      env.push_back(entry);
    }
    env.push_back(std::string(kTriggerAddressEnvironmentVariable) + "=" + triggerAddress);
    if (!notifySocket.empty()) env.push_back("NOTIFY_SOCKET=" + notifySocket);
    std::vector<std::string> words{binary_};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    // Standard error goes to a file: "-debug" writes every event there too.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (Folder() / "stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ASSERT_EQ(posix_spawn(&pid_, binary_.c_str(), &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
  }

  struct Outcome {
    int status;
    std::string out;
    std::string err;
  };
  // Runs the program to its end through the shell, `env` before its words.
  Outcome Run(const std::string& env, const std::string& words) {
    const std::string out = (Folder() / "cli.out").string();
    const std::string err = (Folder() / "cli.err").string();
    std::string line = "env -u NOTIFY_SOCKET " + env + " '" + binary_ + "' " + words + " </dev/null >'" + out +
                       "' 2>'" + err + "'";
    int status = std::system(line.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
  }

  // The exit status, or -1 when the process did not end normally within 20 s.
  int WaitForExit() {
    int status = 0;
    bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, std::chrono::seconds(20));
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // An account of NORAS, the permanent connection polled at every tick, with
  // its pre-run command.
  static std::string TickedAccount(const char* name, const std::string& command, uint32_t enabled = 1) {
    PutDword(schema::kParametersKey, schema::kListenRas, 0);
    PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 0);
    const std::string account = schema::AccountKey("NORAS", name);
    PutDword(account, schema::kEnableAccount, enabled);
    PutDword(account, schema::kEnableCommand, 1);
    PutString(account, schema::kCommand, command);
    return account;
  }

  int CountEvents(const std::string& prefix) const {
    auto lines = Events();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }

  bool WaitForEvent(const std::string& prefix, std::chrono::seconds limit = std::chrono::seconds(15)) {
    return WaitFor([&] { return CountEvents(prefix) > 0; }, limit);
  }

  std::string binary_;
  uint16_t triggerPort_ = 0;
  pid_t pid_ = -1;
};

int CountLines(const std::string& text, const std::string& line) {
  int n = 0;
  std::size_t pos = 0;
  while ((pos = text.find(line + "\n", pos)) != std::string::npos) {
    ++n;
    pos += line.size() + 1;
  }
  return n;
}

TEST_F(ServiceProcessTest, DebugRunsEnabledAccountsEveryTickAndOnATriggerAndEndsOnSigint) {
  const std::string runs = (Folder() / "runs").string();
  for (const char* name : {"Anna", "Bert"}) {
    TickedAccount(name, std::string("echo ") + name + " >> '" + runs + "'", std::string(name) == "Anna" ? 1 : 0);
  }
  Start({"-debug"});
  ASSERT_TRUE(WaitForEvent("1\t"));
  ASSERT_TRUE(WaitForEvent("31\t0\tNORAS")) << "a tick runs the permanent connection";
  ASSERT_TRUE(WaitFor([&] { return CountLines(ReadFile(runs), "Anna") >= 1; }, std::chrono::seconds(15)));

  UdpSocket sender;
  for (int attempt = 0; attempt < 5 && CountEvents("10\t") == 0; ++attempt) {
    ASSERT_TRUE(sender.SendTo(kLoopback, triggerPort_, "NORAS"));
    WaitForEvent("10\t", std::chrono::seconds(2));
  }
  ASSERT_TRUE(WaitForEvent("10\t10\tNORAS"));
  // Every tick run (event 31) and every trigger (event 10) started Anna once.
  EXPECT_TRUE(WaitFor([&] { return CountLines(ReadFile(runs), "Anna") == CountEvents("31\t") + CountEvents("10\t"); },
                      std::chrono::seconds(15)))
      << ReadFile(runs);
  EXPECT_EQ(CountLines(ReadFile(runs), "Bert"), 0);

  // Anna's runs find no POP3 server: -status tells, while the service runs.
  Outcome status;
  EXPECT_TRUE(WaitFor(
      [&] {
        status = Run("", "-status");
        return status.out.find("  last error: no connection to the server\n") != std::string::npos;
      },
      std::chrono::seconds(15)));
  EXPECT_EQ(status.status, 0);
  EXPECT_NE(status.out.find("NORAS\\Anna\n  last run:   2"), std::string::npos) << status.out;
  EXPECT_NE(status.out.find("  outcome:    failed\n  forwarded:  0\n  left:       0\n"), std::string::npos)
      << status.out;
  EXPECT_NE(status.out.find("NORAS\\Bert\n  last run:   never\n"), std::string::npos) << status.out;

  ASSERT_EQ(kill(pid_, SIGINT), 0);
  EXPECT_EQ(WaitForExit(), 0);
  // Account runs may report events of their own in between; the order of the
  // service's events is what counts.
  auto events = Events();
  auto at = [&](const std::string& line) { return std::find(events.begin(), events.end(), line) - events.begin(); };
  const auto n = static_cast<long>(events.size());
  EXPECT_EQ(at("1\t0"), 0);
  EXPECT_LT(at("10\t10\tNORAS"), at("2\t0"));
  EXPECT_LT(at("2\t0"), n);
  // The terminal sees each event as its text.
  std::string err = ReadFile(Folder() / "stderr");
  EXPECT_NE(err.find("[event 1] The mail gateway service has started.\n"), std::string::npos) << err;
  EXPECT_NE(err.find("[event 10] Trigger datagram received for connection NORAS.\n"), std::string::npos) << err;
}

TEST_F(ServiceProcessTest, ATriggerAddressThatIsNoDottedIpv4AddressStopsTheStart) {
  Start({"-debug"}, "", "localhost");
  EXPECT_EQ(WaitForExit(), 1) << "a service that could not start ends with a failure";
  EXPECT_EQ(CountEvents("1\t"), 0) << "never reported as running";
  const auto lines = Events();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.rfind("0xC0000000\t", 0) == 0 &&
                                   l.find("MAILFERRY_TRIGGER_ADDRESS is not a dotted IPv4 address") != std::string::npos;
                          }),
            1)
      << ::testing::PrintToString(lines);
}

// Another program holds the trigger port: the service does not start deaf to
// its triggers, it reports the port and ends with a failure.
TEST_F(ServiceProcessTest, ATriggerPortHeldByAnotherProgramStopsTheStartWithEvent76) {
  UdpSocket holder;
  ASSERT_TRUE(holder.Bind(kLoopback, triggerPort_));
  Start({"-debug"});
  EXPECT_EQ(WaitForExit(), 1) << "a service that could not start ends with a failure";
  EXPECT_EQ(CountEvents("1\t"), 0) << "never reported as running";
  EXPECT_EQ(CountEvents("76\t1\t" + std::to_string(triggerPort_) + "\t"), 1) << ::testing::PrintToString(Events());
}

// A pre-run command that fails is reported with its exit status, and the run
// goes on; one that succeeds is not reported.
TEST_F(ServiceProcessTest, AFailingCommandIsReportedAndTheRunGoesOn) {
  TickedAccount("Anna", "exit 3");
  TickedAccount("Bert", "true");
  Start({"-debug"});
  ASSERT_TRUE(WaitForEvent("77\t2\tNORAS\tAnna\texit 3\texit status 3"));
  ASSERT_TRUE(WaitForEvent("31\t0\tNORAS")) << "the runs go on";
  ASSERT_EQ(kill(pid_, SIGINT), 0);
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_EQ(CountEvents("77\t2\tNORAS\tBert"), 0) << ::testing::PrintToString(Events());
}

// The stop ends a pre-run command that hangs, with the processes it started.
TEST_F(ServiceProcessTest, StopEndsAHungPreRunCommandAndLeavesNoProcessBehind) {
  const std::string pids = (Folder() / "pids").string();
  TickedAccount("Anna", "sleep 600 & echo $! >> '" + pids + "'; echo $$ >> '" + pids + "'; sleep 600");
  Start({"-debug"});
  ASSERT_TRUE(WaitFor(
      [&] {
        const std::string text = ReadFile(pids);
        return std::count(text.begin(), text.end(), '\n') >= 2;
      },
      std::chrono::seconds(20)));
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  EXPECT_EQ(WaitForExit(), 0);
  std::istringstream in(ReadFile(pids));
  for (long pid = 0; in >> pid;) {
    // Gone, or a zombie that only init has still to collect.
    EXPECT_TRUE(WaitFor(
        [&] {
          const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
          const auto close = stat.rfind(')');
          return stat.empty() || (close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z');
        },
        std::chrono::seconds(5)))
        << pid << " left behind";
  }
}

// While the pre-run commands of three accounts wait, the user disables one,
// changes a value of another and the global debug level, and deletes the
// third: the runs leave all of it as the user left it, and the 120-character
// passwords byte for byte.
TEST_F(ServiceProcessTest, SettingsChangedOrDeletedDuringARunStayAsTheUserLeftThem) {
  const std::string go = (Folder() / "go").string();
  std::string secret;
  for (int i = 0; i < 120; ++i) secret += static_cast<char>('!' + (i * 7) % 94);
  for (const char* name : {"Anna", "Bert", "Carl"}) {
    const std::string account = TickedAccount(
        name, "echo > '" + (Folder() / name).string() + ".started'; while [ ! -e '" + go + "' ]; do sleep 0.1; done");
    PutString(account, schema::kPopHost, "127.0.0.1");
    PutString(account, schema::kPopPassword, secret);
  }
  Start({"-debug"});
  ASSERT_TRUE(WaitFor(
      [&] {
        return std::filesystem::exists(Folder() / "Anna.started") && std::filesystem::exists(Folder() / "Bert.started") &&
               std::filesystem::exists(Folder() / "Carl.started");
      },
      std::chrono::seconds(60)));
  PutDword(schema::AccountKey("NORAS", "Bert"), schema::kEnableAccount, 0);
  PutString(schema::AccountKey("NORAS", "Anna"), schema::kPopUser, "changed-during-the-command");
  PutDword(schema::kParametersKey, schema::kDebugLevel, 5);
  ASSERT_EQ(reg::DeleteKey(reg::LocalMachine(), schema::AccountKey("NORAS", "Carl")), reg::kOk);
  WriteFile(go, "");
  // Anna's run fails (nothing listens for POP3) and records how it ended.
  ASSERT_TRUE(WaitFor(
      [&] { return GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Anna"), schema::kLastOutcome).present; },
      std::chrono::seconds(60)));
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  EXPECT_EQ(WaitForExit(), 0);

  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Bert"), schema::kEnableAccount).Dword(), 0u);
  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Anna"), schema::kPopUser).bytes,
            "changed-during-the-command");
  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::kParametersKey, schema::kDebugLevel).Dword(), 5u);
  reg::KeyHolder carl;
  EXPECT_EQ(reg::OpenKey(reg::LocalMachine(), schema::AccountKey("NORAS", "Carl"), reg::kRead, carl.out()),
            reg::kFileNotFound)
      << "a deleted account is not made again";
  for (const char* name : {"Anna", "Bert"}) {
    const StoredValue password = GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", name), schema::kPopPassword);
    EXPECT_EQ(password.type, reg::kSz) << name;
    EXPECT_EQ(password.bytes, secret) << name;
  }
  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Anna"), schema::kInUse).Dword(), 0u);
  EXPECT_EQ(CountEvents("71\t"), 0) << "no write failed";
}

// A store the service cannot use stops the start with an error event that
// names the file and the reason, and a failure exit; -create and -status on it
// say why they cannot work and fail too. Run as root, the read-only case runs
// the program as "nobody" (root writes any file).
TEST_F(ServiceProcessTest, AnUnusableStoreStopsTheStartWithAnEventNamingIt) {
  PutDword(schema::kParametersKey, schema::kDebugLevel, 1);  // a real store
  const std::filesystem::path readOnly = Folder() / "read-only.hive";
  std::filesystem::copy_file(HivePath(), readOnly);
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
  const std::filesystem::path corrupt = Folder() / "corrupt.hive";
  WriteFile(corrupt, std::string(4096, 'x'));
  const std::filesystem::path directory = Folder() / "directory.hive";
  std::filesystem::create_directory(directory);
  // The event file and the folder stay open to "nobody".
  WriteFile(EventPath(), "");
  std::filesystem::permissions(EventPath(), std::filesystem::perms::all);
  std::filesystem::permissions(Folder(), std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                             std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                             std::filesystem::perms::others_exec);
  const std::string asNobody = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  struct Case {
    const char* name;
    std::filesystem::path store;
    std::string prefix;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"ReadOnly", readOnly, asNobody, "is read-only"},
      {"NotAStore", corrupt, "", "is not a store file"},
      {"Directory", directory, "", "is a directory"},
  };
  for (const Case& c : cases) {
    // env starts the program through the prefix.
    const std::string env = "MAILFERRY_HIVE='" + c.store.string() + "' MAILFERRY_TRIGGER_ADDRESS=127.0.0.1 " + c.prefix;
    auto run = [&](const std::string& words) {
      const Outcome o = Run(env, words);
      EXPECT_EQ(o.out, "") << c.name << " " << words;
      return std::make_pair(o.status, o.err);
    };
    const std::size_t before = Events().size();
    auto [status, text] = run("-debug");
    EXPECT_EQ(status, 1) << c.name << ": " << text;
    const std::string expected = "The settings store " + c.store.string() + " " + c.reason + "; the service does not start.";
    EXPECT_NE(text.find("[event 70] " + expected + "\n"), std::string::npos) << c.name << ": " << text;
    const auto lines = Events();
    ASSERT_EQ(lines.size(), before + 1) << c.name << ": " << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.back(), "70\t1\t" + c.store.string() + "\t" + c.reason) << c.name;
    EXPECT_EQ(text.find("[event 1]"), std::string::npos) << c.name << ": never reported as running";

    auto [createStatus, createText] = run("-create NORAS office");
    EXPECT_EQ(createStatus, 1) << c.name;
    EXPECT_EQ(createText, "mailferry2: cannot create NORAS\\office: the store " + c.store.string() + " " + c.reason + "\n")
        << c.name;
    if (std::string(c.name) != "ReadOnly") {
      auto [statusStatus, statusText] = run("-status");
      EXPECT_EQ(statusStatus, 1) << c.name << ": " << statusText;
      EXPECT_EQ(statusText.rfind("mailferry2: cannot read the store " + c.store.string() + ": ", 0), 0u)
          << c.name << ": " << statusText;
    }
  }
}

TEST_F(ServiceProcessTest, UnderTheServiceManagerReportsThroughTheNotifySocketAndStopsOnSigterm) {
  NotifySocket notify;
  ASSERT_TRUE(notify.Bound());
  Start({}, notify.EnvironmentValue());
  EXPECT_EQ(notify.Next(), "STATUS=start pending\nEXTEND_TIMEOUT_USEC=3000000");
  EXPECT_EQ(notify.Next(), "STATUS=start pending\nEXTEND_TIMEOUT_USEC=3000000");
  EXPECT_EQ(notify.Next(), "READY=1\nSTATUS=running");
  ASSERT_TRUE(WaitForEvent("1\t"));
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  EXPECT_EQ(notify.Next(), "STOPPING=1\nSTATUS=stop pending");
  EXPECT_EQ(notify.Next(), "STATUS=stopped");
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_EQ(Events(), (std::vector<std::string>{"1\t0", "2\t0"}));
}

TEST_F(ServiceProcessTest, StartedFromAShellWithoutAVerbTheDispatcherFails) {
  Start({});
  EXPECT_EQ(WaitForExit(), 1);
  EXPECT_EQ(Events(), (std::vector<std::string>{"0\t0\tStartServiceCtrlDispatcher failed."}));
}

TEST_F(ServiceProcessTest, EveryVerbAnswersInWordsWithItsExitStatus) {
  const std::string usage = "Usage: mailferry2 [VERB]\n";
  const std::string missing = (Folder() / "missing" / "registry.hive").string();
  std::filesystem::create_directory(Folder() / "dir.hive");
  const std::string directory = (Folder() / "dir.hive").string();
  struct Case {
    const char* name;
    std::string env;
    std::string words;
    int status;
    std::string out;  // the start of standard output
    std::string err;  // the start of standard error
  };
  const std::vector<Case> cases = {
      {"Help", "", "--help", 0, usage, ""},
      {"Version", "", "--version", 0, "mailferry2 2.0.0\n", ""},
      {"UnknownVerb", "", "-bogus", 2, "", "mailferry2: unknown verb \"-bogus\"\n" + usage},
      {"CreateWithOneName", "", "-create NORAS", 2, "", "mailferry2: unknown verb \"-create\"\n" + usage},
      {"NoVerbFromAShell", "", "", 1, "",
       "mailferry2: not started by the service manager; \"mailferry2 -debug\" runs it in the foreground, "
       "\"mailferry2 --help\" lists the verbs\n"},
      {"StatusWithoutStore", "MAILFERRY_HIVE=" + missing, "-status", 1, "",
       "mailferry2: no settings store at " + missing + "\n"},
      {"CreateInADirectory", "MAILFERRY_HIVE=" + directory, "-create NORAS office", 1, "",
       "mailferry2: cannot create NORAS\\office: the store " + directory + " is a directory\n"},
      {"Create", "", "-create NORAS office", 0, "mailferry2: account NORAS\\office is in the store", ""},
      {"StatusBeforeAnyRun", "", "-status", 0, "NORAS\\office\n  last run:   never\n", ""},
      {"RemoveWithoutUnitFolder", "MAILFERRY_UNIT_DIR=" + missing, "-remove", 1, "",
       "mailferry2: cannot remove: the unit folder " + missing + " does not exist"},
  };
  for (const Case& c : cases) {
    Outcome o = Run(c.env, c.words);
    EXPECT_EQ(o.status, c.status) << c.name << ": " << o.err;
    EXPECT_EQ(o.out.substr(0, c.out.size()), c.out) << c.name;
    EXPECT_EQ(o.err.substr(0, c.err.size()), c.err) << c.name;
    if (c.out.empty()) {
      EXPECT_EQ(o.out, "") << c.name;
    }
    if (c.err.empty()) {
      EXPECT_EQ(o.err, "") << c.name;
    }
  }
}

}  // namespace
}  // namespace ferry::test
