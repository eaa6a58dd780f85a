// One blocking IPv4 TCP stream socket, as the client uses it.
#pragma once

#include <cstdint>

using SocketHandle = int;
constexpr SocketHandle INVALID_SOCKET_HANDLE = -1;

SocketHandle socketOpen();  // INVALID_SOCKET_HANDLE on failure
// Connects to a dotted IPv4 address (inet_addr semantics: a host name never
// connects). Returns false on any failure.
bool socketConnect(SocketHandle socket, const char* dottedAddress, uint16_t port);
// Zero-timeout readiness poll: 1 data (or end) waiting, 0 nothing, -1 error.
int socketPoll(SocketHandle socket);
// One recv call; > 0 bytes, 0 closed by the peer, < 0 error.
int socketReceive(SocketHandle socket, uint8_t* buffer, int capacity);
// One send call that never raises SIGPIPE; bytes written or -1.
int socketSend(SocketHandle socket, const uint8_t* bytes, int length);
void socketClose(SocketHandle socket);  // accepts INVALID_SOCKET_HANDLE
