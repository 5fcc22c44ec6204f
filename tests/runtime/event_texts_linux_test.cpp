// The English event texts of syslog and the terminal against the Windows
// message file, so the two cannot drift apart; and the readable line.
#include "service/runtime/event_texts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "service/transfer/event_ids.h"

namespace ferry::test {
namespace {

// Message id (severity bits included) -> English text, from the .mc file.
std::map<uint32_t, std::string> EnglishMessages(const std::string& path) {
  const std::map<std::string, uint32_t> severities{
      {"Success", 0}, {"Informational", 1}, {"Warning", 2}, {"Error", 3}};
  std::map<uint32_t, std::string> texts;
  std::ifstream in(path);
  uint32_t id = 0;
  uint32_t severity = 0;
  std::string language;
  std::string text;
  bool inText = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (inText) {
      if (line == ".") {
        inText = false;
        if (language == "English") texts[(severity << 30) | id] = text;
      } else {
        text += text.empty() ? line : "\n" + line;
      }
    } else if (line.rfind("MessageId=", 0) == 0) {
      id = static_cast<uint32_t>(std::stoul(line.substr(10), nullptr, 0));
      severity = 0;
    } else if (line.rfind("Severity=", 0) == 0) {
      severity = severities.at(line.substr(9));
    } else if (line.rfind("Language=", 0) == 0) {
      language = line.substr(9);
      text.clear();
      inText = true;
    }
  }
  return texts;
}

TEST(EventTextsTest, EveryMessageOfTheMessageFileHasTheSameEnglishText) {
  auto messages = EnglishMessages(FERRY_MESSAGE_FILE);
  ASSERT_GE(messages.size(), 5u) << FERRY_MESSAGE_FILE;
  std::map<uint32_t, std::string> table;
  for (const EventText& e : EventTexts()) table[e.id] = e.text;
  EXPECT_EQ(table, messages);
}

TEST(EventTextsTest, ReadableLinesAndPriorities) {
  struct Case {
    const char* name;
    uint32_t id;
    std::vector<std::string> strings;
    std::string line;
    EventPriority priority;
  };
  const std::vector<Case> cases = {
      {"RunReport", kEventRunReport, {"NORAS", "office", "3"},
       "[event 5] Connection NORAS, account office: 3 message(s) forwarded.", EventPriority::Information},
      {"Failure", kEventFailure, {"Mail not complete"}, "[event 0xC0000000] Failure: Mail not complete",
       EventPriority::Error},
      {"TransferError", kEventTransferError, {"a\nb"}, "[event 0xC000001E] Mail transfer error: a b",
       EventPriority::Error},
      {"MissingInsertion", kEventTrigger, {}, "[event 10] Trigger datagram received for connection .",
       EventPriority::Information},
      {"PercentInInsertionStaysAsItIs", kEventConnecting, {"%2 host"}, "[event 32] Connecting to %2 host.",
       EventPriority::Information},
      {"UnknownId", 98, {"x", "y"}, "[event 98] x, y", EventPriority::Information},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadableEventLine(c.id, c.strings), c.line) << c.name;
    EXPECT_EQ(PriorityOf(c.id), c.priority) << c.name;
  }
}

}  // namespace
}  // namespace ferry::test
