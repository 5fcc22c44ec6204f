// Events go to syslog under the source name, and when MAILFERRY_EVENT_FILE names
// a file, one line per event is appended to it with a single write.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/event_log.h"

namespace ferry {
namespace {

int Priority(uint16_t type) {
  if (type & kEventError) return LOG_ERR;
  if (type & kEventWarning) return LOG_WARNING;
  return LOG_INFO;
}

std::mutex gSyslogMutex;
std::string gIdent;  // openlog keeps the pointer

}  // namespace

bool WriteEvent(std::string_view source, uint32_t eventId, uint16_t type, const std::vector<std::string>& strings) {
  std::string line = FormatEventLine(eventId, type, strings);
  if (const char* path = std::getenv(kEventFileEnvironmentVariable); path != nullptr && *path != '\0') {
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ssize_t written = write(fd, line.data(), line.size());
      (void)written;
      close(fd);
    }
  }
  std::lock_guard lock(gSyslogMutex);
  if (gIdent != source) {
    closelog();
    gIdent = source;
    openlog(gIdent.c_str(), LOG_PID, LOG_DAEMON);
  }
  line.pop_back();
  syslog(Priority(type), "event %s", line.c_str());
  return true;
}

}  // namespace ferry
