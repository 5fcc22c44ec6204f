// The .reg text that changes one picture of a subtree into another: only the
// keys and values that differ are named, so importing it leaves everything
// else of the store as it stands at the time of the import.
#pragma once

#include <vector>

#include "tools/ferryreg/reg_data.h"
#include "tools/ferryreg/reg_file_writer.h"

namespace ferry::regtool {

// `before` and `after` are key lists as ReadTree gives them (parents before
// children). Names are compared as the store compares them (letter case
// ignored). The text:
// - [-KEY] for each key of `before` missing from `after` (only the topmost of
//   a removed subtree: its removal takes everything below it);
// - [KEY] with every value for each key new in `after`;
// - [KEY] with the values that are new or differ (type or bytes), and
//   "name"=- for each value gone, for a key in both.
// Nothing but the header when the two are the same.
RegFileWrite WriteRegDiff(const std::vector<KeyDump>& before, const std::vector<KeyDump>& after);

}  // namespace ferry::regtool
