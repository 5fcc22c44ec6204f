// The value library `mailferryres`: GetValue and SetValue over the settings
// store. The handles it is given are store key handles of the calling process
// (the store's implementation is linked into both sides, so a handle crosses
// the boundary as an HKEY does on Windows).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "mailferryres_export.h"
#include "platform/registry.h"
#include "valuelib/value_api.h"
#include "valuelib/value_text.h"

namespace {

using ferry::reg::Key;

// Stored values larger than this are never read whole; no value of the
// schema comes near it.
constexpr uint32_t kMaxStoredValue = 64 * 1024;

// The stored value as its text form for `type`, or an error code.
long StoredText(Key key, const char* name, int32_t type, std::string* text) {
  uint32_t storedType = 0;
  uint32_t size = 0;
  if (long rc = ferry::reg::QueryValue(key, name, &storedType, nullptr, &size); rc != ferry::reg::kOk) return rc;
  if (size > kMaxStoredValue) return ferry::reg::kMoreData;
  std::vector<char> bytes(size);
  if (long rc = ferry::reg::QueryValue(key, name, &storedType, bytes.data(), &size); rc != ferry::reg::kOk) return rc;
  bytes.resize(size);
  std::string stored(bytes.begin(), bytes.end());
  bool textStored = storedType == ferry::reg::kSz || storedType == ferry::reg::kExpandSz;
  if (textStored) stored = stored.substr(0, stored.find('\0'));

  if (type == ferry::values::kText) {
    *text = textStored || storedType != ferry::reg::kDword || stored.size() < 4
                ? stored
                : ferry::values::FormatNumber([&] {
                    uint32_t v = 0;
                    std::memcpy(&v, stored.data(), 4);
                    return v;
                  }());
    return ferry::reg::kOk;
  }
  // A number: the first four bytes of a binary value, or a text holding one.
  if (textStored) {
    auto number = ferry::values::ParseNumber(stored);
    if (!number) return ferry::reg::kInvalidParameter;
    *text = ferry::values::FormatNumber(*number);
    return ferry::reg::kOk;
  }
  if (stored.size() < 4) return ferry::reg::kInvalidParameter;
  uint32_t v = 0;
  std::memcpy(&v, stored.data(), 4);
  *text = ferry::values::FormatNumber(v);
  return ferry::reg::kOk;
}

}  // namespace

extern "C" {

MAILFERRYRES_EXPORT int32_t GetValue(void* root, const char* path, const char* name, int32_t type, char* buffer,
                                     int32_t size) {
  if (root == nullptr || path == nullptr || name == nullptr || buffer == nullptr || size <= 0)
    return static_cast<int32_t>(ferry::reg::kInvalidParameter);
  if (type != ferry::values::kText && type != ferry::values::kNumber)
    return static_cast<int32_t>(ferry::reg::kInvalidParameter);
  ferry::reg::KeyHolder key;
  if (long rc = ferry::reg::OpenKey(static_cast<Key>(root), path, ferry::reg::kQueryValue, key.out());
      rc != ferry::reg::kOk)
    return static_cast<int32_t>(rc);
  std::string text;
  if (long rc = StoredText(key.get(), name, type, &text); rc != ferry::reg::kOk) return static_cast<int32_t>(rc);
  if (text.size() + 1 > static_cast<std::size_t>(size)) return static_cast<int32_t>(ferry::reg::kMoreData);
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int32_t>(ferry::reg::kOk);
}

MAILFERRYRES_EXPORT int32_t SetValue(void* key, const char* name, int32_t type, const char* data, int32_t length) {
  if (key == nullptr || name == nullptr || data == nullptr || length < 0)
    return static_cast<int32_t>(ferry::reg::kInvalidParameter);
  if (type == ferry::values::kText) {
    return static_cast<int32_t>(ferry::reg::SetValue(static_cast<Key>(key), name, ferry::reg::kSz, data,
                                                     static_cast<uint32_t>(length)));
  }
  if (type == ferry::values::kNumber) {
    auto number = ferry::values::ParseNumber(data);
    if (!number) return static_cast<int32_t>(ferry::reg::kInvalidParameter);
    uint32_t v = *number;
    return static_cast<int32_t>(ferry::reg::SetValue(static_cast<Key>(key), name, ferry::reg::kDword, &v, 4));
  }
  return static_cast<int32_t>(ferry::reg::kInvalidParameter);
}

}  // extern "C"
