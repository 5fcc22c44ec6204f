// Reading a RETR answer: the end-of-data search over newly received bytes finds
// the same end as a search of the whole text, whatever the segment sizes; a
// stored record always ends with the end marker; the sender notice never reads
// past the text.
#include <string>

#include "fuzz/fuzz_check.h"
#include "service/transfer/mail_list.h"
#include "service/transfer/pop3_retrieval.h"
#include "service/transfer/reply_framing.h"

using namespace ferry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view input = fuzz::AsText(data, size);
  std::size_t segment = fuzz::SegmentSize(&input);

  std::size_t whole = input.find(kEndOfData);
  if (whole != std::string_view::npos) whole += kEndOfData.size();

  // Received in segments, searching only what each one added.
  std::size_t found = std::string_view::npos;
  for (std::size_t before = 0; before < input.size(); before += segment) {
    std::size_t have = std::min(input.size(), before + segment);
    found = FindEndOfData(input.substr(0, have), before);
    if (found != std::string_view::npos) break;
  }
  FUZZ_CHECK(found == whole);

  if (whole != std::string_view::npos) {
    std::string received(input.substr(0, whole));
    std::string_view stored = std::string_view(received).substr(Pop3StatusLength(received));
    MailRecord record;
    record.SetText(stored, 1);
    FUZZ_CHECK(record.Filled());
    FUZZ_CHECK(record.GetText().ends_with(kEndOfData));
    std::string sender;
    if (NoticeSender(received, &sender)) FUZZ_CHECK(sender.size() <= 200 && sender.find("\r\n") == std::string::npos);
  }
  return 0;
}
