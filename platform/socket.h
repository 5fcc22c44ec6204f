// TCP sockets: the client side used by the mail transfer (one blocking stream
// socket with a receive time-out), and the listening side used by the scripted
// peers of the tests and the demo. Creating, connecting and listening are
// written once for every system (socket.cpp); the other calls are one system
// call each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ferry::net {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Socket error codes as Windows Sockets numbers them, so that the transfer's
// error report reads the same on every system. A receive that ran into its
// time-out gives kErrorTimedOut.
inline constexpr int kErrorInterrupted = 10004;
inline constexpr int kErrorBadHandle = 10009;
inline constexpr int kErrorInvalidArgument = 10022;
inline constexpr int kErrorWouldBlock = 10035;
inline constexpr int kErrorNotSocket = 10038;
inline constexpr int kErrorMessageSize = 10040;
inline constexpr int kErrorAddressInUse = 10048;
inline constexpr int kErrorNetworkUnreachable = 10051;
inline constexpr int kErrorConnectionAborted = 10053;
inline constexpr int kErrorConnectionReset = 10054;
inline constexpr int kErrorNotConnected = 10057;
inline constexpr int kErrorShutDown = 10058;
inline constexpr int kErrorTimedOut = 10060;
inline constexpr int kErrorConnectionRefused = 10061;
inline constexpr int kErrorHostUnreachable = 10065;
inline constexpr int kErrorHostNotFound = 11001;  // the name does not resolve

// A stream socket of the Internet family with the given receive time-out and
// TCP_NODELAY set; kNoSocket on failure.
SocketHandle CreateStreamSocket(int receiveTimeoutMs);

// Resolves `host` (a name or a dotted address) and connects to its first IPv4
// address. 0 when connected, -1 when the name does not resolve or the connect fails.
int ConnectStream(SocketHandle socket, const char* host, uint16_t port);

// One send / one receive system call; the count, 0 for a closed peer (receive),
// or -1 on failure.
long SendOnce(SocketHandle socket, const char* data, std::size_t length);
long ReceiveOnce(SocketHandle socket, char* buffer, std::size_t capacity);

// Waits at most `timeoutMs` for bytes, then receives once: the count, 0 for a
// closed peer, or -1 (kErrorTimedOut when nothing came in time; at once, without
// a receive, when `timeoutMs` is 0 or less).
long ReceiveWithin(SocketHandle socket, char* buffer, std::size_t capacity, int timeoutMs);
// One send that gives up when it can hand no byte to the system for
// `timeoutMs`: the count taken (possibly fewer than `length`), or -1
// (kErrorTimedOut when nothing was taken in time; at once, without a send,
// when `timeoutMs` is 0 or less).
long SendWithin(SocketHandle socket, const char* data, std::size_t length, int timeoutMs);

int CloseSocket(SocketHandle socket);

// The error code of this thread's last socket call (0 after a call that worked).
int LastSocketError();

// A listening stream socket bound to `address`:`port` (port 0: the system picks
// one; `boundPort` receives it). kNoSocket on failure; LastSocketError tells why.
SocketHandle ListenStream(const std::string& address, uint16_t port, uint16_t* boundPort);

// Accepts one connection; kNoSocket on failure.
SocketHandle AcceptStream(SocketHandle listener);

// Waits until `socket` is readable: 1 readable, 0 time-out, -1 error.
int WaitReadable(SocketHandle socket, int timeoutMs);

// Makes a later receive on the socket return 0 and a later send fail (the
// peer then sees an orderly close or a reset).
void ShutdownSocket(SocketHandle socket);

}  // namespace ferry::net
