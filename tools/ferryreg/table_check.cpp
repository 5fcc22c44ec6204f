#include "tools/ferryreg/table_check.h"

#include "platform/registry.h"
#include "tools/ferryreg/key_path.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {
namespace {

bool IsText(uint32_t type) { return type == reg::kSz || type == reg::kExpandSz; }

std::string Refusal(const schema::ValueInfo& row, const std::string& problem) {
  return "the value \"" + std::string(row.name) + "\" must be " + schema::Describe(row) + ": " + problem;
}

// The number a 4-byte DWORD holds, read as the service reads the row: signed
// when its range reaches below zero.
int64_t DwordNumber(const schema::ValueInfo& row, std::string_view bytes) {
  uint32_t raw = 0;
  for (int i = 3; i >= 0; --i) raw = (raw << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
  return row.min < 0 ? static_cast<int64_t>(static_cast<int32_t>(raw)) : static_cast<int64_t>(raw);
}

}  // namespace

const schema::ValueInfo* KnownValue(const KeyPath& key, std::string_view name) {
  if (key.root != Root::kLocalMachine) return nullptr;
  std::optional<schema::Level> level = schema::LevelOfKey(SubKeyText(key));
  return level ? schema::FindValue(*level, name) : nullptr;
}

std::string CheckAgainstTable(const KeyPath& key, const ValueData& value) {
  const schema::ValueInfo* row = KnownValue(key, value.name);
  if (row == nullptr) return {};
  if (row->type == schema::Type::String) {
    if (!IsText(value.type)) return Refusal(*row, TypeName(value.type) + " was given");
    // A terminating NUL (as a .reg file's hex(1) data may hold) is no text.
    std::string_view text = value.bytes;
    while (!text.empty() && text.back() == '\0') text.remove_suffix(1);
    if (text.size() > row->maxLength) return Refusal(*row, std::to_string(text.size()) + " bytes were given");
    return {};
  }
  if (value.type != reg::kDword) return Refusal(*row, TypeName(value.type) + " was given");
  if (value.bytes.size() != 4) return Refusal(*row, std::to_string(value.bytes.size()) + " bytes were given");
  int64_t number = DwordNumber(*row, value.bytes);
  if (!schema::InRange(*row, number)) return Refusal(*row, std::to_string(number) + " is out of range");
  return {};
}

TypedValue ValueForAdd(const KeyPath& key, ValueData given, bool typeGiven, std::string_view dataText) {
  TypedValue result{std::move(given), {}};
  const schema::ValueInfo* row = KnownValue(key, result.value.name);
  if (row == nullptr) return result;
  if (!typeGiven && row->type == schema::Type::Dword) {
    DataParse parsed = ParseDataArgument(reg::kDword, dataText);
    if (!parsed.error.empty()) {
      result.refusal = Refusal(*row, "\"" + std::string(dataText) + "\" is not a number");
      return result;
    }
    result.value.type = reg::kDword;
    result.value.bytes = std::move(parsed.bytes);
  }
  result.refusal = CheckAgainstTable(key, result.value);
  return result;
}

}  // namespace ferry::regtool
