// Durable owner-only state files beside the settings store (the delivery
// ledgers): where they live, and the few file operations they need, each one
// written through to the disk before it returns. POSIX calls on Linux, Win32
// file calls on Windows. Failures come back as values.
//
// Where the state folder is:
//   Linux:   the folder of the hive file (MAILFERRY_HIVE redirects both).
//   Windows: %ProgramData%\MailFerry; when MAILFERRY_HIVE redirects the store
//            (tests, demos), the folder part of its value, or the temporary
//            folder when the value has none.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferry::state {

// kInvalid: the caller's input was refused before any system call.
// kBusy: another thread or process holds the lock.
enum class FileStatus { kOk, kNotFound, kTooLarge, kInvalid, kBusy, kFailed };

struct FileResult {
  FileStatus status = FileStatus::kOk;
  int systemError = 0;  // errno on Linux, GetLastError() on Windows
  bool ok() const { return status == FileStatus::kOk; }
};

// The system's words for a failure, for events and logs.
std::string DescribeFileResult(const FileResult& result);

// The folder for state files beside the store (not created here).
std::string StateFolder();

// `folder` and `name` joined with this system's separator.
std::string JoinStatePath(std::string_view folder, std::string_view name);

// Creates `path` and every missing folder above it, owner-only (0700; on
// Windows a protected DACL for SYSTEM, Administrators and the owner, inherited
// by the files inside). An existing folder is fine.
FileResult CreateOwnerFolder(const std::string& path);

// Reads the whole file into `*content`; kTooLarge when it holds more than
// `maxBytes`, kNotFound when it does not exist.
FileResult ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string* content);

// Writes `bytes` to `path` + ".tmp", flushes it, and renames it over `path`:
// a crash leaves either the old or the new file whole.
FileResult ReplaceFileAtomically(const std::string& path, std::string_view bytes);

// Writes `bytes` as the file `name` inside the existing folder `folder`: a
// temporary file is created new beside it (never through a link) and renamed
// over `name`, so a link of that name is replaced, not followed, and a reader
// sees the old or the new file whole. kNotFound when `folder` is empty, missing
// or no folder; kInvalid when `name` is empty, ".", ".." or holds a separator.
FileResult WriteFileInFolder(const std::string& folder, std::string_view name, std::string_view bytes);

// Removes a file; kNotFound when there was none.
FileResult RemoveFile(const std::string& path);

// Opens a text file for appending, created readable by its owner only (a debug
// log may name hosts, users and mail); nullptr when it cannot be opened.
std::FILE* OpenOwnerOnlyLog(const std::string& path);

// A file opened for appending only (created owner-only when missing). Every
// Append is one write and one flush to the disk before it returns.
class AppendFile {
 public:
  AppendFile() = default;
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;
  AppendFile(AppendFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }
  AppendFile& operator=(AppendFile&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = kNoHandle;
    }
    return *this;
  }
  ~AppendFile() { Close(); }

  FileResult Open(const std::string& path);
  FileResult Append(std::string_view bytes);
  bool IsOpen() const { return handle_ != kNoHandle; }
  void Close();

 private:
  static constexpr intptr_t kNoHandle = -1;  // also INVALID_HANDLE_VALUE
  intptr_t handle_ = kNoHandle;
};

// An exclusive claim on a lock file (created owner-only when missing; never
// removed), against other threads and processes alike: flock on Linux, an
// open without sharing on Windows. Released by Unlock or when the object ends.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  FileLock(FileLock&& other) noexcept : handle_(other.handle_) { other.handle_ = kNoHandle; }
  FileLock& operator=(FileLock&& other) noexcept {
    if (this != &other) {
      Unlock();
      handle_ = other.handle_;
      other.handle_ = kNoHandle;
    }
    return *this;
  }
  ~FileLock() { Unlock(); }

  // kBusy when another holds it; does not wait.
  FileResult TryLock(const std::string& path);
  bool IsLocked() const { return handle_ != kNoHandle; }
  void Unlock();

 private:
  static constexpr intptr_t kNoHandle = -1;
  intptr_t handle_ = kNoHandle;
};

}  // namespace ferry::state
