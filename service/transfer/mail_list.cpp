#include "service/transfer/mail_list.h"

#include <cstdlib>
#include <new>

#include "service/transfer/reply_framing.h"
#include "service/transfer/transfer_error.h"

namespace ferry {

int MailRecord::SetText(std::string_view text, int32_t number) {
  try {
    std::string stored;
    stored.reserve(text.size() + kEndOfData.size());
    stored.assign(text);
    if (!stored.ends_with(kEndOfData)) stored.append(kEndOfData);
    text_ = std::move(stored);
  } catch (const std::bad_alloc&) {
    Raise(kErrorTextMemory);
  }
  delivered = false;
  filled_ = true;
  number_ = number;
  return 0;
}

bool BatchEnds(int32_t count, int32_t maxMails) {
  int64_t divisor = std::llabs(static_cast<int64_t>(maxMails));
  return divisor != 0 && count % divisor == 0;
}

}  // namespace ferry
