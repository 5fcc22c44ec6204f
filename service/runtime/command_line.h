// The command line of mailferry2: splitting it into the argument table and
// finding the verb.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ferry {

// The argument table has room for this many entries; further tokens are dropped.
inline constexpr std::size_t kMaxArguments = 15;

// Splits a whole command line at blanks (runs of blanks count as one; only the
// blank separates). The first token is the program path, argument 0; a path in
// double quotes is taken whole up to its closing quote, so the verb stays in
// argument 1 however many blanks the path holds.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

enum class Verb { None, Install, Remove, Debug, Create, Status, Release, Authorize, Help, Version, Unknown };

// The verb in argument 1: written after "-" or "/" (or "--"), letter case
// ignored. No argument 1 is None (run as the service); anything that is not a
// verb, "create" or "authorize" without exactly two names after it, and
// "release" without two names and at most one id after it, is Unknown.
// "-h", "--help" and "/?" are Help; "--version" is Version.
Verb FindVerb(const std::vector<std::string>& args);

// What "--help" prints: every verb, one line each.
std::string UsageText();

}  // namespace ferry
