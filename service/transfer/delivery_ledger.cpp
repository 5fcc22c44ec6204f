#include "service/transfer/delivery_ledger.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <utility>

#include "service/transfer/uidl_listing.h"

namespace ferry {
namespace {

using state::FileResult;
using state::FileStatus;

constexpr char kHex[] = "0123456789ABCDEF";
constexpr std::size_t kMaxNamePart = 48;

// A record field: every byte outside 0x21..0x7E, and '%', as %XX.
// "%XX" for one byte, as the fields and the file names write it.
void AppendPercent(std::string& out, unsigned char byte) {
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

std::string EscapeField(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte <= 0x7E && c != '%') {
      out += c;
    } else {
      AppendPercent(out, byte);
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool UnescapeField(std::string_view field, std::string* out) {
  out->clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c < 0x21 || c > 0x7E) return false;
    if (c != '%') {
      *out += c;
      continue;
    }
    if (i + 2 >= field.size()) return false;
    int high = HexValue(field[i + 1]);
    int low = HexValue(field[i + 2]);
    if (high < 0 || low < 0) return false;
    *out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

bool ParseTime(std::string_view field, int64_t* when) {
  auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), *when);
  return error == std::errc() && end == field.data() + field.size();
}

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    std::size_t blank = line.find(' ');
    fields.push_back(line.substr(0, blank));
    if (blank == std::string_view::npos) return fields;
    line.remove_prefix(blank + 1);
  }
}

void MergeRecipients(std::vector<std::string>* into, std::vector<std::string> more) {
  into->insert(into->end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  std::sort(into->begin(), into->end());
  into->erase(std::unique(into->begin(), into->end()), into->end());
}

std::string Record(char kind, std::string_view uidl) { return std::string(1, kind) + ' ' + std::string(uidl); }

std::string Record(char kind, std::string_view uidl, int64_t when, const std::vector<std::string>& recipients) {
  std::string line = Record(kind, uidl) + ' ' + std::to_string(when);
  for (const std::string& recipient : recipients) line += ' ' + EscapeField(recipient);
  return line;
}

std::string RefusalRecord(std::string_view uidl, int64_t when, std::string_view reason) {
  std::string line = Record('R', uidl) + ' ' + std::to_string(when);
  if (!reason.empty()) line += ' ' + EscapeField(reason);
  return line;
}

// A file-name part: at most kMaxNamePart characters, bytes outside
// [A-Za-z0-9._-] as %XX.
std::string NamePart(std::string_view text) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                 c == '_' || c == '-';
    std::size_t width = plain ? 1 : 3;
    if (out.size() + width > kMaxNamePart) break;
    if (plain) {
      out += c;
    } else {
      AppendPercent(out, byte);
    }
  }
  return out;
}

// Windows takes a file name whose part before the first '.' is a device name
// ("nul.example.com_...") for the device.
bool IsDeviceName(std::string_view label) {
  std::string upper;
  for (char c : label) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
         upper[3] <= '9';
}

uint64_t Fnv1a(uint64_t hash, std::string_view text) {
  for (char c : text) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ULL;
  }
  return hash;
}

}  // namespace

std::string LedgerFolder() { return state::JoinStatePath(state::StateFolder(), "ledgers"); }

std::string LedgerFileName(std::string_view popHost, std::string_view popUser) {
  std::string host(popHost);
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  uint64_t hash = Fnv1a(Fnv1a(0xCBF29CE484222325ULL, host), std::string_view("\0", 1));
  hash = Fnv1a(hash, popUser);
  std::string hostPart = NamePart(host);
  std::size_t dot = hostPart.find('.');
  if (IsDeviceName(std::string_view(hostPart).substr(0, dot))) {
    auto first = static_cast<unsigned char>(hostPart[0]);
    hostPart = std::string{'%', kHex[first >> 4], kHex[first & 0x0F]} + hostPart.substr(1);
  }
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<std::size_t>(i)] = kHex[hash & 0x0F];
  return hostPart + '_' + NamePart(popUser) + '_' + hex + ".ledger";
}

DeliveryLedger::DeliveryLedger(std::string folder, std::string fileName)
    : folder_(std::move(folder)), path_(state::JoinStatePath(folder_, fileName)) {}

DeliveryLedger DeliveryLedger::ForMailbox(std::string_view popHost, std::string_view popUser) {
  return DeliveryLedger(LedgerFolder(), LedgerFileName(popHost, popUser));
}

FileResult DeliveryLedger::Load() {
  journal_.Close();
  entries_.clear();
  loaded_ = torn_ = false;
  skipped_ = 0;
  FileResult result;
  if (!lock_.IsLocked()) {
    result = state::CreateOwnerFolder(folder_);
    if (result.ok()) result = lock_.TryLock(path_ + ".lock");
    if (!result.ok()) return result;
  }
  std::string text;
  result = state::ReadWholeFile(path_, kMaxLedgerBytes, &text);
  if (result.status == FileStatus::kNotFound) result = {};
  if (!result.ok()) return result;
  std::string_view rest(text);
  for (std::size_t lf = rest.find('\n'); lf != std::string_view::npos; lf = rest.find('\n')) {
    std::string_view line = rest.substr(0, lf);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!Apply(line)) ++skipped_;
    rest.remove_prefix(lf + 1);
  }
  torn_ = !rest.empty();
  if (torn_) ++skipped_;
  loaded_ = true;
  return {};
}

bool DeliveryLedger::Apply(std::string_view line) {
  std::vector<std::string_view> fields = SplitFields(line);
  if (fields.size() < 2 || fields[0].size() != 1 || !IsValidUidl(fields[1])) return false;
  char kind = fields[0][0];
  std::string uidl(fields[1]);
  if (kind == 'D' || kind == 'L') {
    if (fields.size() != 2) return false;
    auto it = entries_.find(uidl);
    if (kind == 'D' && it != entries_.end()) entries_.erase(it);
    if (kind == 'L' && it != entries_.end() && it->second.state == LedgerState::kRefused) {
      if (it->second.recipients.empty()) {
        entries_.erase(it);
      } else {
        it->second.state = LedgerState::kPartial;
        it->second.reason.clear();
      }
    }
    return true;
  }
  int64_t when = 0;
  if ((kind != 'A' && kind != 'P' && kind != 'R') || fields.size() < 3 || !ParseTime(fields[2], &when)) return false;
  std::vector<std::string> values(fields.size() - 3);
  for (std::size_t i = 3; i < fields.size(); ++i) {
    if (!UnescapeField(fields[i], &values[i - 3])) return false;
  }
  if (kind == 'R' && values.size() > 1) return false;
  LedgerEntry& entry = entries_[uidl];
  if (kind == 'R') {
    // An accepted message stays accepted.
    if (entry.state == LedgerState::kAccepted) return true;
    entry.state = LedgerState::kRefused;
    entry.reason = values.empty() ? std::string() : std::move(values[0]);
  } else {
    MergeRecipients(&entry.recipients, std::move(values));
    if (kind == 'P' && entry.state == LedgerState::kAccepted) return true;
    entry.state = kind == 'A' ? LedgerState::kAccepted : LedgerState::kPartial;
    entry.reason.clear();
  }
  entry.when = when;
  return true;
}

void DeliveryLedger::Close() {
  journal_.Close();
  lock_.Unlock();
  loaded_ = false;
}

FileResult DeliveryLedger::EnsureLoaded() { return loaded_ ? FileResult{} : Load(); }

FileResult DeliveryLedger::OpenJournal() {
  FileResult result = EnsureLoaded();
  if (!result.ok() || journal_.IsOpen()) return result;
  // A torn last line must not run into the next record.
  if (torn_) result = Compact();
  return result.ok() ? journal_.Open(path_) : result;
}

FileResult DeliveryLedger::Write(std::string_view uidl, const std::string& line) {
  if (!IsValidUidl(uidl)) return {FileStatus::kInvalid, 0};
  FileResult result = OpenJournal();
  Apply(line);
  return result.ok() ? journal_.Append(line + '\n') : result;
}

FileResult DeliveryLedger::RecordAccepted(std::string_view uidl, const std::vector<std::string>& recipients,
                                          int64_t now) {
  return Write(uidl, Record('A', uidl, now, recipients));
}

FileResult DeliveryLedger::RecordPartial(std::string_view uidl, const std::vector<std::string>& recipients,
                                         int64_t now) {
  return Write(uidl, Record('P', uidl, now, recipients));
}

FileResult DeliveryLedger::RecordRefused(std::string_view uidl, std::string_view reason, int64_t now) {
  return Write(uidl, RefusalRecord(uidl, now, reason));
}

FileResult DeliveryLedger::Release(std::string_view uidl) { return Write(uidl, Record('L', uidl)); }

FileResult DeliveryLedger::Forget(std::string_view uidl) { return Write(uidl, Record('D', uidl)); }

FileResult DeliveryLedger::Prune(const std::unordered_set<std::string>& listed) {
  FileResult result = EnsureLoaded();
  if (!result.ok()) return result;
  std::string lines;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (listed.contains(it->first)) {
      ++it;
      continue;
    }
    lines += Record('D', it->first) + '\n';
    it = entries_.erase(it);
  }
  if (lines.empty()) return {};
  result = OpenJournal();
  return result.ok() ? journal_.Append(lines) : result;
}

FileResult DeliveryLedger::Compact() {
  FileResult result = EnsureLoaded();
  if (!result.ok()) return result;
  journal_.Close();
  std::vector<std::pair<const std::string*, const LedgerEntry*>> live;
  for (const auto& [uidl, entry] : entries_) live.emplace_back(&uidl, &entry);
  std::sort(live.begin(), live.end(), [](const auto& a, const auto& b) {
    return a.second->when != b.second->when ? a.second->when < b.second->when : *a.first < *b.first;
  });
  std::string text;
  for (const auto& [uidl, entry] : live) {
    if (entry->state == LedgerState::kAccepted) {
      text += Record('A', *uidl, entry->when, entry->recipients) + '\n';
      continue;
    }
    if (entry->state == LedgerState::kPartial || !entry->recipients.empty()) {
      text += Record('P', *uidl, entry->when, entry->recipients) + '\n';
    }
    if (entry->state == LedgerState::kRefused) text += RefusalRecord(*uidl, entry->when, entry->reason) + '\n';
  }
  result = state::ReplaceFileAtomically(path_, text);
  if (result.ok()) torn_ = false;
  return result;
}

bool DeliveryLedger::IsAccepted(std::string_view uidl) const {
  const LedgerEntry* entry = Find(uidl);
  return entry != nullptr && entry->state == LedgerState::kAccepted;
}

bool DeliveryLedger::IsRefused(std::string_view uidl) const {
  const LedgerEntry* entry = Find(uidl);
  return entry != nullptr && entry->state == LedgerState::kRefused;
}

const LedgerEntry* DeliveryLedger::Find(std::string_view uidl) const {
  auto it = entries_.find(std::string(uidl));
  return it == entries_.end() ? nullptr : &it->second;
}

std::vector<std::string> DeliveryLedger::RefusedIds() const {
  std::vector<std::string> out;
  for (const auto& [uidl, entry] : entries_) {
    if (entry.state == LedgerState::kRefused) out.push_back(uidl);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> DeliveryLedger::AcceptedBefore(int64_t cutoff) const {
  std::vector<std::string> out;
  for (const auto& [uidl, entry] : entries_) {
    if (entry.state == LedgerState::kAccepted && entry.when < cutoff) out.push_back(uidl);
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace ferry
