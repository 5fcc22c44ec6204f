// The per-run debug log: a text file appended to, one entry per call, filtered by
// the signed DebugLevel. Entry: "\n", local time "MM/DD/YY hh:mm:ss", " : ", text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace ferry {

class DebugLog {
 public:
  // Longest text or format written by LogText and LogString.
  static constexpr std::size_t kCut = 4000;

  DebugLog() = default;
  DebugLog(const DebugLog&) = delete;
  DebugLog& operator=(const DebugLog&) = delete;
  ~DebugLog() { Close(); }

  // Opens `path` for appending, creating it; false leaves the log closed.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return stream_ != nullptr; }

  // Every log of the process also writes its entries to standard error
  // ("-debug"), with or without a file.
  static void EchoToStandardError(bool on);

  void SetLevel(int32_t level) { level_ = level; }
  int32_t Level() const { return level_; }

  // Nothing is written without a stream, above the level, or for a null text.
  void LogText(int level, const char* text);
  void LogNumber(int level, const char* format, int32_t value);
  void LogString(int level, const char* format, const char* text);

  void LogText(int level, const std::string& text) { LogText(level, text.c_str()); }
  void LogString(int level, const char* format, const std::string& text) { LogString(level, format, text.c_str()); }

 private:
  bool Enabled(int level) const;
  void Write(const std::string& entry);

  std::FILE* stream_ = nullptr;
  int32_t level_ = 0;
};

// "\n" + local time + " : " as written before every entry.
std::string FormatLogStamp();

}  // namespace ferry
