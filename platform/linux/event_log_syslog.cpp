// Events go to syslog under the source name as their readable text, at the
// priority of their meaning; when MAILFERRY_EVENT_FILE names a file, one line
// per event (FormatEventLine) is appended to it with a single write.
#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/event_log.h"

namespace ferry {
namespace {

int Priority(EventPriority priority) {
  switch (priority) {
    case EventPriority::Error: return LOG_ERR;
    case EventPriority::Warning: return LOG_WARNING;
    case EventPriority::Information: break;
  }
  return LOG_INFO;
}

std::mutex gSyslogMutex;
std::string gIdent;  // openlog keeps the pointer

}  // namespace

bool WriteEvent(std::string_view source, uint32_t eventId, uint16_t type, const std::vector<std::string>& strings,
                std::string_view text, EventPriority priority) {
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
  std::string message(text);
  syslog(Priority(priority), "%s", message.c_str());
  return true;
}

}  // namespace ferry
