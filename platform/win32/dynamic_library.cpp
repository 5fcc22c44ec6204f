#include "platform/dynamic_library.h"

#include <windows.h>

#include <cstring>

namespace ferry {
namespace {

std::string LastErrorText(const std::string& path) {
  DWORD code = GetLastError();
  char text[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                           sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
  std::string reason = "cannot load " + path + " (error " + std::to_string(code) + ")";
  if (n > 0) reason += ": " + std::string(text, n);
  return reason;
}

}  // namespace

std::string SharedLibraryFileName(std::string_view base) { return std::string(base) + ".dll"; }

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool DynamicLibrary::Load(const std::string& path) {
  if (handle_ != nullptr) return true;
  handle_ = LoadLibraryA(path.c_str());
  if (handle_ == nullptr) {
    error_ = LastErrorText(path);
    return false;
  }
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  FARPROC proc = GetProcAddress(static_cast<HMODULE>(handle_), name);
  void* address = nullptr;
  static_assert(sizeof proc == sizeof address);
  std::memcpy(&address, &proc, sizeof address);
  return address;
}

}  // namespace ferry
