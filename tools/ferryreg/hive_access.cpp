#include "tools/ferryreg/hive_access.h"

#include <algorithm>

#include "platform/store_location.h"
#include "tools/ferryreg/key_path.h"

namespace ferry::regtool {
namespace {

constexpr std::size_t kKeyNameCapacity = kMaxKeyNameLength + 1;
constexpr std::size_t kValueNameCapacity = kMaxValueNameLength + 1;

// Reads a value's bytes; retries when the value grows between the size query
// and the read.
long ReadBytes(reg::Key key, const std::string& name, uint32_t* type, std::string* bytes) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    uint32_t size = 0;
    if (long rc = reg::QueryValue(key, name, type, nullptr, &size); rc != reg::kOk) return rc;
    if (size > kMaxValueBytes) return reg::kMoreData;
    bytes->assign(size, '\0');
    long rc = reg::QueryValue(key, name, type, bytes->data(), &size);
    if (rc == reg::kMoreData) continue;
    if (rc != reg::kOk) return rc;
    bytes->resize(size);
    return reg::kOk;
  }
  return reg::kMoreData;
}

}  // namespace

long ConnectRoot(const std::string& computer, Root root, reg::KeyHolder* out) {
  reg::Key predefined = root == Root::kLocalMachine ? reg::LocalMachine() : reg::CurrentUser();
  return reg::ConnectRegistry(computer, predefined, out->out());
}

long OpenPath(reg::Key connectedRoot, const KeyPath& path, reg::KeyHolder* out) {
  return reg::OpenKey(connectedRoot, SubKeyText(path), reg::kAllAccess, out->out());
}

long ReadValue(reg::Key key, const std::string& name, ValueData* out) {
  // Find the name as stored, for listings.
  std::string folded = FoldName(name);
  for (uint32_t index = 0;; ++index) {
    std::string stored;
    long rc = reg::EnumValue(key, index, &stored, kValueNameCapacity, nullptr);
    if (rc == reg::kNoMoreItems) return reg::kFileNotFound;
    if (rc != reg::kOk) return rc;
    if (FoldName(stored) == folded) {
      out->name = std::move(stored);
      return ReadBytes(key, out->name, &out->type, &out->bytes);
    }
  }
}

long ReadValues(reg::Key key, std::vector<ValueData>* out) {
  out->clear();
  for (uint32_t index = 0;; ++index) {
    ValueData value;
    long rc = reg::EnumValue(key, index, &value.name, kValueNameCapacity, &value.type);
    if (rc == reg::kNoMoreItems) return reg::kOk;
    if (rc != reg::kOk) return rc;
    if (rc = ReadBytes(key, value.name, &value.type, &value.bytes); rc != reg::kOk) return rc;
    out->push_back(std::move(value));
  }
}

long ReadSubkeyNames(reg::Key key, std::vector<std::string>* out) {
  out->clear();
  for (uint32_t index = 0;; ++index) {
    std::string name;
    long rc = reg::EnumKey(key, index, &name, kKeyNameCapacity);
    if (rc == reg::kNoMoreItems) return reg::kOk;
    if (rc != reg::kOk) return rc;
    out->push_back(std::move(name));
  }
}

long StoredPath(reg::Key connectedRoot, const KeyPath& path, KeyPath* out) {
  out->root = path.root;
  out->parts.clear();
  reg::KeyHolder current;
  if (long rc = reg::OpenKey(connectedRoot, "", reg::kRead, current.out()); rc != reg::kOk) return rc;
  for (const std::string& part : path.parts) {
    std::vector<std::string> names;
    if (long rc = ReadSubkeyNames(current.get(), &names); rc != reg::kOk) return rc;
    std::string folded = FoldName(part);
    auto found = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return FoldName(n) == folded; });
    if (found == names.end()) return reg::kFileNotFound;
    out->parts.push_back(*found);
    reg::KeyHolder next;
    if (long rc = reg::OpenKey(current.get(), *found, reg::kRead, next.out()); rc != reg::kOk) return rc;
    current = std::move(next);
  }
  return reg::kOk;
}

long ReadTree(reg::Key connectedRoot, const KeyPath& path, bool withValues, std::vector<KeyDump>* out) {
  out->clear();
  KeyPath top;
  if (long rc = StoredPath(connectedRoot, path, &top); rc != reg::kOk) return rc;
  // Depth first with an explicit stack, so that a deep tree cannot exhaust
  // the call stack.
  std::vector<KeyPath> pending{top};
  while (!pending.empty()) {
    KeyDump dump;
    dump.path = std::move(pending.back());
    pending.pop_back();
    reg::KeyHolder key;
    if (long rc = OpenPath(connectedRoot, dump.path, &key); rc != reg::kOk) return rc;
    if (withValues) {
      if (long rc = ReadValues(key.get(), &dump.values); rc != reg::kOk) return rc;
    }
    std::vector<std::string> children;
    if (long rc = ReadSubkeyNames(key.get(), &children); rc != reg::kOk) return rc;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
      KeyPath child = dump.path;
      child.parts.push_back(*it);
      pending.push_back(std::move(child));
    }
    out->push_back(std::move(dump));
  }
  return reg::kOk;
}

long DeleteTree(reg::Key connectedRoot, const KeyPath& path) {
  if (path.parts.empty()) return reg::kInvalidParameter;
  std::vector<KeyDump> keys;
  if (long rc = ReadTree(connectedRoot, path, false, &keys); rc != reg::kOk) return rc;
  // Parents come before their children in the list, so the reverse order
  // deletes every key after all of its subkeys.
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
    if (long rc = reg::DeleteKey(connectedRoot, SubKeyText(it->path)); rc != reg::kOk) return rc;
  }
  return reg::kOk;
}

ApplyResult ApplyOperations(reg::Key connectedRoot, const std::vector<RegOperation>& operations) {
  ApplyResult result;
  if (long rc = reg::BeginTransaction(connectedRoot); rc != reg::kOk) {
    result.code = rc;
    return result;
  }
  reg::KeyHolder current;
  for (const RegOperation& op : operations) {
    long rc = reg::kOk;
    switch (op.kind) {
      case RegOperation::Kind::kCreateKey:
        rc = reg::CreateKey(connectedRoot, SubKeyText(op.key), current.out());
        break;
      case RegOperation::Kind::kDeleteKey:
        current.Reset();
        rc = DeleteTree(connectedRoot, op.key);
        if (rc == reg::kFileNotFound) rc = reg::kOk;
        break;
      case RegOperation::Kind::kSetValue:
        rc = reg::SetValue(current.get(), op.value.name, op.value.type, op.value.bytes.data(),
                           static_cast<uint32_t>(op.value.bytes.size()));
        break;
      case RegOperation::Kind::kDeleteValue:
        rc = reg::DeleteValue(current.get(), op.value.name);
        if (rc == reg::kFileNotFound) rc = reg::kOk;
        break;
    }
    if (rc != reg::kOk) {
      current.Reset();
      reg::RollbackTransaction(connectedRoot);
      result.code = rc;
      result.line = op.line;
      return result;
    }
  }
  current.Reset();
  result.code = reg::CommitTransaction(connectedRoot);
  return result;
}

std::string StoreErrorText(long code) {
  switch (code) {
    case reg::kOk:
      return "no error";
    case reg::kFileNotFound:
      return "the key or value does not exist";
    case reg::kAccessDenied:
      return "access is denied";
    case reg::kInvalidHandle:
    case reg::kInvalidParameter:
      return "the store refused the request (invalid key or name)";
    case reg::kBadNetPath:
      return "the computer's store cannot be reached";
    case reg::kMoreData:
      return "a value is too large to read";
    case reg::kKeyDeleted:
      return "the key was deleted meanwhile";
    case reg::kRegistryIoFailed:
    {
      std::string problem = reg::StoreProblem();
      if (problem.empty()) problem = "could not be read or written";
      return "the store " + reg::StoreLocation() + " " + problem;
    }
    default:
      return "store error " + std::to_string(code);
  }
}

}  // namespace ferry::regtool
