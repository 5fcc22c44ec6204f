// State files on Windows: CreateFileA/WriteFile/FlushFileBuffers and
// MoveFileExA with write-through. The state folder gets a protected DACL
// (SYSTEM, Administrators, the owner); the files inside inherit it.
#include "platform/state_files.h"

#include <windows.h>
// sddl.h needs the declarations of windows.h.
#include <sddl.h>

#include <cstdlib>
#include <string>

#include "platform/store_location.h"

namespace ferry::state {
namespace {

constexpr const char* kOwnerOnlyFolder = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;OW)";

FileResult Failure(DWORD error) {
  bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  return {missing ? FileStatus::kNotFound : FileStatus::kFailed, static_cast<int>(error)};
}

FileResult LastFailure() { return Failure(GetLastError()); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

FileResult WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastFailure();
    bytes.remove_prefix(written);
  }
  return {};
}

std::string TempFolder() {
  char path[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof path, path);
  if (n == 0 || n > MAX_PATH) return ".";
  std::string folder(path, n);
  while (folder.size() > 3 && IsSeparator(folder.back())) folder.pop_back();
  return folder;
}

}  // namespace

std::string DescribeFileResult(const FileResult& result) {
  if (result.status == FileStatus::kTooLarge) return "file too large";
  if (result.status == FileStatus::kInvalid) return "invalid input";
  if (result.status == FileStatus::kBusy) return "in use by another run";
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(result.systemError), 0, reinterpret_cast<char*>(&text), 0,
                           nullptr);
  std::string out = n == 0 ? "error " + std::to_string(result.systemError) : std::string(text, n);
  if (text != nullptr) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string StateFolder() {
  if (const char* hive = std::getenv(reg::kHiveEnvironmentVariable); hive != nullptr && *hive != '\0') {
    std::string value(hive);
    std::size_t separator = value.find_last_of("\\/");
    return separator == std::string::npos || separator == 0 ? TempFolder() : value.substr(0, separator);
  }
  const char* data = std::getenv("ProgramData");
  std::string base = data != nullptr && *data != '\0' ? data : "C:\\ProgramData";
  return JoinStatePath(base, "MailFerry");
}

std::string JoinStatePath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && !IsSeparator(path.back())) path += '\\';
  return path.append(name);
}

FileResult CreateOwnerFolder(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kOwnerOnlyFolder, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return LastFailure();
  }
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  FileResult result;
  // Skips a drive ("C:\") or a share's server and name ("\\server\share\").
  std::size_t start = path.size() > 1 && path[1] == ':' ? 3 : 1;
  if (path.size() > 1 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    std::size_t server = path.find_first_of("\\/", 2);
    std::size_t share = server == std::string::npos ? server : path.find_first_of("\\/", server + 1);
    start = share == std::string::npos ? path.size() : share + 1;
  }
  for (std::size_t pos = start; pos < path.size(); ++pos) {
    pos = path.find_first_of("\\/", pos);
    std::string folder = path.substr(0, pos);
    if (!CreateDirectoryA(folder.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
      result = LastFailure();
      break;
    }
    if (pos == std::string::npos) break;
  }
  LocalFree(descriptor);
  return result;
}

FileResult ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string* content) {
  content->clear();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFailure();
  FileResult result;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      result = LastFailure();
      break;
    }
    if (n == 0) break;
    if (content->size() + n > maxBytes) {
      result = {FileStatus::kTooLarge, ERROR_FILE_TOO_LARGE};
      break;
    }
    content->append(buffer, n);
  }
  CloseHandle(file);
  if (!result.ok()) content->clear();
  return result;
}

FileResult ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".tmp";
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFailure();
  FileResult result = WriteAll(file, bytes);
  if (result.ok() && !FlushFileBuffers(file)) result = LastFailure();
  CloseHandle(file);
  if (result.ok() && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    result = LastFailure();
  }
  if (!result.ok()) DeleteFileA(temp.c_str());
  return result;
}

FileResult WriteFileInFolder(const std::string& folder, std::string_view name, std::string_view bytes) {
  if (name.empty() || name == "." || name == ".." || name.find_first_of("\\/:") != std::string_view::npos ||
      name.find('\0') != std::string_view::npos) {
    return {FileStatus::kInvalid, 0};
  }
  if (folder.empty()) return {FileStatus::kNotFound, ERROR_PATH_NOT_FOUND};
  DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastFailure();
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return {FileStatus::kNotFound, ERROR_DIRECTORY};
  std::string base = folder;
  if (!IsSeparator(base.back())) base += '\\';
  static LONG counter = 0;
  const std::string temp = base + ".ferry-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(InterlockedIncrement(&counter)) + ".tmp";
  const std::string target = base + std::string(name);
  // CREATE_NEW never opens what is there already, a link included.
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFailure();
  FileResult result = WriteAll(file, bytes);
  CloseHandle(file);
  if (result.ok() && !MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) result = LastFailure();
  if (!result.ok()) DeleteFileA(temp.c_str());
  return result;
}

FileResult RemoveFile(const std::string& path) {
  if (!DeleteFileA(path.c_str())) return LastFailure();
  return {};
}

FileResult AppendFile::Open(const std::string& path) {
  Close();
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastFailure();
  handle_ = reinterpret_cast<intptr_t>(file);
  return {};
}

FileResult AppendFile::Append(std::string_view bytes) {
  if (handle_ == kNoHandle) return {FileStatus::kFailed, ERROR_INVALID_HANDLE};
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  FileResult result = WriteAll(file, bytes);
  if (result.ok() && !FlushFileBuffers(file)) result = LastFailure();
  return result;
}

void AppendFile::Close() {
  if (handle_ == kNoHandle) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

FileResult FileLock::TryLock(const std::string& path) {
  Unlock();
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION ? FileResult{FileStatus::kBusy, static_cast<int>(error)} : Failure(error);
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return {};
}

void FileLock::Unlock() {
  if (handle_ == kNoHandle) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kNoHandle;
}

// Binary mode: the log's lines already end in CR LF, which a text-mode file
// would write as CR CR LF.
std::FILE* OpenOwnerOnlyLog(const std::string& path) { return std::fopen(path.c_str(), "ab"); }

}  // namespace ferry::state
