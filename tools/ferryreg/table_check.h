// What ferryreg checks against the settings table before it writes: a value
// the table knows (by its key's level and its name) takes the table's type and
// must lie in its row's range or length. Names the table does not know, and
// keys outside the service's Parameters tree, are stored as given. Values the
// service owns ("In Use", the tickers' state) may be set: ferryreg is the
// operator's tool for clearing them.
#pragma once

#include <string>
#include <string_view>

#include "schema/registry_schema.h"
#include "tools/ferryreg/reg_data.h"

namespace ferry::regtool {

// The table's row of value `name` in `key`, or nullptr.
const schema::ValueInfo* KnownValue(const KeyPath& key, std::string_view name);

// Empty when the table does not know the value or the value agrees with its
// row; else why it is refused, naming the value, its type and range.
std::string CheckAgainstTable(const KeyPath& key, const ValueData& value);

struct TypedValue {
  ValueData value;
  std::string refusal;  // empty: `value` may be written
};

// The value `add` writes: `given` as the command line read it (REG_SZ when no
// /t was given). Without /t a value the table knows takes the table's type,
// `dataText` read again for it. Then the value is checked against its row.
TypedValue ValueForAdd(const KeyPath& key, ValueData given, bool typeGiven, std::string_view dataText);

}  // namespace ferry::regtool
