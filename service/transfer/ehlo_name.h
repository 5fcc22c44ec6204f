// The name the gateway gives in EHLO (and HELO).
#pragma once

#include <string>
#include <string_view>

namespace ferry {

class RunContext;

// The global "HELO Name" when it is a usable host name (dotted labels of
// letters, digits and hyphens) or an address literal in brackets; else the
// computer's fully qualified name; "localhost" when neither is known. Never
// holds a blank or control character.
std::string EhloName(const RunContext& context);
// The same for a "HELO Name" value.
std::string EhloNameFor(std::string_view heloName);

// Whether `name` can follow EHLO: a domain of labels of letters, digits and
// hyphens, or an address literal "[...]" of printable characters, at most 255
// bytes.
bool UsableEhloName(std::string_view name);

}  // namespace ferry
