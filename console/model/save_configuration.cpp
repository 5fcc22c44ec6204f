// Writing the tables back to the chosen computer's store.
//
// The whole save is one store transaction on the connection to that computer,
// so a failure half way leaves the stored settings as they were. The stored
// connection and account keys are replaced by the rows of the tables; values
// the console does not edit ("Addressmode From", "Enable CT", "In Use", the
// connection's "Logfile", "using Router", ...) go with their row from the key
// it was read from, also when the row was renamed or copied. The subkey
// "volatile" (the tickers' state) is left alone.
#include <map>
#include <utility>
#include <vector>

#include "console/model/console.h"
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

// The console writes the values it edits; it never writes what the service owns.
bool Handled(std::string_view name, schema::Level scope) {
  const schema::ValueInfo* value = schema::FindValue(scope, name);
  return value != nullptr && value->console == schema::ConsoleUse::Edits && !value->serviceOwned;
}

// Every stored value of the key that the console does not write, whatever its
// name: values of the schema it does not show, old names, and names it does
// not know at all.
Carried ReadCarried(reg::Key root, const std::string& path, schema::Level scope) {
  Carried carried;
  reg::KeyHolder key;
  if (reg::OpenKey(root, path, reg::kQueryValue, key.out()) != reg::kOk) return carried;
  std::string name;
  for (uint32_t i = 0; reg::EnumValue(key.get(), i, &name, 16384, nullptr) == reg::kOk; ++i) {
    if (Handled(name, scope)) continue;
    uint32_t type = 0;
    uint32_t size = 0;
    if (reg::QueryValue(key.get(), name, &type, nullptr, &size) != reg::kOk || size > kMaxCarriedValue) continue;
    std::string bytes(size, '\0');
    if (reg::QueryValue(key.get(), name, &type, bytes.data(), &size) != reg::kOk) continue;
    bytes.resize(size);
    carried.push_back({name, type, std::move(bytes)});
  }
  return carried;
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

void WriteCarried(reg::Key key, const Carried& carried, const std::string& path) {
  for (const CarriedValue& v : carried) {
    Check(reg::SetValue(key, v.name, v.type, v.bytes.data(), static_cast<uint32_t>(v.bytes.size())),
          "\"" + v.name + "\" in " + path);
  }
}

}  // namespace

long ClearParameters(reg::Key root) {
  reg::KeyHolder parameters;
  if (reg::OpenKey(root, schema::kParametersKey, reg::kAllAccess, parameters.out()) != reg::kOk) return reg::kOk;
  std::vector<std::string> names;
  std::string name;
  for (uint32_t i = 0; reg::EnumKey(parameters.get(), i, &name, 256) == reg::kOk; ++i) names.push_back(name);
  for (const std::string& n : names) {
    if (SameTextIgnoringCase(n, schema::kVolatileName)) continue;
    if (long rc = DeleteTree(parameters.get(), n, 0); rc != reg::kOk) return rc;
  }
  return reg::kOk;
}

bool Console::SaveConfiguration() {
  reg::Key root = targetRoot_.get();
  reg::KeyHolder service;
  if (root == nullptr || reg::OpenKey(root, schema::kServiceKey, reg::kAllAccess, service.out()) != reg::kOk) {
    dialogs_.MessageBox(texts::kNotInstalledHere, texts::kErrorTitle, BoxStyle::Warning);
    return false;
  }
  if (!BindValues()) return false;

  GlobalSettings& global = tables_.global;
  for (const GlobalValue& v : GlobalValues()) {
    if (v.zeroWhenEmpty && (global.*v.field).empty()) global.*v.field = "0";
  }

  if (long rc = reg::BeginTransaction(root); rc != reg::kOk) {
    dialogs_.MessageBox(texts::kSaveFailedBefore + std::string("Transaktion: Fehler ") + std::to_string(rc) +
                            texts::kSaveFailedAfter,
                        texts::kErrorTitle, BoxStyle::Warning);
    return false;
  }
  try {
    // Values to carry, read before the keys go.
    std::map<std::pair<std::string, std::string>, Carried> carried;
    auto carry = [&](const StoreOrigin& origin) -> const Carried& {
      auto where = std::make_pair(UpperCase(origin.connection), UpperCase(origin.account));
      auto found = carried.find(where);
      if (found != carried.end()) return found->second;
      Carried values;
      if (!origin.empty()) {
        values = origin.account.empty()
                     ? ReadCarried(root, schema::ConnectionKey(origin.connection), schema::Level::Connection)
                     : ReadCarried(root, schema::AccountKey(origin.connection, origin.account),
                                   schema::Level::Account);
      }
      return carried.emplace(where, std::move(values)).first->second;
    };
    for (const ConnectionRow& row : tables_.connections) {
      if (row.name.empty()) break;
      carry(row.origin);
    }
    for (const AccountRow& row : tables_.accounts) {
      if (row.name.empty()) break;
      carry(row.origin);
    }

    Check(ClearParameters(root), "Parameters leeren");

    reg::KeyHolder parameters;
    Check(reg::CreateKey(service.get(), "Parameters", parameters.out()), "Parameters");
    auto write = [&](reg::Key key, const char* name, ValueType type, const std::string& text,
                     const std::string& path) {
      Check(values_.Set(key, name, static_cast<int32_t>(type), text), "\"" + std::string(name) + "\" in " + path);
    };
    for (const GlobalValue& v : GlobalValues())
      if (v.written) write(parameters.get(), v.name, v.type, global.*v.field, "Parameters");
    service.Reset();

    for (ConnectionRow& row : tables_.connections) {
      if (row.name.empty()) break;
      reg::KeyHolder key;
      Check(reg::CreateKey(parameters.get(), row.name, key.out()), row.name);
      WriteCarried(key.get(), carry(row.origin), row.name);
      for (const ConnectionValue& v : ConnectionValues()) {
        std::string& field = row.*v.field;
        if (v.zeroWhenEmpty && field.empty()) field = "0";
        if (v.written) write(key.get(), v.name, v.type, field, row.name);
      }
    }

    for (AccountRow& row : tables_.accounts) {
      if (row.name.empty()) break;
      std::string path = row.connection + "\\" + row.name;
      reg::KeyHolder key;
      Check(reg::CreateKey(parameters.get(), path, key.out()), path);
      WriteCarried(key.get(), carry(row.origin), path);
      for (const AccountValue& v : AccountValues()) {
        std::string& field = row.*v.field;
        if (v.zeroWhenEmpty && field.empty()) field = "0";
        if (v.written) write(key.get(), v.name, v.type, field, path);
      }
    }

    Check(reg::CommitTransaction(root), "Abschluss");
  } catch (const SaveFailure& failure) {
    reg::RollbackTransaction(root);
    dialogs_.MessageBox(texts::kSaveFailedBefore + failure.what + texts::kSaveFailedAfter, texts::kErrorTitle,
                        BoxStyle::Warning);
    return false;
  } catch (...) {
    reg::RollbackTransaction(root);
    throw;
  }
  view_.SetStatus(texts::kSaved);
  return true;
}

}  // namespace ferry::console
