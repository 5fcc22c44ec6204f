// Writes settings into the store the way the console would, for tests and
// tools that prepare an account before its run.
#pragma once

#include <cstdint>
#include <string>

namespace ferry::test {

// Key paths below Parameters: "" for the global key, "NORAS", "NORAS\\Postfach".
void SetStoreNumber(const std::string& subKey, const std::string& name, uint32_t value);
void SetStoreText(const std::string& subKey, const std::string& name, const std::string& value);
// 0 when the value is missing.
uint32_t StoreNumber(const std::string& subKey, const std::string& name);

}  // namespace ferry::test
