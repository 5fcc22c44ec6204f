// Process-wide preparation for sockets: WSAStartup/WSACleanup on Windows. On
// Linux, start-up makes writes to a closed connection fail with EPIPE instead of
// ending the process with SIGPIPE.
#pragma once

namespace ferry {

bool StartNetworking();
void StopNetworking();

}  // namespace ferry
