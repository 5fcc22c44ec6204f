// The settings store on Linux: an SQLite hive file in WAL mode, shared by the
// service, its workers, the console and the command-line tool at once. Every call
// is one SQLite transaction, so a crash never leaves a half-written value.
//
// Keys form a tree in table `keys`; names are kept as raw 8-bit bytes and compared
// by their Latin-1 upper-case fold, which also orders the enumeration.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/store_location.h"
#include "platform/system_info.h"

namespace ferry::reg {
namespace {

constexpr int64_t kLocalMachineId = 1;
constexpr int64_t kCurrentUserId = 2;
constexpr int kBusyTimeoutMs = 30000;

std::string Fold(std::string_view name) { return FoldName(name); }

// One SQLite connection; shared by a root handle and every handle opened below it.
struct Hive {
  sqlite3* db = nullptr;
  std::recursive_mutex mutex;
  int transactionDepth = 0;
  ~Hive() {
    if (db != nullptr) sqlite3_close_v2(db);
  }
};

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) stmt_ = nullptr;
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  Statement& Bind(int i, int64_t v) {
    if (stmt_ != nullptr) sqlite3_bind_int64(stmt_, i, v);
    return *this;
  }
  Statement& Bind(int i, std::string_view v) {
    if (stmt_ != nullptr) sqlite3_bind_blob(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() { return stmt_ == nullptr ? SQLITE_ERROR : sqlite3_step(stmt_); }
  int64_t Int(int col) { return sqlite3_column_int64(stmt_, col); }
  std::string Blob(int col) {
    const void* p = sqlite3_column_blob(stmt_, col);
    int n = sqlite3_column_bytes(stmt_, col);
    return p == nullptr ? std::string() : std::string(static_cast<const char*>(p), static_cast<std::size_t>(n));
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

bool Exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

std::string DefaultHivePath() {
  if (const char* env = std::getenv(kHiveEnvironmentVariable); env != nullptr && *env != '\0') return env;
  if (geteuid() == 0) return "/var/lib/mailferry/registry.hive";
  std::string state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
    state = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    state = std::string(home) + "/.local/state";
  } else {
    state = "/tmp";
  }
  return state + "/mailferry/registry.hive";
}

// Creates the missing folders of `path` (owner only) and the file itself with
// mode 0600, before SQLite sees it; SQLite gives its -wal and -shm files the
// same mode.
bool PrepareHiveFile(const std::string& path) {
  std::string::size_type pos = 1;
  while ((pos = path.find('/', pos)) != std::string::npos) {
    std::string dir = path.substr(0, pos);
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    ++pos;
  }
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// Puts a fresh or existing hive into WAL mode and creates its tables. Two
// processes opening a new hive at once can find it locked while the other one
// switches the journal mode, which the busy handler does not cover: retry.
bool InitialiseHive(sqlite3* db) {
  auto isBusy = [](int rc) { return (rc & 0xFF) == SQLITE_BUSY || (rc & 0xFF) == SQLITE_LOCKED; };
  for (int attempt = 0; attempt < 500; ++attempt) {
    if (attempt > 0) usleep(10000);
    {
      Statement mode(db, "PRAGMA journal_mode=WAL");
      int rc = mode.Step();
      if (rc != SQLITE_ROW) {
        if (isBusy(rc)) continue;
        return false;
      }
      const unsigned char* journal = sqlite3_column_text(mode.get(), 0);
      if (journal == nullptr || std::strcmp(reinterpret_cast<const char*>(journal), "wal") != 0) continue;
    }
    if (!Exec(db, "PRAGMA synchronous=NORMAL")) continue;
    int tables = -1;
    {
      Statement check(db, "SELECT count(*) FROM sqlite_master WHERE name='vals'");
      if (check.Step() == SQLITE_ROW) tables = static_cast<int>(check.Int(0));
    }
    if (tables == 1) return true;
    if (tables < 0 || !Exec(db, "BEGIN IMMEDIATE")) continue;
    bool ok = Exec(db,
                   "CREATE TABLE IF NOT EXISTS keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL,"
                   " name BLOB NOT NULL, fold BLOB NOT NULL);"
                   "CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold);"
                   "CREATE TABLE IF NOT EXISTS vals(key INTEGER NOT NULL, name BLOB NOT NULL, fold BLOB NOT NULL,"
                   " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, fold)) WITHOUT ROWID;"
                   "INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES"
                   " (1, 0, CAST('HKEY_LOCAL_MACHINE' AS BLOB), CAST('HKEY_LOCAL_MACHINE' AS BLOB)),"
                   " (2, 0, CAST('HKEY_CURRENT_USER' AS BLOB), CAST('HKEY_CURRENT_USER' AS BLOB));");
    if (ok && Exec(db, "COMMIT")) return true;
    Exec(db, "ROLLBACK");
  }
  return false;
}

// Run as root on a store that belongs to another user (the service's own,
// say), the files this process creates or touches (the hive, its -wal and
// -shm) are handed to the owner of the store's folder, so the service can
// still open them.
void KeepFolderOwner(const std::string& path) {
  if (geteuid() != 0) return;
  const std::string::size_type slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  struct stat owner {};
  if (stat(folder.c_str(), &owner) != 0 || owner.st_uid == 0) return;
  for (const std::string& file : {path, path + "-wal", path + "-shm"}) {
    struct stat now {};
    if (lstat(file.c_str(), &now) == 0 && S_ISREG(now.st_mode) && now.st_uid == 0)
      (void)chown(file.c_str(), owner.st_uid, owner.st_gid);
  }
}

std::shared_ptr<Hive> OpenHive(const std::string& path, bool mayCreate) {
  if (mayCreate) {
    if (!PrepareHiveFile(path)) return nullptr;
  } else if (access(path.c_str(), R_OK | W_OK) != 0) {
    return nullptr;
  }
  auto hive = std::make_shared<Hive>();
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &hive->db, flags, nullptr) != SQLITE_OK) return nullptr;
  sqlite3_busy_timeout(hive->db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(hive->db, 1);
  if (!InitialiseHive(hive->db)) return nullptr;
  KeepFolderOwner(path);
  return hive;
}

}  // namespace

struct KeyObject {
  std::shared_ptr<Hive> hive;  // null for the predefined roots
  int64_t id = 0;
  bool predefined = false;
};

namespace {

KeyObject gLocalMachine{nullptr, kLocalMachineId, true};
KeyObject gCurrentUser{nullptr, kCurrentUserId, true};

// A usable (hive, key id) pair for a handle; the predefined roots reach the
// local hive through a connection of their own for the duration of the call.
struct Resolved {
  std::shared_ptr<Hive> hive;
  int64_t id = 0;
};

long Resolve(Key key, Resolved* out) {
  if (key == nullptr) return kInvalidHandle;
  if (key->predefined) {
    out->hive = OpenHive(DefaultHivePath(), true);
    if (!out->hive) return kRegistryIoFailed;
  } else {
    out->hive = key->hive;
  }
  out->id = key->id;
  return kOk;
}

bool KeyExists(Hive& hive, int64_t id) {
  Statement s(hive.db, "SELECT 1 FROM keys WHERE id=?");
  return s.Bind(1, id).Step() == SQLITE_ROW;
}

// Child id or 0.
int64_t FindChild(Hive& hive, int64_t parent, std::string_view name) {
  Statement s(hive.db, "SELECT id FROM keys WHERE parent=? AND fold=?");
  s.Bind(1, parent).Bind(2, Fold(name));
  return s.Step() == SQLITE_ROW ? s.Int(0) : 0;
}

// The id of a new key: never one a deleted key had, so that a handle still
// open on a deleted key never reaches a key made after it. The highest id
// given out is kept as a value of the pseudo key 0, which no handle names.
int64_t NextKeyId(Hive& hive) {
  static constexpr std::string_view kMark = "#next key id";
  int64_t next = 0;
  {
    Statement max(hive.db, "SELECT coalesce(max(id), 0) + 1 FROM keys");
    if (max.Step() != SQLITE_ROW) return 0;
    next = max.Int(0);
  }
  {
    Statement mark(hive.db, "SELECT data FROM vals WHERE key=0 AND fold=?");
    mark.Bind(1, kMark);
    if (mark.Step() == SQLITE_ROW && sqlite3_column_bytes(mark.get(), 0) == 8) {
      int64_t kept = 0;
      std::memcpy(&kept, sqlite3_column_blob(mark.get(), 0), 8);
      next = std::max(next, kept + 1);
    }
  }
  unsigned char bytes[8];
  std::memcpy(bytes, &next, 8);
  Statement put(hive.db, "INSERT OR REPLACE INTO vals(key, name, fold, type, data) VALUES(0, ?, ?, 3, ?)");
  put.Bind(1, kMark).Bind(2, kMark).Bind(3, std::string_view(reinterpret_cast<const char*>(bytes), 8));
  return put.Step() == SQLITE_DONE ? next : 0;
}

// Walks `path` below `start`. On success `*id` is the key's id.
long Walk(Hive& hive, int64_t start, std::string_view path, bool create, int64_t* id) {
  if (!KeyExists(hive, start)) return kKeyDeleted;
  *id = start;
  if (path.empty()) return kOk;
  for (std::string_view part : SplitKeyPath(path)) {
    if (part.empty() || part.size() > 255) return kInvalidParameter;
    int64_t child = FindChild(hive, *id, part);
    if (child == 0) {
      if (!create) return kFileNotFound;
      child = NextKeyId(hive);
      if (child == 0) return kRegistryIoFailed;
      Statement ins(hive.db, "INSERT INTO keys(id, parent, name, fold) VALUES(?, ?, ?, ?)");
      if (ins.Bind(1, child).Bind(2, *id).Bind(3, part).Bind(4, Fold(part)).Step() != SQLITE_DONE)
        return kRegistryIoFailed;
    }
    *id = child;
  }
  return kOk;
}

// Runs `body` inside a write transaction unless one is already open on the
// hive; rolls back when `body` fails.
template <typename Body>
long InWriteTransaction(Hive& hive, Body body) {
  std::lock_guard lock(hive.mutex);
  bool own = hive.transactionDepth == 0;
  if (own && !Exec(hive.db, "BEGIN IMMEDIATE")) return kRegistryIoFailed;
  long rc = body();
  if (own) {
    if (rc == kOk) {
      if (!Exec(hive.db, "COMMIT")) {
        Exec(hive.db, "ROLLBACK");
        return kRegistryIoFailed;
      }
    } else {
      Exec(hive.db, "ROLLBACK");
    }
  }
  return rc;
}

long OpenOrCreate(Key parent, std::string_view subKey, Key* result, bool create) {
  if (result == nullptr) return kInvalidParameter;
  *result = nullptr;
  Resolved r;
  if (long rc = Resolve(parent, &r); rc != kOk) return rc;
  int64_t id = 0;
  long rc = create ? InWriteTransaction(*r.hive, [&] { return Walk(*r.hive, r.id, subKey, true, &id); })
                   : [&] {
                       std::lock_guard lock(r.hive->mutex);
                       return Walk(*r.hive, r.id, subKey, false, &id);
                     }();
  if (rc != kOk) return rc;
  *result = new KeyObject{r.hive, id, false};
  return kOk;
}

}  // namespace

Key LocalMachine() { return &gLocalMachine; }
Key CurrentUser() { return &gCurrentUser; }

std::string StoreLocation() { return DefaultHivePath(); }

bool StoreExists() {
  struct stat st {};
  return stat(DefaultHivePath().c_str(), &st) == 0;
}

std::string StoreProblem() {
  const std::string path = DefaultHivePath();
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return errno == ENOENT ? "does not exist" : std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "is a directory";
  if (!S_ISREG(st.st_mode)) return "is not a regular file";
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == EACCES ? "cannot be read (permission denied)" : std::strerror(errno);
  char header[16] = {};
  ssize_t n = read(fd, header, sizeof header);
  close(fd);
  // An empty file becomes a store at its first use; anything else must be SQLite's.
  if (n != 0 && (n != static_cast<ssize_t>(sizeof header) || std::memcmp(header, "SQLite format 3", 16) != 0))
    return "is not a store file";
  if (access(path.c_str(), W_OK) != 0) return errno == EROFS ? "is on a read-only file system" : "is read-only";
  std::string folder = path.substr(0, path.find_last_of('/') + 1);
  if (folder.empty()) folder = ".";
  // The store's journal files are made next to it.
  if (access(folder.c_str(), W_OK) != 0) return "lies in a folder that is read-only (" + folder + ")";
  return "";
}

long OpenKey(Key parent, std::string_view subKey, uint32_t /*access*/, Key* result) {
  return OpenOrCreate(parent, subKey, result, false);
}

long CreateKey(Key parent, std::string_view subKey, Key* result) { return OpenOrCreate(parent, subKey, result, true); }

long QueryValue(Key key, std::string_view name, uint32_t* type, void* data, uint32_t* size) {
  if (data != nullptr && size == nullptr) return kInvalidParameter;
  Resolved r;
  if (long rc = Resolve(key, &r); rc != kOk) return rc;
  std::lock_guard lock(r.hive->mutex);
  Statement s(r.hive->db, "SELECT type, data FROM vals WHERE key=? AND fold=?");
  s.Bind(1, r.id).Bind(2, Fold(name));
  int step = s.Step();
  if (step != SQLITE_ROW) {
    if (step != SQLITE_DONE) return kRegistryIoFailed;
    return KeyExists(*r.hive, r.id) ? kFileNotFound : kKeyDeleted;
  }
  std::string bytes = s.Blob(1);
  if (type != nullptr) *type = static_cast<uint32_t>(s.Int(0));
  auto needed = static_cast<uint32_t>(bytes.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return kOk;
  }
  if (*size < needed) {
    *size = needed;
    return kMoreData;
  }
  std::memcpy(data, bytes.data(), bytes.size());
  *size = needed;
  return kOk;
}

long SetValue(Key key, std::string_view name, uint32_t type, const void* data, uint32_t size) {
  if (data == nullptr && size != 0) return kInvalidParameter;
  if (name.size() > 16383) return kInvalidParameter;
  Resolved r;
  if (long rc = Resolve(key, &r); rc != kOk) return rc;
  std::string_view bytes(static_cast<const char*>(data), data == nullptr ? 0 : size);
  return InWriteTransaction(*r.hive, [&]() -> long {
    if (!KeyExists(*r.hive, r.id)) return kKeyDeleted;
    Statement s(r.hive->db,
                "INSERT INTO vals(key, name, fold, type, data) VALUES(?, ?, ?, ?, ?)"
                " ON CONFLICT(key, fold) DO UPDATE SET name=excluded.name, type=excluded.type, data=excluded.data");
    s.Bind(1, r.id).Bind(2, name).Bind(3, Fold(name)).Bind(4, static_cast<int64_t>(type)).Bind(5, bytes);
    return s.Step() == SQLITE_DONE ? kOk : kRegistryIoFailed;
  });
}

long DeleteValue(Key key, std::string_view name) {
  Resolved r;
  if (long rc = Resolve(key, &r); rc != kOk) return rc;
  return InWriteTransaction(*r.hive, [&]() -> long {
    if (!KeyExists(*r.hive, r.id)) return kKeyDeleted;
    Statement s(r.hive->db, "DELETE FROM vals WHERE key=? AND fold=?");
    if (s.Bind(1, r.id).Bind(2, Fold(name)).Step() != SQLITE_DONE) return kRegistryIoFailed;
    return sqlite3_changes(r.hive->db) > 0 ? kOk : kFileNotFound;
  });
}

long EnumKey(Key key, uint32_t index, std::string* name, std::size_t capacity) {
  if (name == nullptr) return kInvalidParameter;
  Resolved r;
  if (long rc = Resolve(key, &r); rc != kOk) return rc;
  std::lock_guard lock(r.hive->mutex);
  Statement s(r.hive->db, "SELECT name FROM keys WHERE parent=? ORDER BY fold LIMIT 1 OFFSET ?");
  s.Bind(1, r.id).Bind(2, static_cast<int64_t>(index));
  int step = s.Step();
  if (step == SQLITE_DONE) return KeyExists(*r.hive, r.id) ? kNoMoreItems : kKeyDeleted;
  if (step != SQLITE_ROW) return kRegistryIoFailed;
  std::string found = s.Blob(0);
  if (found.size() + 1 > capacity) return kMoreData;
  *name = std::move(found);
  return kOk;
}

long EnumValue(Key key, uint32_t index, std::string* name, std::size_t capacity, uint32_t* type) {
  if (name == nullptr) return kInvalidParameter;
  Resolved r;
  if (long rc = Resolve(key, &r); rc != kOk) return rc;
  std::lock_guard lock(r.hive->mutex);
  Statement s(r.hive->db, "SELECT name, type FROM vals WHERE key=? ORDER BY fold LIMIT 1 OFFSET ?");
  s.Bind(1, r.id).Bind(2, static_cast<int64_t>(index));
  int step = s.Step();
  if (step == SQLITE_DONE) return KeyExists(*r.hive, r.id) ? kNoMoreItems : kKeyDeleted;
  if (step != SQLITE_ROW) return kRegistryIoFailed;
  std::string found = s.Blob(0);
  if (found.size() + 1 > capacity) return kMoreData;
  if (type != nullptr) *type = static_cast<uint32_t>(s.Int(1));
  *name = std::move(found);
  return kOk;
}

long DeleteKey(Key parent, std::string_view subKey) {
  if (subKey.empty()) return kInvalidParameter;
  Resolved r;
  if (long rc = Resolve(parent, &r); rc != kOk) return rc;
  return InWriteTransaction(*r.hive, [&]() -> long {
    int64_t id = 0;
    if (long rc = Walk(*r.hive, r.id, subKey, false, &id); rc != kOk) return rc;
    Statement children(r.hive->db, "SELECT 1 FROM keys WHERE parent=? LIMIT 1");
    if (children.Bind(1, id).Step() == SQLITE_ROW) return kAccessDenied;
    Statement vals(r.hive->db, "DELETE FROM vals WHERE key=?");
    Statement keys(r.hive->db, "DELETE FROM keys WHERE id=?");
    if (vals.Bind(1, id).Step() != SQLITE_DONE || keys.Bind(1, id).Step() != SQLITE_DONE) return kRegistryIoFailed;
    return kOk;
  });
}

long ConnectRegistry(std::string_view computer, Key root, Key* result) {
  if (result == nullptr || root == nullptr || !root->predefined) return kInvalidParameter;
  *result = nullptr;
  std::string_view name = computer;
  while (name.starts_with('\\')) name.remove_prefix(1);
  std::shared_ptr<Hive> hive;
  if (name.empty() || Fold(name) == Fold(ComputerName())) {
    hive = OpenHive(DefaultHivePath(), true);
    if (!hive) return kRegistryIoFailed;
  } else {
    const char* folder = std::getenv(kRemoteHivesEnvironmentVariable);
    if (folder == nullptr || *folder == '\0' || name.find('/') != std::string_view::npos || name == "." ||
        name == "..")
      return kBadNetPath;
    hive = OpenHive(std::string(folder) + "/" + std::string(name) + ".hive", false);
    if (!hive) return kBadNetPath;
  }
  *result = new KeyObject{hive, root->id, false};
  return kOk;
}

long OpenStoreFile(const std::string& path, Key root, Key* result) {
  if (result == nullptr || root == nullptr || !root->predefined || path.empty() || path[0] != '/')
    return kInvalidParameter;
  *result = nullptr;
  std::shared_ptr<Hive> hive = OpenHive(path, true);
  if (!hive) return kRegistryIoFailed;
  *result = new KeyObject{hive, root->id, false};
  return kOk;
}

long CloseKey(Key key) {
  if (key == nullptr) return kInvalidHandle;
  if (key->predefined) return kOk;
  delete key;
  return kOk;
}

long RestrictToAdministrators(Key key) {
  Resolved r;
  return Resolve(key, &r);
}

long BeginTransaction(Key key) {
  if (key == nullptr || key->predefined) return kInvalidHandle;
  std::lock_guard lock(key->hive->mutex);
  if (key->hive->transactionDepth == 0 && !Exec(key->hive->db, "BEGIN IMMEDIATE")) return kRegistryIoFailed;
  ++key->hive->transactionDepth;
  return kOk;
}

long CommitTransaction(Key key) {
  if (key == nullptr || key->predefined) return kInvalidHandle;
  std::lock_guard lock(key->hive->mutex);
  if (key->hive->transactionDepth == 0) return kInvalidParameter;
  if (--key->hive->transactionDepth == 0 && !Exec(key->hive->db, "COMMIT")) {
    Exec(key->hive->db, "ROLLBACK");
    return kRegistryIoFailed;
  }
  return kOk;
}

long RollbackTransaction(Key key) {
  if (key == nullptr || key->predefined) return kInvalidHandle;
  std::lock_guard lock(key->hive->mutex);
  if (key->hive->transactionDepth == 0) return kInvalidParameter;
  key->hive->transactionDepth = 0;
  Exec(key->hive->db, "ROLLBACK");
  return kOk;
}

}  // namespace ferry::reg
