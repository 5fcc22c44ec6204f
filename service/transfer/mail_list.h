// A message between retrieval and delivery, and the account's ordered list of
// them. A record stays where it is while the list holds it.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>

namespace ferry {

class MailRecord {
 public:
  // Stores `text` and the server's message number (-1 for none). The end-of-data
  // marker CR LF "." CR LF is appended unless the text already ends with it.
  // Raises kErrorTextMemory when memory runs out.
  int SetText(std::string_view text, int32_t number);

  bool Filled() const { return filled_; }
  const std::string& GetText() const { return text_; }
  int32_t GetNumber() const { return number_; }

  bool delivered = false;

 private:
  std::string text_;
  int32_t number_ = -1;
  bool filled_ = false;
};

using MailList = std::list<MailRecord>;

// Whether the `count`th message (from 1) closes a batch of "Max Mails": a
// value below 1 is taken by its amount, and 0 never closes one (the run
// delivers what is left at its end).
bool BatchEnds(int32_t count, int32_t maxMails);

}  // namespace ferry
