// Small helpers for the runtime tests: values written straight into the
// throwaway store.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/registry.h"
#include "schema/registry_schema.h"

namespace ferry::test {

inline void PutDword(const std::string& keyPath, const char* name, uint32_t value) {
  reg::KeyHolder key;
  ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), keyPath, key.out()), reg::kOk);
  ASSERT_EQ(reg::SetValue(key.get(), name, reg::kDword, &value, sizeof value), reg::kOk);
}

inline void PutString(const std::string& keyPath, const char* name, const std::string& text) {
  reg::KeyHolder key;
  ASSERT_EQ(reg::CreateKey(reg::LocalMachine(), keyPath, key.out()), reg::kOk);
  ASSERT_EQ(reg::SetValue(key.get(), name, reg::kSz, text.data(), static_cast<uint32_t>(text.size())), reg::kOk);
}

inline void PutAccount(const std::string& connection, const std::string& account, uint32_t enabled) {
  PutDword(schema::AccountKey(connection, account), schema::kEnableAccount, enabled);
}

// A value as stored: present flag, type and bytes.
struct StoredValue {
  bool present = false;
  uint32_t type = 0;
  std::string bytes;
  uint32_t Dword() const {
    uint32_t v = 0;
    if (bytes.size() >= sizeof v) std::memcpy(&v, bytes.data(), sizeof v);
    return v;
  }
};

inline StoredValue GetValue(reg::Key root, const std::string& keyPath, const std::string& name) {
  StoredValue value;
  reg::KeyHolder key;
  if (reg::OpenKey(root, keyPath, reg::kRead, key.out()) != reg::kOk) return value;
  uint32_t size = 0;
  if (reg::QueryValue(key.get(), name, &value.type, nullptr, &size) != reg::kOk) return value;
  value.bytes.resize(size);
  if (reg::QueryValue(key.get(), name, &value.type, value.bytes.data(), &size) != reg::kOk) return value;
  value.bytes.resize(size);
  value.present = true;
  return value;
}

}  // namespace ferry::test
