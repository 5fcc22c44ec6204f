// SMTP replies, single and multi-line, as they arrive in segments: the reply
// ends at the first line that is not a continuation, the same whether it came
// whole or in pieces, and its code is a number of at most four digits.
#include "fuzz/fuzz_check.h"
#include "service/transfer/reply_framing.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  std::size_t segment = fuzz::SegmentSize(&input);

  std::size_t whole = SmtpReplyLength(input);
  FUZZ_CHECK(whole <= input.size());
  if (whole != 0) {
    FUZZ_CHECK(input.substr(whole - 2, 2) == "\r\n");
    // The last line is no continuation line.
    std::string_view reply = input.substr(0, whole - 2);
    std::size_t lastStart = reply.rfind("\r\n");
    std::string_view last = reply.substr(lastStart == std::string_view::npos ? 0 : lastStart + 2);
    FUZZ_CHECK(!(last.size() >= 4 && last[3] == '-'));
  }
  FUZZ_CHECK(fuzz::FramedInSegments(input, segment, SmtpReplyLength) == whole);

  int code = SmtpReplyCode(input);
  FUZZ_CHECK(code >= 0 && code <= 9999);
  return 0;
}
