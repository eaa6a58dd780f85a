// POSIX sockets for the client's one IPv4 TCP connection.
#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

SocketHandle socketOpen() {
    int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return handle < 0 ? INVALID_SOCKET_HANDLE : handle;
}

// inet_addr semantics: anything but a dotted address (a host name, a typo)
// yields INADDR_NONE, and so does "255.255.255.255", which therefore never
// connects either. No name resolution ever happens.
bool socketConnect(SocketHandle socket, const char* dottedAddress, uint16_t port) {
    if (socket == INVALID_SOCKET_HANDLE || dottedAddress == nullptr) {
        return false;
    }
    in_addr_t address = ::inet_addr(dottedAddress);
    if (address == INADDR_NONE) {
        return false;
    }
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = address;
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
        return true;
    }
    if (errno != EINTR) {
        return false;
    }
    // Interrupted by a signal: the connection goes on in the background, so
    // wait for it to finish and read its outcome instead of connecting again.
    pollfd entry{};
    entry.fd = socket;
    entry.events = POLLOUT;
    int ready;
    do {
        ready = ::poll(&entry, 1, -1);
    } while (ready < 0 && errno == EINTR);
    if (ready != 1) {
        return false;
    }
    int error = 0;
    socklen_t errorLength = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0) {
        return false;
    }
    return error == 0;
}

int socketPoll(SocketHandle socket) {
    if (socket == INVALID_SOCKET_HANDLE) {
        return -1;
    }
    pollfd entry{};
    entry.fd = socket;
    entry.events = POLLIN;
    int result;
    do {
        result = ::poll(&entry, 1, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        return -1;
    }
    if (result == 0) {
        return 0;
    }
    if ((entry.revents & POLLNVAL) != 0) {
        return -1;
    }
    // Data, the peer's end (POLLHUP) and a pending error all make the next
    // recv return at once, which is what select reports as readable.
    return 1;
}

int socketReceive(SocketHandle socket, uint8_t* buffer, int capacity) {
    if (socket == INVALID_SOCKET_HANDLE || buffer == nullptr || capacity <= 0) {
        return -1;
    }
    ssize_t received;
    do {
        received = ::recv(socket, buffer, size_t(capacity), 0);
    } while (received < 0 && errno == EINTR);
    return int(received);
}

// MSG_NOSIGNAL: a peer that has gone away gives EPIPE, never SIGPIPE.
int socketSend(SocketHandle socket, const uint8_t* bytes, int length) {
    if (socket == INVALID_SOCKET_HANDLE || length < 0 || (bytes == nullptr && length > 0)) {
        return -1;
    }
    ssize_t sent;
    do {
        sent = ::send(socket, bytes, size_t(length), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent < 0 ? -1 : int(sent);
}

void socketClose(SocketHandle socket) {
    if (socket == INVALID_SOCKET_HANDLE) {
        return;
    }
    ::close(socket);
}
