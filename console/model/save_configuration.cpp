// Writing the tables back to the chosen computer's store.
//
// The whole save is one store transaction on the connection to that computer,
// so a failure half way leaves the stored settings as they were. A save
// changes only what the person changed:
// - a value is written only when it was edited (or filled in by a command);
//   a value never edited stays as it is stored, or absent;
// - a row that stands where it was read keeps its key as it is;
// - a renamed or copied row gets a new key holding everything of the key it
//   came from (every value and every subkey), then its edits;
// - an account's feed list, once changed, is written as it stands below its
//   "Feeds" subkey; the feed keys it no longer lists go;
// - a key that was read and where no row stands any more is removed with all
//   below it; a key the console did not read is never touched, nor is the
//   subkey "volatile" (the tickers' state).
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "console/model/console.h"
#include "console/model/page_texts.h"
#include "console/model/store_texts.h"
#include "console/model/text_rules.h"
#include "schema/registry_schema.h"

namespace ferry::console {
namespace {

// Stored values are carried as raw bytes of their own type. The bound only
// keeps a damaged store from exhausting memory; no setting comes near it.
constexpr uint32_t kMaxCarriedValue = 16 * 1024 * 1024;
constexpr int kMaxKeyDepth = 8;

struct CarriedValue {
  std::string name;
  uint32_t type = 0;
  std::string bytes;
};

using Carried = std::vector<CarriedValue>;

// A failure of the save: what could not be written, for the message.
struct SaveFailure {
  std::string what;
};

// A stored key with everything below it, read before the save changes the store.
struct KeyCopy {
  Carried values;
  std::vector<std::pair<std::string, KeyCopy>> children;
};

// Every stored value of the key as raw bytes of its own type, and (with
// `children`) every subkey with all below it.
KeyCopy ReadKey(reg::Key root, const std::string& path, bool children, int depth) {
  KeyCopy copy;
  reg::KeyHolder key;
  if (depth > kMaxKeyDepth || reg::OpenKey(root, path, reg::kRead, key.out()) != reg::kOk) return copy;
  Carried& carried = copy.values;
  std::string name;
  for (uint32_t i = 0; reg::EnumValue(key.get(), i, &name, 16384, nullptr) == reg::kOk; ++i) {
    uint32_t type = 0;
    uint32_t size = 0;
    if (reg::QueryValue(key.get(), name, &type, nullptr, &size) != reg::kOk || size > kMaxCarriedValue) continue;
    std::string bytes(size, '\0');
    if (reg::QueryValue(key.get(), name, &type, bytes.data(), &size) != reg::kOk) continue;
    bytes.resize(size);
    carried.push_back({name, type, std::move(bytes)});
  }
  if (!children) return copy;
  std::vector<std::string> names;
  for (uint32_t i = 0; reg::EnumKey(key.get(), i, &name, 256) == reg::kOk; ++i) names.push_back(name);
  for (const std::string& child : names)
    copy.children.emplace_back(child, ReadKey(root, path + "\\" + child, true, depth + 1));
  return copy;
}

long DeleteTree(reg::Key parent, const std::string& name, int depth) {
  if (depth > kMaxKeyDepth) return reg::kAccessDenied;
  {
    reg::KeyHolder key;
    if (long rc = reg::OpenKey(parent, name, reg::kAllAccess, key.out()); rc != reg::kOk) return rc;
    std::vector<std::string> children;
    std::string child;
    for (uint32_t i = 0; reg::EnumKey(key.get(), i, &child, 256) == reg::kOk; ++i) children.push_back(child);
    for (const std::string& c : children) {
      if (long rc = DeleteTree(key.get(), c, depth + 1); rc != reg::kOk) return rc;
    }
  }
  return reg::DeleteKey(parent, name);
}

void Check(long rc, const std::string& what) {
  if (rc != reg::kOk) throw SaveFailure{what + ": Fehler " + std::to_string(rc)};
}

void WriteKey(reg::Key key, const KeyCopy& copy, const std::string& path) {
  for (const CarriedValue& v : copy.values) {
    Check(reg::SetValue(key, v.name, v.type, v.bytes.data(), static_cast<uint32_t>(v.bytes.size())),
          "\"" + v.name + "\" in " + path);
  }
  for (const auto& [name, child] : copy.children) {
    reg::KeyHolder sub;
    Check(reg::CreateKey(key, name, sub.out()), path + "\\" + name);
    WriteKey(sub.get(), child, path + "\\" + name);
  }
}

// The value library writes through a store connection of its own; on Windows
// its writes lie outside this process's undo journal. Writing the value once
// through the console's own connection first (as it stands, or empty when it is
// absent) puts its old state into the transaction, so a rollback puts it back
// whichever side wrote last.
long JournalValue(reg::Key key, const std::string& name) {
  uint32_t type = 0;
  uint32_t size = 0;
  long rc = reg::QueryValue(key, name, &type, nullptr, &size);
  if (rc == reg::kFileNotFound) return reg::SetValue(key, name, reg::kSz, "", 0);
  if (rc != reg::kOk) return rc;
  if (size > kMaxCarriedValue) return reg::kMoreData;
  std::string bytes(size, '\0');
  if (rc = reg::QueryValue(key, name, &type, bytes.data(), &size); rc != reg::kOk) return rc;
  return reg::SetValue(key, name, type, bytes.data(), size);
}

// The account's "Feeds" subkey made to hold the row's feed list: the keys of
// feeds no longer listed go, a renamed feed's key takes along the values of the
// key it had, and every listed feed gets its "URL" and "To".
void WriteFeeds(reg::Key account, const AccountRow& row, const std::string& path, ValueLibrary& values) {
  const KeyCopy stored = ReadKey(account, schema::kFeedsSubkey, true, 0);
  const std::string feedsPath = path + "\\" + schema::kFeedsSubkey;
  reg::KeyHolder feeds;
  Check(reg::CreateKey(account, schema::kFeedsSubkey, feeds.out()), feedsPath);
  auto listed = [&row](const std::string& name) {
    for (const FeedRow& feed : row.feeds)
      if (SameTextIgnoringCase(feed.name, name)) return true;
    return false;
  };
  auto storedKey = [&stored](const std::string& name) -> const KeyCopy* {
    for (const auto& [key, copy] : stored.children)
      if (SameTextIgnoringCase(key, name)) return &copy;
    return nullptr;
  };
  for (const auto& [name, copy] : stored.children) {
    if (listed(name)) continue;
    if (long rc = DeleteTree(feeds.get(), name, 0); rc != reg::kOk && rc != reg::kFileNotFound)
      Check(rc, texts::kRemoving + feedsPath + "\\" + name);
  }
  for (const FeedRow& feed : row.feeds) {
    const std::string feedPath = feedsPath + "\\" + feed.name;
    const KeyCopy* before = storedKey(feed.origin.empty() ? feed.name : feed.origin);
    const bool renamed = storedKey(feed.name) == nullptr && before != nullptr;
    reg::KeyHolder key;
    Check(reg::CreateKey(feeds.get(), feed.name, key.out()), feedPath);
    if (renamed) WriteKey(key.get(), *before, feedPath);
    for (const auto& [name, text] : {std::pair{schema::kFeedUrl, &feed.url}, std::pair{schema::kFeedTo, &feed.to}}) {
      const std::string what = std::string("\"") + name + "\" in " + feedPath;
      Check(JournalValue(key.get(), name), what);
      Check(values.Set(key.get(), name, static_cast<int32_t>(ValueType::Text), *text), what);
    }
  }
}

template <class Row>
const ConsoleValue<Row>* FindConsoleValue(std::span<const ConsoleValue<Row>> values, const std::string& name) {
  for (const ConsoleValue<Row>& v : values)
    if (name == v.name) return &v;
  return nullptr;
}

bool Kept(const ConnectionRow& row) { return !row.origin.empty() && row.origin.connection == row.name; }
bool Kept(const AccountRow& row) {
  return !row.origin.empty() && row.origin.connection == row.connection && row.origin.account == row.name;
}

}  // namespace

bool Console::SaveConfiguration() {
  reg::Key root = targetRoot_.get();
  reg::KeyHolder service;
  if (root == nullptr || reg::OpenKey(root, schema::kServiceKey, reg::kAllAccess, service.out()) != reg::kOk) {
    dialogs_.MessageBox(texts::kNotInstalledHere, texts::kErrorTitle, BoxStyle::Warning);
    return false;
  }
  if (!BindValues()) return false;

  // The transaction is carried by the service's key: the root of this computer
  // reached by its name is the predefined root itself, which carries none.
  const reg::Key transaction = service.get();
  if (long rc = reg::BeginTransaction(transaction); rc != reg::kOk) {
    dialogs_.MessageBox(texts::kSaveFailedBefore + std::string("Transaktion: Fehler ") + std::to_string(rc) +
                            texts::kSaveFailedAfter,
                        texts::kErrorTitle, BoxStyle::Warning);
    return false;
  }
  try {
    // What renamed and copied rows take along, read before any key goes.
    std::map<std::pair<std::string, std::string>, KeyCopy> copies;
    for (const ConnectionRow& row : tables_.connections) {
      if (Kept(row) || row.origin.empty()) continue;
      copies.try_emplace({row.origin.connection, {}},
                         ReadKey(root, schema::ConnectionKey(row.origin.connection), false, 0));
    }
    for (const AccountRow& row : tables_.accounts) {
      if (Kept(row) || row.origin.empty()) continue;
      copies.try_emplace({row.origin.connection, row.origin.account},
                         ReadKey(root, schema::AccountKey(row.origin.connection, row.origin.account), true, 0));
    }

    reg::KeyHolder parameters;
    Check(reg::CreateKey(service.get(), "Parameters", parameters.out()), "Parameters");

    // Keys read where no row stands any more: deleted or moved away.
    auto connectionKept = [&](const std::string& name) {
      for (const ConnectionRow& row : tables_.connections)
        if (Kept(row) && row.name == name) return true;
      return false;
    };
    for (const std::string& name : readConnections_) {
      if (connectionKept(name)) continue;
      if (long rc = DeleteTree(parameters.get(), name, 0); rc != reg::kOk && rc != reg::kFileNotFound)
        Check(rc, texts::kRemoving + name);
    }
    for (const StoreOrigin& read : readAccounts_) {
      if (!connectionKept(read.connection)) continue;  // went with its connection
      bool kept = false;
      for (const AccountRow& row : tables_.accounts)
        if (Kept(row) && row.origin.connection == read.connection && row.origin.account == read.account) kept = true;
      if (kept) continue;
      const std::string path = read.connection + "\\" + read.account;
      if (long rc = DeleteTree(parameters.get(), path, 0); rc != reg::kOk && rc != reg::kFileNotFound)
        Check(rc, texts::kRemoving + path);
    }

    auto writeEdited = [&](reg::Key key, schema::Level level, const Edited& edited, auto values, const auto& row,
                           const std::string& path) {
      for (const std::string& name : edited) {
        const auto* v = FindConsoleValue(values, name);
        if (v == nullptr || !v->written) continue;
        const std::string what = "\"" + ValueLabel(level, name) + "\" in " + path;
        Check(JournalValue(key, v->name), what);
        Check(values_.Set(key, v->name, static_cast<int32_t>(v->type), row.*(v->field)), what);
      }
    };

    writeEdited(parameters.get(), schema::Level::Global, tables_.global.edited, GlobalValues(), tables_.global,
                "Parameters");

    for (const ConnectionRow& row : tables_.connections) {
      bool hasAccounts = false;
      for (const AccountRow& account : tables_.accounts)
        if (account.connection == row.name) hasAccounts = true;
      reg::KeyHolder key;
      if (Kept(row)) {
        if (row.edited.empty()) continue;
        Check(reg::OpenKey(parameters.get(), row.name, reg::kAllAccess, key.out()), row.name);
      } else if (!row.origin.empty() || row.made || !row.edited.empty() || hasAccounts) {
        Check(reg::CreateKey(parameters.get(), row.name, key.out()), row.name);
        if (!row.origin.empty()) WriteKey(key.get(), copies[{row.origin.connection, {}}], row.name);
      } else {
        continue;  // the permanent connection's row, shown but never touched
      }
      writeEdited(key.get(), schema::Level::Connection, row.edited, ConnectionValues(), row, row.name);
    }

    for (const AccountRow& row : tables_.accounts) {
      const std::string path = row.connection + "\\" + row.name;
      reg::KeyHolder key;
      if (Kept(row)) {
        if (row.edited.empty()) continue;
        Check(reg::OpenKey(parameters.get(), path, reg::kAllAccess, key.out()), path);
      } else {
        Check(reg::CreateKey(parameters.get(), path, key.out()), path);
        if (!row.origin.empty()) WriteKey(key.get(), copies[{row.origin.connection, row.origin.account}], path);
      }
      writeEdited(key.get(), schema::Level::Account, row.edited, AccountValues(), row, path);
      if (row.edited.contains(schema::kFeedsSubkey)) WriteFeeds(key.get(), row, path, values_);
    }

    // Another computer's working copy: the far side takes the changes first,
    // as one transaction of its own; when it refuses, the copy is rolled back.
    if (far_) {
      std::string why;
      if (!far_->SendChanges(&why)) throw SaveFailure{why};
    }
    Check(reg::CommitTransaction(transaction), "Abschluss");
  } catch (const SaveFailure& failure) {
    reg::RollbackTransaction(transaction);
    dialogs_.MessageBox(texts::kSaveFailedBefore + failure.what + texts::kSaveFailedAfter, texts::kErrorTitle,
                        BoxStyle::Warning);
    return false;
  } catch (...) {
    reg::RollbackTransaction(transaction);
    throw;
  }
  MarkSaved();
  if (far_) far_->Saved();
  view_.SetStatus(texts::kSaved);
  return true;
}

void Console::MarkSaved() {
  readConnections_.clear();
  readAccounts_.clear();
  tables_.global.edited.clear();
  reg::KeyHolder parameters;
  if (reg::OpenKey(targetRoot_.get(), schema::kParametersKey, reg::kRead, parameters.out()) != reg::kOk) return;
  std::string name;
  for (uint32_t i = 0; reg::EnumKey(parameters.get(), i, &name, 256) == reg::kOk; ++i)
    if (!SameTextIgnoringCase(name, schema::kVolatileName)) readConnections_.push_back(name);
  for (const std::string& connection : readConnections_) {
    reg::KeyHolder key;
    if (reg::OpenKey(parameters.get(), connection, reg::kRead, key.out()) != reg::kOk) continue;
    for (uint32_t i = 0; reg::EnumKey(key.get(), i, &name, 256) == reg::kOk; ++i)
      readAccounts_.push_back(StoreOrigin{connection, name});
  }
  for (ConnectionRow& row : tables_.connections) {
    row.edited.clear();
    row.made = false;
    row.origin = {};
    for (const std::string& stored : readConnections_)
      if (stored == row.name) row.origin = StoreOrigin{row.name, {}};
  }
  for (AccountRow& row : tables_.accounts) {
    row.edited.clear();
    for (FeedRow& feed : row.feeds) feed.origin = feed.name;
    row.origin = {};
    for (const StoreOrigin& stored : readAccounts_)
      if (stored.connection == row.connection && stored.account == row.name) row.origin = stored;
  }
}

}  // namespace ferry::console
