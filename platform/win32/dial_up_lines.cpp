// The Remote Access Service's active connections: rasapi32.dll is loaded by name
// at run time and only RasEnumConnectionsA is used, with the connection record
// of Windows NT 4.0 (size field, connection handle, entry name, device type,
// device name). That record is 412 bytes in a 32-bit program; the handle is
// pointer-sized, so a 64-bit program's record is 424 bytes, which is the size
// a 64-bit rasapi32 expects for this layout.
#include "platform/dial_up_lines.h"

#include <windows.h>

#include <array>
#include <cstring>
#include <mutex>

namespace ferry {
namespace {

struct RasConnectionRecord {
  DWORD size;
  HANDLE connection;
  CHAR entryName[256 + 1];
  CHAR deviceType[16 + 1];
  CHAR deviceName[128 + 1];
};
static_assert(sizeof(RasConnectionRecord) == (sizeof(void*) == 4 ? 412 : 424));

using EnumConnectionsFunction = DWORD(WINAPI*)(RasConnectionRecord* records, DWORD* bufferSize, DWORD* count);

std::mutex gMutex;
HMODULE gLibrary = nullptr;
EnumConnectionsFunction gEnumerate = nullptr;

}  // namespace

bool LoadDialUpLibrary() {
  std::lock_guard lock(gMutex);
  if (gLibrary == nullptr) gLibrary = LoadLibraryA("rasapi32.dll");
  if (gLibrary == nullptr) return false;
  FARPROC proc = GetProcAddress(gLibrary, "RasEnumConnectionsA");
  static_assert(sizeof proc == sizeof gEnumerate);
  std::memcpy(&gEnumerate, &proc, sizeof gEnumerate);
  return gEnumerate != nullptr;
}

void FreeDialUpLibrary() {
  std::lock_guard lock(gMutex);
  if (gLibrary != nullptr) FreeLibrary(gLibrary);
  gLibrary = nullptr;
  gEnumerate = nullptr;
}

int EnumerateDialUpLines(std::vector<DialUpLine>* lines, int* count) {
  lines->clear();
  *count = 0;
  EnumConnectionsFunction enumerate;
  {
    std::lock_guard lock(gMutex);
    enumerate = gEnumerate;
  }
  if (enumerate == nullptr) return -1;
  std::array<RasConnectionRecord, kMaxDialUpLines> records{};
  records[0].size = sizeof(RasConnectionRecord);
  DWORD bufferSize = sizeof records;
  DWORD found = 0;
  DWORD rc = enumerate(records.data(), &bufferSize, &found);
  *count = static_cast<int>(found);
  if (rc != 0) return static_cast<int>(rc);
  if (found > static_cast<DWORD>(kMaxDialUpLines)) return -2;
  for (DWORD i = 0; i < found; ++i) {
    const RasConnectionRecord& record = records[i];
    std::size_t length = strnlen(record.entryName, sizeof record.entryName);
    lines->push_back({reinterpret_cast<uint64_t>(record.connection), std::string(record.entryName, length)});
  }
  return 0;
}

}  // namespace ferry
