// What ferryreg does to the settings store. Every function takes a root handle
// from reg::ConnectRegistry and opens every key below that same handle, so that
// all calls of one command share one connection and can share one transaction.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"
#include "tools/ferryreg/reg_data.h"
#include "tools/ferryreg/reg_file_parser.h"

namespace ferry::regtool {

// The largest value ferryreg reads; a larger one is reported, not read.
inline constexpr uint32_t kMaxValueBytes = 16u * 1024 * 1024;

// A connection to the store holding `root`: the local store for an empty
// `computer`, else that computer's.
long ConnectRoot(const std::string& computer, Root root, reg::KeyHolder* out);

long OpenPath(reg::Key connectedRoot, const KeyPath& path, reg::KeyHolder* out);

// One value by name (empty name: the default value), with its name as stored.
long ReadValue(reg::Key key, const std::string& name, ValueData* out);

// Every value of a key in the store's order.
long ReadValues(reg::Key key, std::vector<ValueData>* out);

// The names of a key's direct subkeys as stored, in the store's order.
long ReadSubkeyNames(reg::Key key, std::vector<std::string>* out);

// `path` with each name in the letter case the store keeps.
long StoredPath(reg::Key connectedRoot, const KeyPath& path, KeyPath* out);

// The key at `path` and every key below it, parents before children and
// siblings in the store's order, each with its values when `withValues`.
// Paths carry the names as stored.
long ReadTree(reg::Key connectedRoot, const KeyPath& path, bool withValues, std::vector<KeyDump>* out);

// Deletes the key at `path` and its whole subtree, children first. Not for a
// root. Run it inside a transaction to make it all or nothing.
long DeleteTree(reg::Key connectedRoot, const KeyPath& path);

struct ApplyResult {
  long code = reg::kOk;
  int line = 0;  // the operation's line in the file when `code` is not kOk
};

// Carries out the operations of a parsed .reg file inside one transaction:
// all of them take effect, or none. Every operation must be on the root of
// `connectedRoot`. Deleting a key or value that does not exist is no error.
ApplyResult ApplyOperations(reg::Key connectedRoot, const std::vector<RegOperation>& operations);

// A short text for a store error code.
std::string StoreErrorText(long code);

}  // namespace ferry::regtool
