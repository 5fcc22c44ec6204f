// A message between retrieval and delivery, and the account's ordered list of
// them. A record stays where it is while the list holds it. Its text is held
// in memory while small, else spooled to a file (message_spool.h) that goes
// with the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <string_view>

#include "service/transfer/message_spool.h"

namespace ferry {

class MailRecord {
 public:
  // Stores `text` in memory and the server's message number (-1 for none). The
  // end-of-data marker CR LF "." CR LF is appended unless the text already ends
  // with it. Raises kErrorTextMemory when memory runs out.
  int SetText(std::string_view text, int32_t number);
  // Takes a collected text (which ends with the end-of-data marker).
  void SetSpooled(SpooledText text, int32_t number);

  bool Filled() const { return filled_; }
  // The whole text when it is held in memory; empty for a spooled one.
  const std::string& GetText() const { return text_; }
  // The first `maxBytes` of the text (from the spool file for a spooled one;
  // empty when it cannot be read).
  std::string Head(std::size_t maxBytes) const;
  bool Spooled() const { return spool_ != nullptr; }
  // The bytes of the whole text.
  uint64_t Size() const { return size_; }
  // The bytes of the text the record holds in memory.
  std::size_t MemoryBytes() const { return text_.size(); }
  // Hands the whole text out in blocks of at most `blockSize` bytes, in order,
  // until `take` returns false; false when a spooled text cannot be read.
  bool ForEachBlock(std::size_t blockSize, const std::function<bool(std::string_view)>& take) const;
  int32_t GetNumber() const { return number_; }

  bool delivered = false;
  // The SMTP server announced a size limit below this message's size: it was
  // not uploaded and stays on the POP3 server.
  bool tooLargeForServer = false;

 private:
  std::string text_;
  std::unique_ptr<SpoolFile> spool_;
  uint64_t size_ = 0;
  int32_t number_ = -1;
  bool filled_ = false;
};

using MailList = std::list<MailRecord>;

// Whether the `count`th message (from 1) closes a batch of "Max Mails": a
// value below 1 is taken by its amount, and 0 never closes one (the run
// delivers what is left at its end).
bool BatchEnds(int32_t count, int32_t maxMails);

// How much of the next message may be held in memory beside the list's texts.
std::size_t MemoryLeftFor(const MailList& list);

}  // namespace ferry
