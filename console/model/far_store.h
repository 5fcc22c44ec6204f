// Another computer's store reached over SSH: one export of the service's key
// read into a private working copy (a store file of its own, owner only,
// removed with this object), which the console reads and saves like any
// store; a save sends one import of only what changed in the working copy
// since it was read, so the far side applies it as one transaction and keeps
// every value the service wrote there meanwhile.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "console/model/console_settings.h"
#include "platform/registry.h"
#include "tools/ferryreg/reg_data.h"

namespace ferry::console {

// `text` as one word for a POSIX shell: in single quotes, each quote inside
// ending the quoted part, escaped, and starting a new one.
std::string ShellQuote(const std::string& text);

// The ssh command line (the "SshCommand" setting's words, no prompts, a
// connect timeout) that runs `remoteShellText` on `host`.
std::vector<std::string> SshCommandLine(const ConsoleSettings& settings, const std::string& host,
                                        const std::string& remoteShellText);

class FarStore {
 public:
  enum class Outcome { kRead, kUnreachable, kNotInstalled };

  FarStore(std::string host, ConsoleSettings settings);
  ~FarStore();
  FarStore(const FarStore&) = delete;
  FarStore& operator=(const FarStore&) = delete;

  // Runs the export and fills the working copy. `detail` gets what the far
  // side or ssh said, when it failed.
  Outcome Read(std::string* detail);
  const std::string& host() const { return host_; }
  // HKEY_LOCAL_MACHINE of the working copy (after a successful Read).
  reg::Key root() const { return root_.get(); }

  // Sends the .reg text of what the working copy holds now against what was
  // read (or last saved) to the far side as one import; nothing when nothing
  // changed. False with `why` when the far side did not take it.
  bool SendChanges(std::string* why);
  // The far side now holds what was sent.
  void Saved();

  // The ssh command line that runs `remoteShellText` on the far computer.
  std::vector<std::string> SshCommandLine(const std::string& remoteShellText) const;

 private:
  std::vector<regtool::KeyDump> ReadWorkingCopy() const;

  std::string host_;
  ConsoleSettings settings_;
  std::string folder_;
  reg::KeyHolder root_;
  std::vector<regtool::KeyDump> read_;
  std::vector<regtool::KeyDump> sent_;
};

}  // namespace ferry::console
