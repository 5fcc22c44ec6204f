#include "tests/peers/store_values.h"

#include "platform/registry.h"
#include "schema/registry_schema.h"

namespace ferry::test {
namespace {

std::string PathOf(const std::string& subKey) {
  std::string path = schema::kParametersKey;
  if (!subKey.empty()) path += "\\" + subKey;
  return path;
}

void Set(const std::string& subKey, const std::string& name, uint32_t type, const void* data, uint32_t size) {
  reg::Key key = nullptr;
  if (reg::CreateKey(reg::LocalMachine(), PathOf(subKey), &key) != reg::kOk) return;
  reg::SetValue(key, name, type, data, size);
  reg::CloseKey(key);
}

}  // namespace

void SetStoreNumber(const std::string& subKey, const std::string& name, uint32_t value) {
  Set(subKey, name, reg::kDword, &value, sizeof value);
}

void SetStoreText(const std::string& subKey, const std::string& name, const std::string& value) {
  Set(subKey, name, reg::kSz, value.data(), static_cast<uint32_t>(value.size()));
}

uint32_t StoreNumber(const std::string& subKey, const std::string& name) {
  reg::Key key = nullptr;
  if (reg::OpenKey(reg::LocalMachine(), PathOf(subKey), reg::kAllAccess, &key) != reg::kOk) return 0;
  uint32_t value = 0, type = 0, size = sizeof value;
  if (reg::QueryValue(key, name, &type, &value, &size) != reg::kOk) value = 0;
  reg::CloseKey(key);
  return value;
}

}  // namespace ferry::test
