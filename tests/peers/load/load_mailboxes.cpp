#include "tests/peers/load/load_mailboxes.h"

#include <algorithm>
#include <set>

namespace ferry::load {
namespace {

uint64_t NameHash(std::string_view text) {
  uint64_t h = 1469598103934665603ULL;
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ULL;
  return h;
}

std::FILE* OpenRecord(const std::string& folder, const char* name) {
  std::FILE* file = std::fopen((folder + "/" + name).c_str(), "w");
  return file;
}

void Append(std::FILE* file, const std::string& line) {
  if (file == nullptr) return;
  std::fputs(line.c_str(), file);
  std::fputc('\n', file);
  std::fflush(file);
}

}  // namespace

std::string MessageId(std::string_view box, uint64_t sequence) {
  return std::string(box) + "-" + std::to_string(sequence);
}

std::string MessageText(std::string_view box, uint64_t sequence) {
  const std::string id = MessageId(box, sequence);
  const uint64_t mix = NameHash(box) ^ (sequence * 0x9E3779B97F4A7C15ULL);
  std::string text;
  switch (sequence % 5) {
    case 0:
      text += "From: Sender " + id + " <s" + std::to_string(sequence) + "@sender.example>\r\n";
      text += "To: Anna <anna@mailbox.example>\r\n";
      break;
    case 1:
      text += "from: s@sender.example (klein)\r\nTO: bert@mailbox.example\r\n";
      break;
    case 2:
      text += "From: \"Club, e.V.\" <club@example.org>\r\n";
      text += "To: <carla@mailbox.example>, dora@mailbox.example\r\nSender: <list@example.org>\r\n";
      break;
    case 3:
      text += "Reply-To: <reply@example.net>\r\nCc: list@mailbox.example\r\n";
      break;
    default:
      text += "From: plain@sender.example\r\nTo: plain@mailbox.example\r\n";
      break;
  }
  text += "X-Load-Id: " + id + "\r\nSubject: Last " + id + "\r\n\r\n";
  const bool large = sequence % 16 == 7;
  const uint64_t lines = large ? 600 : mix % 40;
  for (uint64_t i = 0; i < lines; ++i) {
    switch ((mix + i) % 9) {
      case 0: text += ".\r\n"; break;
      case 1: text += "..zwei Punkte " + id + "\r\n"; break;
      case 2: text += "\r\n"; break;
      default:
        text += "Zeile " + std::to_string(i) + " von " + id + " " + std::string(40 + (mix + i) % 30, 'x') + "\r\n";
        break;
    }
  }
  text += "Ende " + id + "\r\n";
  return text;
}

std::string LoadIdOf(std::string_view text) {
  constexpr std::string_view kName = "\r\nX-Load-Id: ";
  std::size_t at = text.find(kName);
  if (at == std::string_view::npos) return {};
  at += kName.size();
  std::size_t end = text.find("\r\n", at);
  if (end == std::string_view::npos || end - at > 100) return {};
  return std::string(text.substr(at, end - at));
}

std::string DotStuff(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 64);
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && c == '.') out += '.';
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

std::string DotUnstuff(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool lineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (lineStart && c == '.' && i + 1 < text.size() && text[i + 1] == '.') {
      lineStart = false;  // only the first dot of the line is taken away
      continue;
    }
    out += c;
    lineStart = c == '\n';
  }
  return out;
}

Mailboxes::Mailboxes(int count, std::size_t cap, const std::string& outputFolder) : cap_(cap), folder_(outputFolder) {
  for (int i = 1; i <= count; ++i) boxes_["box" + std::to_string(i)];
  generated_ = OpenRecord(folder_, "generated.ids");
  deleted_ = OpenRecord(folder_, "deleted.ids");
  delivered_ = OpenRecord(folder_, "delivered.ids");
}

Mailboxes::~Mailboxes() {
  for (std::FILE* file : {generated_, deleted_, delivered_}) {
    if (file != nullptr) std::fclose(file);
  }
}

bool Mailboxes::Exists(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return boxes_.count(name) != 0;
}

bool Mailboxes::Open(const std::string& name, std::vector<StoredMessage>* snapshot) {
  std::lock_guard lock(mutex_);
  auto found = boxes_.find(name);
  if (found == boxes_.end()) return false;
  if (found->second.locked) {
    ++lockRefusals;
    return false;
  }
  found->second.locked = true;
  *snapshot = found->second.messages;
  ++sessions;
  return true;
}

void Mailboxes::Commit(const std::string& name, const std::vector<std::string>& deletedIds) {
  std::lock_guard lock(mutex_);
  auto found = boxes_.find(name);
  if (found == boxes_.end()) return;
  std::set<std::string> gone(deletedIds.begin(), deletedIds.end());
  std::vector<StoredMessage>& messages = found->second.messages;
  for (const std::string& id : gone) {
    Append(deleted_, id);
    ++deletedCount;
  }
  messages.erase(std::remove_if(messages.begin(), messages.end(),
                                [&gone](const StoredMessage& m) { return gone.count(m.id) != 0; }),
                 messages.end());
  found->second.locked = false;
}

void Mailboxes::Abandon(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto found = boxes_.find(name);
  if (found == boxes_.end()) return;
  found->second.locked = false;
  ++abandoned;
}

void Mailboxes::Refill() {
  std::lock_guard lock(mutex_);
  for (auto& [name, box] : boxes_) {
    if (box.messages.size() >= cap_) continue;
    StoredMessage message{MessageId(name, box.next), MessageText(name, box.next)};
    ++box.next;
    Append(generated_, message.id);
    ++generatedCount;
    box.messages.push_back(std::move(message));
  }
}

void Mailboxes::RecordDelivery(const std::string& id, bool intact, const std::string& text) {
  std::lock_guard lock(mutex_);
  Append(delivered_, intact ? id : id + " damaged");
  ++deliveredCount;
  if (intact) return;
  if (++damagedCount <= 5) {
    if (std::FILE* file = OpenRecord(folder_, ("damaged-" + std::to_string(damagedCount) + ".txt").c_str())) {
      std::fwrite(text.data(), 1, text.size(), file);
      std::fclose(file);
    }
  }
}

void Mailboxes::WriteFinalRecords(const std::string& summary) {
  std::lock_guard lock(mutex_);
  std::FILE* remaining = OpenRecord(folder_, "remaining.ids");
  uint64_t left = 0;
  for (const auto& [name, box] : boxes_) {
    for (const StoredMessage& m : box.messages) {
      Append(remaining, m.id);
      ++left;
    }
  }
  if (remaining != nullptr) std::fclose(remaining);
  std::FILE* file = OpenRecord(folder_, "summary.txt");
  if (file == nullptr) return;
  std::fprintf(file,
               "generated %llu\ndelivered %llu\ndamaged %llu\ndeleted %llu\nremaining %llu\n"
               "sessions %llu\nlock_refusals %llu\nabandoned %llu\n%s",
               static_cast<unsigned long long>(generatedCount), static_cast<unsigned long long>(deliveredCount),
               static_cast<unsigned long long>(damagedCount), static_cast<unsigned long long>(deletedCount),
               static_cast<unsigned long long>(left), static_cast<unsigned long long>(sessions),
               static_cast<unsigned long long>(lockRefusals), static_cast<unsigned long long>(abandoned),
               summary.c_str());
  std::fclose(file);
}

}  // namespace ferry::load
