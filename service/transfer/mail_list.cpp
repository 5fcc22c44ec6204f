#include "service/transfer/mail_list.h"

#include <algorithm>
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
  spool_.reset();
  size_ = text_.size();
  delivered = false;
  tooLargeForServer = false;
  filled_ = true;
  number_ = number;
  return 0;
}

void MailRecord::SetSpooled(SpooledText text, int32_t number) {
  text_ = std::move(text.memory);
  spool_ = std::move(text.file);
  size_ = text.size;
  delivered = false;
  tooLargeForServer = false;
  filled_ = true;
  number_ = number;
}

std::string MailRecord::Head(std::size_t maxBytes) const {
  if (spool_ == nullptr) return text_.substr(0, maxBytes);
  std::string head;
  ReadSpoolBlocks(*spool_, std::min<std::size_t>(maxBytes, 64 * 1024), [&](std::string_view block) {
    head.append(block.substr(0, maxBytes - head.size()));
    return head.size() < maxBytes;
  });
  return head;
}

bool MailRecord::ForEachBlock(std::size_t blockSize, const std::function<bool(std::string_view)>& take) const {
  if (spool_ != nullptr) return ReadSpoolBlocks(*spool_, blockSize, take);
  for (std::size_t at = 0; at < text_.size(); at += blockSize) {
    if (!take(std::string_view(text_).substr(at, blockSize))) break;
  }
  return true;
}

bool BatchEnds(int32_t count, int32_t maxMails) {
  int64_t divisor = std::llabs(static_cast<int64_t>(maxMails));
  return divisor != 0 && count % divisor == 0;
}

std::size_t MemoryLeftFor(const MailList& list) {
  std::size_t held = 0;
  for (const MailRecord& record : list) held += record.MemoryBytes();
  return held >= kInMemoryBatch ? 0 : std::min(kInMemoryMessage, kInMemoryBatch - held);
}

}  // namespace ferry
