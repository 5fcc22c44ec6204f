// The system calls under the portable socket code (socket.cpp, udp_socket.cpp),
// one implementation per system: linux/socket_posix.cpp (BSD sockets) and
// win32/socket_winsock.cpp (Winsock). Addresses and ports are in host byte
// order. The calls that can fail record their outcome for LastSocketError (0,
// or the failure in the Windows Sockets numbering of socket.h); Close,
// SetOption, LocalPort and ParseIpv4 record nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/socket.h"

namespace ferry::net::sys {

enum class Kind { Stream, Datagram };

// A new socket of the Internet family, not inherited by child processes.
SocketHandle Open(Kind kind);
void Close(SocketHandle socket);

enum class Option {
  ReceiveTimeoutMs,  // a receive gives up after `value` ms (kErrorTimedOut)
  SendTimeoutMs,     // a send that makes no progress gives up after `value` ms (kErrorTimedOut)
  NoDelay,           // small segments go out at once
  Broadcast,         // datagrams may go to a broadcast address
  ExclusiveAddress,  // a second socket cannot bind the same address and port
};
bool SetOption(SocketHandle socket, Option option, int value);

// A dotted IPv4 address ("127.0.0.1"); false for anything else.
bool ParseIpv4(const char* text, uint32_t* address);
// The first IPv4 address of a name or a dotted address (kErrorHostNotFound
// when there is none).
bool ResolveIpv4(const char* host, uint32_t* address);

bool Bind(SocketHandle socket, uint32_t address, uint16_t port);
bool Listen(SocketHandle socket, int backlog);
bool Connect(SocketHandle socket, uint32_t address, uint16_t port);
// The port the socket is bound to; 0 when unbound or unknown.
uint16_t LocalPort(SocketHandle socket);

// One datagram: the count sent, or -1.
long SendDatagram(SocketHandle socket, uint32_t address, uint16_t port, const char* data, std::size_t length);
// One waiting datagram without blocking: the bytes copied (at most `capacity`)
// with `*truncated` set when the datagram was longer and its tail is lost, or
// -1 (nothing waiting: kErrorTimedOut, kErrorWouldBlock or kErrorInterrupted).
// `sender` gets the sender's IPv4 address (host byte order; 0 when unknown).
long ReceiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity, bool* truncated, uint32_t* sender);

// Sets what LastSocketError answers on this thread (kept in socket.cpp).
void RecordError(int code);

}  // namespace ferry::net::sys
