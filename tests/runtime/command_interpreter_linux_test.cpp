// The pre-run command with real shells: its exit status, no descriptor of the
// service reaches it, a hung command is ended with its whole process group
// after the time-out, and the service's stop ends a command that runs.
#include "platform/command_interpreter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

using namespace std::chrono_literals;

class CommandInterpreterTest : public TempHiveTest {
 protected:
  void TearDown() override {
    AllowCommands();
    SetCommandPolicy({});
    TempHiveTest::TearDown();
  }

  std::string Path(const char* name) const { return (Folder() / name).string(); }

  static std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The pids written to `path`, one a line.
  static std::vector<pid_t> Pids(const std::string& path) {
    std::vector<pid_t> pids;
    std::istringstream in(Read(path));
    for (long pid = 0; in >> pid;) pids.push_back(static_cast<pid_t>(pid));
    return pids;
  }

  // A process is gone when it no longer exists or is a zombie waiting for init.
  static bool Gone(pid_t pid) {
    for (int i = 0; i < 200; ++i) {
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      if (!std::getline(stat, line)) return true;
      auto close = line.rfind(')');
      if (close != std::string::npos && line.size() > close + 2 && line[close + 2] == 'Z') return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }
};

TEST_F(CommandInterpreterTest, ExitStatusAndNoInheritedDescriptor) {
  int leaked = ::open("/dev/null", O_RDONLY);  // without O_CLOEXEC: would reach a child
  ASSERT_GE(leaked, 3);
  const std::string out = Path("fds");
  EXPECT_EQ(RunCommandInterpreter("ls /proc/self/fd > '" + out + "'; exit 3", 10s), 3);
  ::close(leaked);
  // ls sees standard input, output and error and the directory it reads.
  EXPECT_EQ(Read(out), "0\n1\n2\n3\n");
}

TEST_F(CommandInterpreterTest, HungCommandIsEndedWithItsGroupAfterTheTimeout) {
  const std::string pids = Path("pids");
  std::string endedCommand;
  SetCommandPolicy({300ms, [&](const std::string& command, std::chrono::milliseconds) { endedCommand = command; }});
  const std::string command = "sleep 60 & echo $! > '" + pids + "'; echo $$ >> '" + pids + "'; sleep 60";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunCommandInterpreter(command), kCommandEnded);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s);
  EXPECT_EQ(endedCommand, command);
  const std::vector<pid_t> started = Pids(pids);
  ASSERT_EQ(started.size(), 2u);
  for (pid_t pid : started) EXPECT_TRUE(Gone(pid)) << pid << " left behind";
}

TEST_F(CommandInterpreterTest, StopEndsARunningCommandAndRefusesNewOnes) {
  const std::string pids = Path("pids");
  auto running = std::async(std::launch::async, [&] {
    return RunCommandInterpreter("echo $$ > '" + pids + "'; sleep 60", 600s);
  });
  for (int i = 0; i < 500 && Pids(pids).empty(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(Pids(pids).size(), 1u);
  EndRunningCommands();
  ASSERT_EQ(running.wait_for(30s), std::future_status::ready);
  EXPECT_EQ(running.get(), kCommandEnded);
  EXPECT_TRUE(Gone(Pids(pids)[0]));
  EXPECT_EQ(RunCommandInterpreter("exit 0", 10s), -1) << "no command starts once the service stops";
  AllowCommands();
  EXPECT_EQ(RunCommandInterpreter("exit 0", 10s), 0);
}

}  // namespace
}  // namespace ferry::test
