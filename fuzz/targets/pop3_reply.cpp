// POP3 status lines and multi-line replies (LIST, RETR) as they arrive in
// segments: the end found while the reply grows is the end found in the whole,
// lies inside the bytes, and ends with the right terminator.
#include "fuzz/fuzz_check.h"
#include "service/transfer/reply_framing.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  std::size_t segment = fuzz::SegmentSize(&input);

  std::size_t status = Pop3StatusLength(input);
  FUZZ_CHECK(status <= input.size());
  if (status != 0) FUZZ_CHECK(input.substr(status - 2, 2) == "\r\n");
  FUZZ_CHECK(fuzz::FramedInSegments(input, segment, Pop3StatusLength) == status);

  std::size_t whole = Pop3MultiLineLength(input);
  FUZZ_CHECK(whole <= input.size());
  if (whole != 0) {
    FUZZ_CHECK(whole >= status);
    if (input[0] != '-') FUZZ_CHECK(input.substr(whole - 3) .starts_with(".\r\n"));
  }
  FUZZ_CHECK(fuzz::FramedInSegments(input, segment, Pop3MultiLineLength) == whole);
  return 0;
}
