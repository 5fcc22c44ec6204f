// Carries out one ferryreg command line against the settings store.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ferry::regtool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // the store refused, a key was missing, not confirmed
inline constexpr int kExitBadInput = 2;  // bad command line or malformed file

// `args` are the arguments after the program name. Questions are answered
// from `in`; results go to `out`, messages to `err`. Returns the exit status.
int RunFerryReg(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);

// The largest .reg file import reads.
inline constexpr std::size_t kMaxImportFileBytes = 64u * 1024 * 1024;

}  // namespace ferry::regtool
