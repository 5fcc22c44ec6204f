#include "service/transfer/debug_log.h"

#include "platform/state_files.h"
#include "platform/system_info.h"

#include <array>
#include <atomic>
#include <cstring>
#include <ctime>
#include <string_view>

namespace ferry {
namespace {

std::atomic<bool> gEcho{false};

// A copy of `text` cut to its first kCut characters.
std::string Cut(const char* text) {
  std::size_t n = std::strlen(text);
  return std::string(text, n < DebugLog::kCut ? n : DebugLog::kCut);
}

}  // namespace

std::string FormatLogStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local = LocalTime(now);
  // The C locale's "%c" of the system the log format comes from:
  // month/day/two-digit year, blank, hours:minutes:seconds.
  std::array<char, 64> stamp{};
  std::size_t n = std::strftime(stamp.data(), stamp.size(), "\n%m/%d/%y %H:%M:%S : ", &local);
  return std::string(stamp.data(), n);
}

bool DebugLog::Open(const std::string& path) {
  Close();
  stream_ = state::OpenOwnerOnlyLog(path);
  return stream_ != nullptr;
}

void DebugLog::Close() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
}

void DebugLog::EchoToStandardError(bool on) { gEcho = on; }

bool DebugLog::Enabled(int level) const { return (stream_ != nullptr || gEcho) && level <= level_; }

void DebugLog::Write(const std::string& entry) {
  std::string text = FormatLogStamp() + entry;
  if (stream_ != nullptr) {
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
  }
  if (gEcho) {
    text.erase(0, 1);  // the stamp's leading line break ends the entry on a terminal
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
}

void DebugLog::LogText(int level, const char* text) {
  if (!Enabled(level) || text == nullptr) return;
  std::string cut = Cut(text);
  Write(cut);
}

void DebugLog::LogNumber(int level, const char* format, int32_t value) {
  if (!Enabled(level) || format == nullptr) return;
  int n = std::snprintf(nullptr, 0, format, value);
  if (n < 0) return;
  std::string entry(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(entry.data(), entry.size(), format, value);
  entry.pop_back();
  Write(entry);
}

void DebugLog::LogString(int level, const char* format, const char* text) {
  if (!Enabled(level) || format == nullptr || text == nullptr) return;
  std::string cutText = Cut(text);
  std::string cutFormat = Cut(format);
  int n = std::snprintf(nullptr, 0, cutFormat.c_str(), cutText.c_str());
  if (n < 0) return;
  std::string entry(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(entry.data(), entry.size(), cutFormat.c_str(), cutText.c_str());
  entry.pop_back();
  Write(entry);
}

}  // namespace ferry
