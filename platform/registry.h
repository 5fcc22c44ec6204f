// The settings store: a hierarchical key/value registry with the semantics of the
// Windows NT registry. On Windows the calls reach the system registry through
// advapi32, with a throwaway store for tests (MAILFERRY_HIVE) and an undo journal
// for transactions in front; on Linux the store is an SQLite hive file shared by
// every process of the system.
//
// Every call returns an error code in the Win32 numbering (0 on success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::reg {

// Opaque key handle. On Windows it is an HKEY.
struct KeyObject;
using Key = KeyObject*;

// Predefined roots.
Key LocalMachine();
Key CurrentUser();

// Value types kept by the store.
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kSz = 1;
inline constexpr uint32_t kExpandSz = 2;
inline constexpr uint32_t kBinary = 3;
inline constexpr uint32_t kDword = 4;

// Error codes (the Win32 numbers).
inline constexpr long kOk = 0;
inline constexpr long kFileNotFound = 2;
inline constexpr long kAccessDenied = 5;
inline constexpr long kInvalidHandle = 6;
inline constexpr long kBadNetPath = 53;
inline constexpr long kInvalidParameter = 87;
inline constexpr long kMoreData = 234;
inline constexpr long kNoMoreItems = 259;
inline constexpr long kKeyDeleted = 1018;
inline constexpr long kRegistryIoFailed = 1016;

// Access rights; the store grants every right, they are carried for the Windows side.
inline constexpr uint32_t kAllAccess = 0xF003F;
inline constexpr uint32_t kRead = 0x20019;
inline constexpr uint32_t kEnumerateSubKeys = 0x0008;
inline constexpr uint32_t kSetValue = 0x0002;
inline constexpr uint32_t kQueryValue = 0x0001;

// Opens an existing key below `parent`; `subKey` is a path with '\' separators.
// An empty `subKey` opens a new handle to `parent` itself.
long OpenKey(Key parent, std::string_view subKey, uint32_t access, Key* result);

// Opens the key, creating it and every missing key on the path.
long CreateKey(Key parent, std::string_view subKey, Key* result);

// Reads a value. With `data` null only `*type` and `*size` are filled. When
// `*size` is smaller than the stored value, answers kMoreData, sets `*size` to
// the needed size and copies nothing. `type` may be null. On Windows a text
// (REG_SZ, REG_EXPAND_SZ) is stored with a terminating NUL that SetValue adds
// when the data lack one; QueryValue leaves it out again, so both systems read
// back the bytes written, and a size query answers the size a read gives (a
// text written with a NUL of its own at the end reads back without it there).
long QueryValue(Key key, std::string_view name, uint32_t* type, void* data, uint32_t* size);

// Writes a value of the given type with exactly `size` bytes.
long SetValue(Key key, std::string_view name, uint32_t type, const void* data, uint32_t size);

long DeleteValue(Key key, std::string_view name);

// Names the subkey at `index` in the store's stable order. `capacity` is the
// caller's name buffer in bytes, terminator included: a longer name answers
// kMoreData. Past the last subkey answers kNoMoreItems.
long EnumKey(Key key, uint32_t index, std::string* name, std::size_t capacity);

// Names the value at `index` in the store's stable order and gives its type
// (RegEnumValueA without the data; read the data with QueryValue). `capacity`
// and the answers are as for EnumKey; `type` may be null.
long EnumValue(Key key, uint32_t index, std::string* name, std::size_t capacity, uint32_t* type);

// Deletes a subkey that has no subkeys of its own (kAccessDenied otherwise).
long DeleteKey(Key parent, std::string_view subKey);

// Reaches the root of another computer's store. An empty name, or the name of
// this computer, gives the local store.
long ConnectRegistry(std::string_view computer, Key root, Key* result);

// Opens a store file of the caller's own at `path` (made, owner only, when
// missing) and gives its `root`: a private working copy, such as another
// computer's settings read over SSH. Linux only; Windows answers
// kInvalidParameter.
long OpenStoreFile(const std::string& path, Key root, Key* result);

long CloseKey(Key key);

// Keeps the key's values from other users: on Windows the key gets an access
// list of SYSTEM and the Administrators only (full control, not inherited from
// its parent, passed on to its subkeys, the existing ones included); a throwaway
// store (MAILFERRY_HIVE) keeps the access of the user who made it. On Linux the
// store file is its owner's only already, and this changes nothing.
long RestrictToAdministrators(Key key);

// Rollback undoes every write made since Begin, Commit keeps them. A Begin
// inside a transaction nests: the outermost Commit ends it, a Rollback at any
// depth ends it.
// - Linux: one SQLite transaction on the hive connection of `key` (Begin on a
//   predefined root answers kInvalidHandle). A key opened
//   from a predefined root has a connection of its own, shared by every handle
//   opened below it. The writes on these handles take effect together or not
//   at all; other processes see none of them before Commit.
// - Windows: an undo journal kept for the calling thread; it covers every write
//   the thread makes, on any handle (a predefined root included). The writes reach the registry at once:
//   other threads and processes see them as they happen, and a crash leaves
//   them in place.
long BeginTransaction(Key key);
long CommitTransaction(Key key);
long RollbackTransaction(Key key);

// Closes a key when it leaves scope.
class KeyHolder {
 public:
  KeyHolder() = default;
  explicit KeyHolder(Key key) : key_(key) {}
  KeyHolder(const KeyHolder&) = delete;
  KeyHolder& operator=(const KeyHolder&) = delete;
  KeyHolder(KeyHolder&& other) noexcept : key_(other.key_) { other.key_ = nullptr; }
  KeyHolder& operator=(KeyHolder&& other) noexcept {
    if (this != &other) {
      Reset();
      key_ = other.key_;
      other.key_ = nullptr;
    }
    return *this;
  }
  ~KeyHolder() { Reset(); }

  Key get() const { return key_; }
  Key* out() {
    Reset();
    return &key_;
  }
  explicit operator bool() const { return key_ != nullptr; }
  void Reset() {
    if (key_ != nullptr) CloseKey(key_);
    key_ = nullptr;
  }

 private:
  Key key_ = nullptr;
};

}  // namespace ferry::reg

namespace ferry::reg {

// A key or value name in the form the store compares: Latin-1 letters in upper
// case. Two names are the same name when their folds are equal.
std::string FoldName(std::string_view name);

// The key names of a subkey path, split at each '\'. Empty names are kept: two
// '\' in a row give an empty name between them, an empty path gives one empty
// name. The parts point into `path`.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

}  // namespace ferry::reg
