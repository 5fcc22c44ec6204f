// State files on Linux: open/write/fsync/rename, modes 0600 and 0700, and an
// fsync of the folder after a file is created or renamed so that the name
// survives a crash as well as the bytes.
#include "platform/state_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/store_location.h"

namespace ferry::state {
namespace {

FileResult Failure(int error) {
  return {error == ENOENT ? FileStatus::kNotFound : FileStatus::kFailed, error};
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes a new or renamed name in `folder` durable. Some file systems cannot
// sync a folder (EINVAL); their names are as durable as they get.
FileResult SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Failure(errno);
  int rc = fsync(fd);
  int error = errno;
  close(fd);
  return rc == 0 || error == EINVAL ? FileResult{} : Failure(error);
}

FileResult WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Failure(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return {};
}

}  // namespace

std::string DescribeFileResult(const FileResult& result) {
  if (result.status == FileStatus::kTooLarge) return "file too large";
  if (result.status == FileStatus::kInvalid) return "invalid input";
  if (result.status == FileStatus::kBusy) return "in use by another run";
  return result.systemError == 0 ? std::string("no error") : std::string(std::strerror(result.systemError));
}

// The store location on Linux is the hive file's path.
std::string StateFolder() { return FolderOf(reg::StoreLocation()); }

std::string JoinStatePath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  return path.append(name);
}

FileResult CreateOwnerFolder(const std::string& path) {
  for (std::size_t pos = 1;; ++pos) {
    pos = path.find('/', pos);
    std::string folder = path.substr(0, pos);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return Failure(errno);
    if (pos == std::string::npos) return {};
  }
}

FileResult ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string* content) {
  content->clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failure(errno);
  FileResult result;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = Failure(errno);
      break;
    }
    if (n == 0) break;
    if (content->size() + static_cast<std::size_t>(n) > maxBytes) {
      result = {FileStatus::kTooLarge, EFBIG};
      break;
    }
    content->append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (!result.ok()) content->clear();
  return result;
}

FileResult ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return Failure(errno);
  FileResult result = WriteAll(fd, bytes);
  if (result.ok() && fsync(fd) != 0) result = Failure(errno);
  if (close(fd) != 0 && result.ok()) result = Failure(errno);
  if (result.ok() && rename(temp.c_str(), path.c_str()) != 0) result = Failure(errno);
  if (!result.ok()) {
    unlink(temp.c_str());
    return result;
  }
  return SyncFolder(FolderOf(path));
}

FileResult WriteFileInFolder(const std::string& folder, std::string_view name, std::string_view bytes) {
  if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return {FileStatus::kInvalid, 0};
  }
  if (folder.empty()) return {FileStatus::kNotFound, ENOENT};
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno == ENOTDIR ? FileResult{FileStatus::kNotFound, ENOTDIR} : Failure(errno);
  static std::atomic<unsigned> counter{0};
  const std::string temp = ".ferry-" + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
  const std::string target(name);
  int fd = openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    FileResult failed = Failure(errno);
    close(dir);
    return failed;
  }
  FileResult result = WriteAll(fd, bytes);
  if (close(fd) != 0 && result.ok()) result = Failure(errno);
  if (result.ok() && renameat(dir, temp.c_str(), dir, target.c_str()) != 0) result = Failure(errno);
  if (!result.ok()) unlinkat(dir, temp.c_str(), 0);
  close(dir);
  return result;
}

FileResult RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0) return Failure(errno);
  return SyncFolder(FolderOf(path));
}

FileResult AppendFile::Open(const std::string& path) {
  Close();
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Failure(errno);
  // An existing file keeps its mode at open; state files are owner-only.
  FileResult result;
  if (fchmod(fd, 0600) != 0) result = Failure(errno);
  if (result.ok()) result = SyncFolder(FolderOf(path));
  if (!result.ok()) {
    close(fd);
    return result;
  }
  handle_ = fd;
  return {};
}

FileResult AppendFile::Append(std::string_view bytes) {
  if (handle_ == kNoHandle) return {FileStatus::kFailed, EBADF};
  int fd = static_cast<int>(handle_);
  FileResult result = WriteAll(fd, bytes);
  if (result.ok() && fdatasync(fd) != 0) result = Failure(errno);
  return result;
}

void AppendFile::Close() {
  if (handle_ == kNoHandle) return;
  close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

FileResult FileLock::TryLock(const std::string& path) {
  Unlock();
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return Failure(errno);
  // flock belongs to this open file description: a second open in the same
  // process is refused as well.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    close(fd);
    return {error == EWOULDBLOCK ? FileStatus::kBusy : FileStatus::kFailed, error};
  }
  handle_ = fd;
  return {};
}

void FileLock::Unlock() {
  if (handle_ == kNoHandle) return;
  close(static_cast<int>(handle_));
  handle_ = kNoHandle;
}

std::FILE* OpenOwnerOnlyLog(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  std::FILE* stream = fdopen(fd, "a");
  if (stream == nullptr) close(fd);
  return stream;
}

}  // namespace ferry::state
