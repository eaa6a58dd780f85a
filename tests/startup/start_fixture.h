// Helpers of the start-up and main-loop tests: a real loopback listener on an
// ephemeral port, a port nobody listens on, and a stand-in for the server
// program that records how it was started.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/client_state.h"
#include "platform/headless.h"

namespace startfix {

using Bytes = std::vector<uint8_t>;

inline Bytes frame(const Bytes& message) {
    Bytes bytes{0, 0, 0, uint8_t(message.size())};
    bytes.insert(bytes.end(), message.begin(), message.end());
    return bytes;
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A listening TCP socket on 127.0.0.1 with the port the system chose (or a given one).
struct Listener {
    int socket = -1;
    uint16_t port = 0;
    int connection = -1;

    explicit Listener(uint16_t wantedPort = 0) {
        socket = ::socket(AF_INET, SOCK_STREAM, 0);
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(wantedPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(socket, 4) != 0) {
            ::close(socket);
            socket = -1;
            return;
        }
        socklen_t length = sizeof address;
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~Listener() {
        closeConnection();
        if (socket >= 0) ::close(socket);
    }
    bool ok() const { return socket >= 0; }
    // Waits up to timeoutMs of real time for a client.
    bool accept(int timeoutMs = 5000) {
        pollfd entry{socket, POLLIN, 0};
        if (poll(&entry, 1, timeoutMs) != 1) return false;
        connection = ::accept(socket, nullptr, nullptr);
        return connection >= 0;
    }
    // Reads until count bytes arrived, the peer closed, or timeoutMs passed.
    Bytes read(size_t count, int timeoutMs = 5000) {
        Bytes bytes;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (bytes.size() < count) {
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                               deadline - std::chrono::steady_clock::now())
                               .count());
            if (left <= 0) break;
            pollfd entry{connection, POLLIN, 0};
            if (poll(&entry, 1, left) != 1) break;
            uint8_t chunk[512];
            ssize_t got = ::recv(connection, chunk, std::min(sizeof chunk, count - bytes.size()), 0);
            if (got <= 0) break;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
        return bytes;
    }
    // True when the client closed its end within timeoutMs.
    bool seesEnd(int timeoutMs = 5000) {
        pollfd entry{connection, POLLIN, 0};
        if (poll(&entry, 1, timeoutMs) != 1) return false;
        uint8_t byte;
        return ::recv(connection, &byte, 1, 0) == 0;
    }
    void write(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t sent = ::send(connection, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) return;
            done += size_t(sent);
        }
    }
    void closeConnection() {
        if (connection >= 0) ::close(connection);
        connection = -1;
    }
};

// A loopback port nobody listens on (bound once by the system's choice, then freed).
inline uint16_t closedPort() {
    Listener probe;
    uint16_t port = probe.port;
    return port;
}

// The handshake the client sends with the given nick.
inline Bytes handshake(const std::string& nick) {
    Bytes nickMessage{0, 1};
    nickMessage.insert(nickMessage.end(), nick.begin(), nick.end());
    return join({frame(nickMessage), frame({0, 17, 1, 0, 2})});
}

// A temporary directory put first on PATH, holding an executable "kobalserv"
// that writes its arguments to the file "started" beside it.
struct ServerStandIn {
    std::filesystem::path directory;
    std::string savedPath;

    ServerStandIn() {
        char pattern[] = "/tmp/plumo-start-XXXXXX";
        directory = mkdtemp(pattern);
        std::filesystem::path script = directory / "kobalserv";
        std::ofstream(script) << "#!/bin/sh\n"
                                 "here=$(dirname \"$0\")\n"
                                 "printf '%s\\n' \"$*\" > \"$here/started.part\"\n"
                                 "mv \"$here/started.part\" \"$here/started\"\n";
        std::filesystem::permissions(script, std::filesystem::perms::owner_all);
        const char* path = std::getenv("PATH");
        savedPath = path != nullptr ? path : "";
        setenv("PATH", (directory.string() + ":" + savedPath).c_str(), 1);
    }
    ~ServerStandIn() {
        setenv("PATH", savedPath.c_str(), 1);
        std::filesystem::remove_all(directory);
    }
    // The recorded arguments once the stand-in ran, waiting up to timeoutMs; "" if it never did.
    std::string startedWith(int timeoutMs) const {
        std::filesystem::path record = directory / "started";
        for (int waited = 0; waited <= timeoutMs; waited += 10) {
            if (std::filesystem::exists(record)) {
                std::ifstream in(record);
                std::string line;
                std::getline(in, line);
                return line;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return "";
    }
};

// The client state as the dialogs leave it.
inline void loggedIn(const char* nick, const char* address, bool defaulted) {
    resetClientState();
    headlessReset();
    headlessUseRealClock(false);
    ClientState& s = clientState();
    std::strncpy(s.nickName, nick, sizeof s.nickName - 1);
    s.nickLength = int32_t(std::strlen(s.nickName));
    s.serverAddress = strdup(address);
    s.addressDefaulted = defaulted;
}

}  // namespace startfix
