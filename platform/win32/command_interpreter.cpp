#include "platform/command_interpreter.h"

#include <windows.h>

#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace ferry {
namespace {

std::mutex gJobsMutex;
std::set<HANDLE> gJobs;  // the job objects of the commands running
bool gEnded = false;

std::string Interpreter() {
  const char* comspec = std::getenv("ComSpec");
  return comspec != nullptr && *comspec != '\0' ? comspec : "cmd.exe";
}

}  // namespace

int RunCommandInterpreter(const std::string& command, std::chrono::milliseconds timeout) {
  // With /s, cmd.exe takes the text between the first and the last quote
  // whole: a quoted program path followed by quoted arguments reaches the
  // program as written, whatever quotes the command holds.
  std::string line = "\"" + Interpreter() + "\" /d /s /c \"" + command + "\"";
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  if (job == nullptr) return -1;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  {
    std::lock_guard lock(gJobsMutex);
    // No handle of the service is inherited; the command starts suspended so it
    // is in the job before it can start anything.
    if (gEnded || !CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                  nullptr, &startup, &process)) {
      CloseHandle(job);
      return -1;
    }
    AssignProcessToJobObject(job, process.hProcess);
    gJobs.insert(job);
  }
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  DWORD wait = WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeout.count()));
  int status = -1;
  {
    std::lock_guard lock(gJobsMutex);
    gJobs.erase(job);
    if (wait != WAIT_OBJECT_0 || gEnded) {
      TerminateJobObject(job, 1);
      status = kCommandEnded;
    }
  }
  if (status != kCommandEnded) {
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) status = static_cast<int>(code);
  }
  CloseHandle(process.hProcess);
  // Closing the job would end what the command left running; a command that
  // finished may leave a program behind on purpose, so the limit is lifted first.
  if (status != kCommandEnded) {
    limits.BasicLimitInformation.LimitFlags = 0;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }
  CloseHandle(job);
  return status;
}

void EndRunningCommands() {
  std::lock_guard lock(gJobsMutex);
  gEnded = true;
  for (HANDLE job : gJobs) TerminateJobObject(job, 1);
}

void AllowCommands() {
  std::lock_guard lock(gJobsMutex);
  gEnded = false;
}

}  // namespace ferry
