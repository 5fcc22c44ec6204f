// The ferryreg .reg reader: any text gives either a list of operations or the
// first malformed line within the file; every operation names a line of the
// file, in order.
#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "tools/ferryreg/reg_file_parser.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  regtool::RegFileParse parse = regtool::ParseRegFile(text);
  int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  if (!parse.ok()) {
    FUZZ_CHECK(parse.errorLine >= 0 && parse.errorLine <= lines + 1);
    return 0;
  }
  int previous = 0;
  for (const regtool::RegOperation& op : parse.operations) {
    FUZZ_CHECK(op.line >= previous && op.line <= lines);
    previous = op.line;
  }
  return 0;
}
