// The settings store on Windows: the system registry through advapi32. Two
// additions sit in front of the calls:
//
// - A throwaway store. When MAILFERRY_HIVE is set (tests and the demo set it to
//   a file of their own on Linux), HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are
//   taken as two keys below HKEY_CURRENT_USER\Software\MailFerry Stores\<the
//   variable's text, '\' written as '/'>, so a test never touches the real
//   service's keys. The redirection is resolved per call, like the hive file on
//   Linux; the keys stay behind until deleted (scripts/test-windows deletes the
//   whole "MailFerry Stores" tree after the suite).
//
// - Transactions. The registry has none that every system offers, so a
//   transaction is a journal of undo steps kept for the thread that began it:
//   each write records how to put back what it changed, Commit forgets the
//   journal and Rollback replays it backwards. A step names its key by a path
//   below a root, not by a handle, because a handle stops working when its key
//   is deleted and created anew; so every handle given out is remembered with
//   its path. Other threads and processes see the writes as they happen, and a
//   crash leaves them in place.
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/registry.h"
#include "platform/store_location.h"
#include "platform/system_info.h"

namespace ferry::reg {
namespace {

constexpr const char* kStoresKey = "Software\\MailFerry Stores";

HKEY Native(Key key) { return reinterpret_cast<HKEY>(key); }
Key Wrap(HKEY key) { return reinterpret_cast<Key>(key); }

bool IsRoot(HKEY key) { return key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER; }

std::string RedirectionPath() {
  const char* hive = std::getenv(kHiveEnvironmentVariable);
  if (hive == nullptr || *hive == '\0') return {};
  std::string path = std::string(kStoresKey) + "\\";
  for (const char* p = hive; *p != '\0'; ++p) path += *p == '\\' ? '/' : *p;
  return path;
}

// The key a call works on: the handle itself, or for a root under
// redirection a handle of the throwaway root, closed when the call ends.
class Target {
 public:
  explicit Target(Key key) : key_(Native(key)) {
    if (!IsRoot(key_)) return;
    std::string redirect = RedirectionPath();
    if (redirect.empty()) return;
    redirect += key_ == HKEY_LOCAL_MACHINE ? "\\LocalMachine" : "\\CurrentUser";
    HKEY root = nullptr;
    error_ = RegCreateKeyExA(HKEY_CURRENT_USER, redirect.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &root, nullptr);
    key_ = error_ == ERROR_SUCCESS ? root : nullptr;
    owned_ = error_ == ERROR_SUCCESS;
  }
  Target(const Target&) = delete;
  Target& operator=(const Target&) = delete;
  ~Target() {
    if (owned_) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  long error() const { return error_; }

 private:
  HKEY key_;
  bool owned_ = false;
  long error_ = ERROR_SUCCESS;
};

// A second handle to the same key, for the journal (the caller may close its own).
HKEY Reopen(HKEY key) {
  HKEY copy = nullptr;
  return RegOpenKeyExA(key, "", 0, KEY_ALL_ACCESS, &copy) == ERROR_SUCCESS ? copy : nullptr;
}

struct StoredValue {
  std::string name;
  DWORD type = REG_NONE;
  std::string data;
};

// Reads one value whole; false when it does not exist (or cannot be read).
bool ReadValue(HKEY key, const std::string& name, StoredValue* out) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::string data(size, '\0');
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_MORE_DATA) continue;  // changed in between
    if (rc != ERROR_SUCCESS) return false;
    data.resize(size);
    *out = {name, type, std::move(data)};
    return true;
  }
  return false;
}

std::vector<StoredValue> ReadAllValues(HKEY key) {
  std::vector<StoredValue> values;
  for (DWORD index = 0;; ++index) {
    char name[16384];
    DWORD length = sizeof name;
    if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    StoredValue value;
    if (ReadValue(key, std::string(name, length), &value)) values.push_back(std::move(value));
  }
  return values;
}

std::string JoinPath(const std::vector<std::string>& parts, std::size_t count) {
  std::string path;
  for (std::size_t i = 0; i < count; ++i) path += (i > 0 ? "\\" : "") + parts[i];
  return path;
}

// A key named by a path below a base that a transaction cannot delete: a root
// (resolved again at each use, so the throwaway store is honoured) or the root
// of another computer reached through its own handle.
struct Base {
  HKEY key = nullptr;
  bool owned = false;
  Base(HKEY k, bool o) : key(k), owned(o) {}
  Base(const Base&) = delete;
  Base& operator=(const Base&) = delete;
  ~Base() {
    if (owned && key != nullptr) RegCloseKey(key);
  }
};

struct Place {
  std::shared_ptr<Base> base;
  std::string path;  // below base; empty for the base itself
};

// The place of every handle OpenKey, CreateKey and ConnectRegistry gave out
// and CloseKey has not closed yet.
std::mutex gPlacesMutex;
std::map<HKEY, Place> gPlaces;

void Remember(HKEY handle, Place place) {
  std::lock_guard lock(gPlacesMutex);
  gPlaces[handle] = std::move(place);
}

void Forget(HKEY handle) {
  std::lock_guard lock(gPlacesMutex);
  gPlaces.erase(handle);
}

// Where a handle leads; a handle that was not given out here stands for
// itself (the journal keeps a handle of its own to it).
Place PlaceOf(HKEY key) {
  if (IsRoot(key)) return {std::make_shared<Base>(key, false), {}};
  {
    std::lock_guard lock(gPlacesMutex);
    auto found = gPlaces.find(key);
    if (found != gPlaces.end()) return found->second;
  }
  HKEY own = Reopen(key);
  if (own == nullptr) return {};
  return {std::make_shared<Base>(own, true), {}};
}

Place Below(Place place, std::string_view subKey) {
  if (subKey.empty()) return place;
  if (!place.path.empty()) place.path += '\\';
  place.path += subKey;
  return place;
}

// Opens the key at a place now, or nullptr when it is not there.
HKEY OpenPlace(const Place& place) {
  if (place.base == nullptr) return nullptr;
  Target target(Wrap(place.base->key));
  if (target.get() == nullptr) return nullptr;
  HKEY opened = nullptr;
  return RegOpenKeyExA(target.get(), place.path.c_str(), 0, KEY_ALL_ACCESS, &opened) == ERROR_SUCCESS ? opened
                                                                                                      : nullptr;
}

// Writes a value with exactly the bytes given. RegSetValueExA adds a
// terminator to a string value that lacks one when the byte after the data
// happens to be NUL, so the data is passed with a byte after it that is not NUL.
LONG SetExactValue(HKEY key, const std::string& name, DWORD type, const char* data, std::size_t size) {
  std::string bytes(data, size);
  bytes.push_back('\x01');
  return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                        static_cast<DWORD>(size));
}

// One undo step. `place` is the key a value step works on, or the parent of
// the keys a key step works on.
struct UndoStep {
  enum class Kind { RestoreValue, RemoveValue, RemoveKeys, RestoreKey } kind;
  Place place;
  StoredValue value;                // RestoreValue, RemoveValue (name only)
  std::vector<std::string> path;    // RemoveKeys, RestoreKey: below `place`
  std::size_t firstCreated = 0;     // RemoveKeys: path[firstCreated..] were created
  std::vector<StoredValue> values;  // RestoreKey
};

struct Journal {
  int depth = 0;
  std::vector<UndoStep> steps;
};

thread_local Journal tJournal;

bool Journaling() { return tJournal.depth > 0; }

void Record(UndoStep step) {
  if (step.place.base != nullptr) tJournal.steps.push_back(std::move(step));
}

void RecordValueChange(HKEY key, HKEY resolved, const std::string& name) {
  UndoStep step{};
  StoredValue old;
  step.kind = ReadValue(resolved, name, &old) ? UndoStep::Kind::RestoreValue : UndoStep::Kind::RemoveValue;
  old.name = name;
  step.value = std::move(old);
  step.place = PlaceOf(key);
  Record(std::move(step));
}

void Undo(const UndoStep& step) {
  HKEY key = OpenPlace(step.place);
  if (key == nullptr) return;
  switch (step.kind) {
    case UndoStep::Kind::RestoreValue:
      SetExactValue(key, step.value.name, step.value.type, step.value.data.data(), step.value.data.size());
      break;
    case UndoStep::Kind::RemoveValue:
      RegDeleteValueA(key, step.value.name.c_str());
      break;
    case UndoStep::Kind::RemoveKeys:
      for (std::size_t n = step.path.size(); n > step.firstCreated; --n) {
        RegDeleteKeyA(key, JoinPath(step.path, n).c_str());
      }
      break;
    case UndoStep::Kind::RestoreKey: {
      HKEY restored = nullptr;
      std::string path = JoinPath(step.path, step.path.size());
      if (RegCreateKeyExA(key, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                          &restored, nullptr) != ERROR_SUCCESS)
        break;
      for (const StoredValue& v : step.values) SetExactValue(restored, v.name, v.type, v.data.data(), v.data.size());
      RegCloseKey(restored);
      break;
    }
  }
  RegCloseKey(key);
}

}  // namespace

Key LocalMachine() { return Wrap(HKEY_LOCAL_MACHINE); }
Key CurrentUser() { return Wrap(HKEY_CURRENT_USER); }

std::string StoreLocation() {
  std::string redirect = RedirectionPath();
  if (redirect.empty()) return "the system registry";
  return "HKEY_CURRENT_USER\\" + redirect;
}

bool StoreExists() { return true; }

std::string StoreProblem() { return ""; }

long OpenKey(Key parent, std::string_view subKey, uint32_t access, Key* result) {
  if (result == nullptr) return kInvalidParameter;
  *result = nullptr;
  Target target(parent);
  if (target.get() == nullptr) return target.error();
  HKEY opened = nullptr;
  long rc = RegOpenKeyExA(target.get(), std::string(subKey).c_str(), 0, access, &opened);
  if (rc == ERROR_SUCCESS) {
    Remember(opened, Below(PlaceOf(Native(parent)), subKey));
    *result = Wrap(opened);
  }
  return rc;
}

long CreateKey(Key parent, std::string_view subKey, Key* result) {
  if (result == nullptr) return kInvalidParameter;
  *result = nullptr;
  Target target(parent);
  if (target.get() == nullptr) return target.error();
  const std::vector<std::string_view> names = SplitKeyPath(subKey);
  std::vector<std::string> path(names.begin(), names.end());
  std::size_t existing = 0;
  if (Journaling() && !subKey.empty()) {
    // The longest part of the path that exists already stays at a rollback.
    while (existing < path.size()) {
      HKEY probe = nullptr;
      if (RegOpenKeyExA(target.get(), JoinPath(path, existing + 1).c_str(), 0, KEY_READ, &probe) != ERROR_SUCCESS)
        break;
      RegCloseKey(probe);
      ++existing;
    }
  }
  HKEY created = nullptr;
  long rc = RegCreateKeyExA(target.get(), std::string(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &created, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  Place parentPlace = PlaceOf(Native(parent));
  if (Journaling() && !subKey.empty() && existing < path.size()) {
    UndoStep step{};
    step.kind = UndoStep::Kind::RemoveKeys;
    step.place = parentPlace;
    step.path = std::move(path);
    step.firstCreated = existing;
    Record(std::move(step));
  }
  Remember(created, Below(std::move(parentPlace), subKey));
  *result = Wrap(created);
  return rc;
}

long QueryValue(Key key, std::string_view name, uint32_t* type, void* data, uint32_t* size) {
  if (data != nullptr && size == nullptr) return kInvalidParameter;
  Target target(key);
  if (target.get() == nullptr) return target.error();
  const std::string valueName(name);
  DWORD nativeType = REG_NONE;
  DWORD nativeSize = 0;
  long rc = RegQueryValueExA(target.get(), valueName.c_str(), nullptr, &nativeType, nullptr, &nativeSize);
  StoredValue whole;
  if (rc == ERROR_SUCCESS && (nativeType == REG_SZ || nativeType == REG_EXPAND_SZ) && size != nullptr) {
    // A text's terminating NUL (SetValue adds one) is the system's, not the
    // text's: the caller gets the bytes it wrote, sizes count without it, and
    // a text stored without one reads the same.
    if (!ReadValue(target.get(), valueName, &whole)) return ERROR_FILE_NOT_FOUND;
    if (!whole.data.empty() && whole.data.back() == '\0') whole.data.pop_back();
    nativeType = whole.type;
    nativeSize = static_cast<DWORD>(whole.data.size());
    if (data != nullptr && nativeSize > *size) {
      rc = ERROR_MORE_DATA;
    } else if (data != nullptr) {
      std::memcpy(data, whole.data.data(), nativeSize);
    }
  } else if (rc == ERROR_SUCCESS) {
    nativeSize = size != nullptr ? *size : 0;
    rc = RegQueryValueExA(target.get(), valueName.c_str(), nullptr, &nativeType, static_cast<BYTE*>(data),
                          size != nullptr ? &nativeSize : nullptr);
  }
  if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    if (type != nullptr) *type = nativeType;
    if (size != nullptr) *size = nativeSize;
  }
  return rc;
}

long SetValue(Key key, std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (data == nullptr && size != 0) return kInvalidParameter;
  Target target(key);
  if (target.get() == nullptr) return target.error();
  std::string valueName(name);
  if (Journaling()) RecordValueChange(Native(key), target.get(), valueName);
  std::string bytes(static_cast<const char*>(data), data == nullptr ? 0 : size);
  // A text is kept with its terminating NUL, as the system's own tools expect:
  // without it, regedit and "reg export" cut the text's last character.
  if ((type == REG_SZ || type == REG_EXPAND_SZ) && (bytes.empty() || bytes.back() != '\0')) bytes.push_back('\0');
  return SetExactValue(target.get(), valueName, type, bytes.data(), bytes.size());
}

long DeleteValue(Key key, std::string_view name) {
  Target target(key);
  if (target.get() == nullptr) return target.error();
  std::string valueName(name);
  if (Journaling()) RecordValueChange(Native(key), target.get(), valueName);
  return RegDeleteValueA(target.get(), valueName.c_str());
}

long EnumKey(Key key, uint32_t index, std::string* name, std::size_t capacity) {
  if (name == nullptr) return kInvalidParameter;
  Target target(key);
  if (target.get() == nullptr) return target.error();
  std::string buffer(capacity > 0 ? capacity : 1, '\0');
  DWORD length = static_cast<DWORD>(capacity);
  long rc = RegEnumKeyExA(target.get(), index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) *name = buffer.substr(0, length);
  return rc;
}

long EnumValue(Key key, uint32_t index, std::string* name, std::size_t capacity, uint32_t* type) {
  if (name == nullptr) return kInvalidParameter;
  Target target(key);
  if (target.get() == nullptr) return target.error();
  std::string buffer(capacity > 0 ? capacity : 1, '\0');
  DWORD length = static_cast<DWORD>(capacity);
  DWORD nativeType = REG_NONE;
  long rc = RegEnumValueA(target.get(), index, buffer.data(), &length, nullptr, &nativeType, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) {
    *name = buffer.substr(0, length);
    if (type != nullptr) *type = nativeType;
  }
  return rc;
}

long DeleteKey(Key parent, std::string_view subKey) {
  if (subKey.empty()) return kInvalidParameter;
  Target target(parent);
  if (target.get() == nullptr) return target.error();
  std::string path(subKey);
  UndoStep step{};
  if (Journaling()) {
    HKEY doomed = nullptr;
    if (RegOpenKeyExA(target.get(), path.c_str(), 0, KEY_READ, &doomed) == ERROR_SUCCESS) {
      step.values = ReadAllValues(doomed);
      RegCloseKey(doomed);
    }
  }
  long rc = RegDeleteKeyA(target.get(), path.c_str());
  if (rc == ERROR_SUCCESS && Journaling()) {
    step.kind = UndoStep::Kind::RestoreKey;
    step.place = PlaceOf(Native(parent));
    const std::vector<std::string_view> names = SplitKeyPath(subKey);
    step.path.assign(names.begin(), names.end());
    Record(std::move(step));
  }
  return rc;
}

long ConnectRegistry(std::string_view computer, Key root, Key* result) {
  if (result == nullptr || !IsRoot(Native(root))) return kInvalidParameter;
  *result = nullptr;
  std::string name(computer);
  std::string bare = name.substr(name.find_first_not_of('\\') == std::string::npos ? name.size()
                                                                                    : name.find_first_not_of('\\'));
  if (!RedirectionPath().empty() && (bare.empty() || lstrcmpiA(bare.c_str(), ComputerName().c_str()) == 0)) {
    // The throwaway store stands for the local computer's registry.
    return OpenKey(root, "", kAllAccess, result);
  }
  HKEY connected = nullptr;
  long rc = RegConnectRegistryA(name.empty() ? nullptr : name.c_str(), Native(root), &connected);
  if (rc == ERROR_SUCCESS) {
    // Another computer's root: the journal reaches it through a handle of its own.
    if (HKEY own = Reopen(connected); own != nullptr) Remember(connected, {std::make_shared<Base>(own, true), {}});
    *result = Wrap(connected);
  }
  return rc;
}

long OpenStoreFile(const std::string& /*path*/, Key /*root*/, Key* result) {
  if (result != nullptr) *result = nullptr;
  return kInvalidParameter;
}

long CloseKey(Key key) {
  if (key == nullptr) return kInvalidHandle;
  if (IsRoot(Native(key))) return kOk;
  Forget(Native(key));
  return RegCloseKey(Native(key));
}

long RestrictToAdministrators(Key key) {
  Target target(key);
  if (target.get() == nullptr) return target.error();
  if (!RedirectionPath().empty()) return kOk;
  // Full control for SYSTEM and the Administrators, passed on to subkeys; the
  // parent's entries (users may read the Services key) are not inherited.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;CI;KA;;;SY)(A;CI;KA;;;BA)", SDDL_REVISION_1,
                                                            &descriptor, nullptr))
    return static_cast<long>(GetLastError());
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  long rc = ERROR_INVALID_PARAMETER;
  if (GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) && present) {
    // Unlike RegSetKeySecurity, this also hands the entries down to the
    // subkeys that exist already.
    rc = static_cast<long>(SetSecurityInfo(target.get(), SE_REGISTRY_KEY,
                                           DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                           nullptr, dacl, nullptr));
  }
  LocalFree(descriptor);
  return rc;
}

// The journal belongs to the thread, not to a key: a predefined root (which
// is what the local registry's connection answers) begins one as well.
long BeginTransaction(Key key) {
  if (key == nullptr) return kInvalidHandle;
  ++tJournal.depth;
  return kOk;
}

long CommitTransaction(Key key) {
  if (key == nullptr) return kInvalidHandle;
  if (tJournal.depth == 0) return kInvalidParameter;
  if (--tJournal.depth == 0) tJournal.steps.clear();
  return kOk;
}

long RollbackTransaction(Key key) {
  if (key == nullptr) return kInvalidHandle;
  if (tJournal.depth == 0) return kInvalidParameter;
  tJournal.depth = 0;
  for (auto step = tJournal.steps.rbegin(); step != tJournal.steps.rend(); ++step) Undo(*step);
  tJournal.steps.clear();
  return kOk;
}

}  // namespace ferry::reg
