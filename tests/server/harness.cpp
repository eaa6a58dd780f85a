#include "harness.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

int64_t monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

// --- The server process --------------------------------------------------------

bool startServer(ServerProcess& server, const std::vector<std::string>& extraArgs, int fileLimit) {
    signal(SIGPIPE, SIG_IGN);
    char path[] = "/tmp/kobalserv_test_XXXXXX";
    int logFd = mkstemp(path);
    if (logFd < 0) return false;
    server.logPath = path;

    std::vector<std::string> args = {KOBALSERV_PATH, "--port", "0", "--bind", "127.0.0.1"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) {
        close(logFd);
        return false;
    }
    if (pid == 0) {
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
        close(logFd);
        if (fileLimit > 0) {
            rlimit limit{static_cast<rlim_t>(fileLimit), static_cast<rlim_t>(fileLimit)};
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(logFd);
    server.pid = pid;

    const std::string marker = "listening on 127.0.0.1:";
    int64_t deadline = monotonicMs() + 5000;
    while (monotonicMs() < deadline) {
        std::string log = serverLog(server);
        size_t at = log.find(marker);
        if (at != std::string::npos) {
            size_t end = log.find_first_not_of("0123456789", at + marker.size());
            if (end != std::string::npos) {
                server.port = static_cast<uint16_t>(std::stoi(log.substr(at + marker.size())));
                return server.port != 0;
            }
        }
        if (!serverRunning(server)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

std::string serverLog(const ServerProcess& server) {
    std::ifstream in(server.logPath, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool waitForLog(const ServerProcess& server, const std::string& needle, int timeoutMs) {
    int64_t deadline = monotonicMs() + timeoutMs;
    do {
        if (serverLog(server).find(needle) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (monotonicMs() < deadline);
    return false;
}

std::optional<int> waitForExit(ServerProcess& server, int timeoutMs) {
    if (server.pid <= 0) return std::nullopt;
    int64_t deadline = monotonicMs() + timeoutMs;
    do {
        int status = 0;
        pid_t done = waitpid(server.pid, &status, WNOHANG);
        if (done == server.pid) {
            server.pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (monotonicMs() < deadline);
    return std::nullopt;
}

bool serverRunning(ServerProcess& server) {
    if (server.pid <= 0) return false;
    int status = 0;
    if (waitpid(server.pid, &status, WNOHANG) == server.pid) {
        server.pid = -1;
        return false;
    }
    return true;
}

void stopServer(ServerProcess& server) {
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        if (!waitForExit(server, 3000)) {
            kill(server.pid, SIGKILL);
            waitpid(server.pid, nullptr, 0);
            server.pid = -1;
        }
    }
    if (!server.logPath.empty()) unlink(server.logPath.c_str());
}

// --- A client ----------------------------------------------------------------------

bool connectClient(TestClient& client, uint16_t port, const char* sourceAddress, int receiveBuffer) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (receiveBuffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, sourceAddress, &local.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return false;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        close(fd);
        return false;
    }
    client.fd = fd;
    client.received.clear();
    return true;
}

void closeClient(TestClient& client) {
    if (client.fd >= 0) close(client.fd);
    client.fd = -1;
}

bool sendRaw(TestClient& client, const Bytes& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = send(client.fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

Bytes frame(uint8_t opcode, const Bytes& payload, uint8_t sender) {
    Bytes bytes = {0, 0, 0, static_cast<uint8_t>(2 + payload.size()), sender, opcode};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

bool clientSend(TestClient& client, uint8_t opcode, const Bytes& payload) {
    return sendRaw(client, frame(opcode, payload));
}

// Reads what is available within timeoutMs into client.received; false on
// timeout, close or error.
static bool fill(TestClient& client, int64_t deadline) {
    int64_t left = deadline - monotonicMs();
    if (left < 0) left = 0;
    pollfd p{client.fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    uint8_t chunk[4096];
    ssize_t n = recv(client.fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    client.received.insert(client.received.end(), chunk, chunk + n);
    return true;
}

std::optional<WireMessage> clientReceive(TestClient& client, int timeoutMs) {
    int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        if (client.received.size() >= 4) {
            size_t length = client.received[3];
            if (client.received.size() >= 4 + length && length >= 2) {
                WireMessage m;
                m.sender = static_cast<int8_t>(client.received[4]);
                m.opcode = client.received[5];
                m.payload.assign(client.received.begin() + 6, client.received.begin() + 4 + length);
                client.received.erase(client.received.begin(), client.received.begin() + 4 + length);
                return m;
            }
        }
        if (!fill(client, deadline)) return std::nullopt;
    }
}

Bytes receiveBytes(TestClient& client, size_t n, int timeoutMs) {
    int64_t deadline = monotonicMs() + timeoutMs;
    while (client.received.size() < n && fill(client, deadline)) {
    }
    size_t take = std::min(n, client.received.size());
    Bytes out(client.received.begin(), client.received.begin() + take);
    client.received.erase(client.received.begin(), client.received.begin() + take);
    return out;
}

bool receivesNothing(TestClient& client, int waitMs) {
    return !clientReceive(client, waitMs).has_value();
}

bool closedByServer(TestClient& client, int timeoutMs) {
    int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        int64_t left = deadline - monotonicMs();
        if (left < 0) return false;
        pollfd p{client.fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        uint8_t chunk[4096];
        ssize_t n = recv(client.fd, chunk, sizeof chunk, 0);
        if (n == 0) return true;
        if (n < 0) return errno == ECONNRESET;
    }
}

std::optional<WireMessage> receiveUntil(TestClient& client, uint8_t opcode, int sender, int timeoutMs) {
    int64_t deadline = monotonicMs() + timeoutMs;
    for (;;) {
        int64_t left = deadline - monotonicMs();
        if (left <= 0) return std::nullopt;
        std::optional<WireMessage> m = clientReceive(client, static_cast<int>(left));
        if (!m) return std::nullopt;
        if (m->opcode == opcode && (sender == -1000 || m->sender == sender)) return m;
    }
}

bool joinPlayer(TestClient& client, uint16_t port, const std::string& nick,
                const std::vector<TestClient*>& others, const char* sourceAddress) {
    if (!connectClient(client, port, sourceAddress)) return false;
    Bytes nickBytes(nick.begin(), nick.end());
    if (!clientSend(client, MSG_NICK, nickBytes)) return false;
    if (!clientSend(client, MSG_VERSION, {1, 0, 2})) return false;
    std::optional<WireMessage> you = clientReceive(client);
    if (!you || you->opcode != MSG_YOU_ARE) return false;
    client.number = you->sender;
    if (!receiveUntil(client, MSG_LEVEL, 0)) return false;
    for (TestClient* other : others) {
        if (!receiveUntil(*other, MSG_PLAYER_JOINED, client.number)) return false;
        if (!receiveUntil(*other, MSG_NICK, client.number)) return false;
    }
    return true;
}

bool startGame(const std::vector<TestClient*>& players, size_t requester) {
    if (!clientSend(*players[requester], MSG_NEW_GAME)) return false;
    for (TestClient* p : players) {
        if (!receiveUntil(*p, MSG_NEW_GAME, players[requester]->number)) return false;
        if (!clientSend(*p, MSG_BOARD_CLEARED)) return false;
    }
    for (TestClient* p : players) {
        for (TestClient* other : players) {
            if (other == p) continue;
            if (!receiveUntil(*p, MSG_BOARD_CLEARED, other->number)) return false;
        }
    }
    return true;
}

std::string describe(const std::optional<WireMessage>& message) {
    if (!message) return "(nothing)";
    std::string text = "sender " + std::to_string(message->sender) + " opcode " +
                       std::to_string(message->opcode) + " payload";
    for (uint8_t b : message->payload) text += " " + std::to_string(b);
    return text;
}
