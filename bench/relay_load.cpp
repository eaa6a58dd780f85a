// Load program for kobalserv: N clients on loopback join one game, each sends
// CellChanges at a set rate, and every receipt of a relayed message is timed
// against its send. Reports relayed messages per second and the relay latency
// (median, 99th percentile, maximum).
//
//   relay_load [--clients N] [--rate PER_SECOND] [--seconds S]
//              [--server PATH | --port PORT]
//
// Without --port it starts the server itself (by default the kobalserv beside
// this program's directory, i.e. the build's top level) on an ephemeral
// loopback port and stops it at the end. Every client talks to 127.0.0.1 only.
//
// A message carries its sequence number in the columns of 7 cell triples
// (one decimal digit each) and the sending client's index in their rows and
// codes, so each is a valid 23-byte CellChanges, the size of a piece move.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "protocol/wire.h"

namespace {

constexpr int SEQUENCE_DIGITS = 7;

int64_t nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

struct LoadClient {
    int fd = -1;
    int number = 0;                 // player number from YouAre
    std::vector<uint8_t> input;     // received bytes; framed from inputHead on
    size_t inputHead = 0;
    std::vector<int64_t> sentAt;    // send time per sequence number
    int64_t nextSendNs = 0;
};

struct Options {
    int clients = 8;
    double rate = 50.0;
    double seconds = 5.0;
    std::string serverPath;
    int port = 0;
};

[[noreturn]] void fail(const char* what) {
    fprintf(stderr, "relay_load: %s (%s)\n", what, strerror(errno));
    exit(1);
}

// --- The server --------------------------------------------------------------

pid_t startServer(const std::string& path, int& port) {
    int fds[2];
    if (pipe(fds) != 0) fail("pipe");
    pid_t pid = fork();
    if (pid < 0) fail("fork");
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        execl(path.c_str(), path.c_str(), "--port", "0", "--bind", "127.0.0.1", nullptr);
        _exit(127);
    }
    close(fds[1]);
    // Read the listening line, then let a child drain the log so the server never blocks on it.
    std::string text;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') text += c;
    size_t at = text.find("listening on 127.0.0.1:");
    if (at == std::string::npos) {
        fprintf(stderr, "relay_load: server did not start: %s\n", text.c_str());
        exit(1);
    }
    port = atoi(text.c_str() + at + strlen("listening on 127.0.0.1:"));
    if (fork() == 0) {
        char sink[4096];
        while (read(fds[0], sink, sizeof sink) > 0) {
        }
        _exit(0);
    }
    close(fds[0]);
    return pid;
}

// --- Frames --------------------------------------------------------------------

void sendAll(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        ssize_t n = send(fd, data, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("send");
        data += n;
        length -= static_cast<size_t>(n);
    }
}

void sendFrame(int fd, uint8_t opcode, const uint8_t* payload, size_t payloadLength) {
    uint8_t bytes[FRAME_HEADER_SIZE + MAX_MESSAGE_LENGTH];
    size_t length = MESSAGE_HEADER_SIZE + payloadLength;
    encodeFrameHeader(bytes, static_cast<uint8_t>(length));
    bytes[4] = 0;
    bytes[5] = opcode;
    if (payloadLength) memcpy(bytes + 6, payload, payloadLength);
    sendAll(fd, bytes, FRAME_HEADER_SIZE + length);
}

// Takes one complete message out of c.input into message; false when none is complete.
bool takeMessage(LoadClient& c, std::vector<uint8_t>& message) {
    size_t available = c.input.size() - c.inputHead;
    const uint8_t* frame = c.input.data() + c.inputHead;
    size_t length = available >= FRAME_HEADER_SIZE ? frame[3] : MAX_MESSAGE_LENGTH + 1;
    if (available >= FRAME_HEADER_SIZE + length) {
        message.assign(frame + FRAME_HEADER_SIZE, frame + FRAME_HEADER_SIZE + length);
        c.inputHead += FRAME_HEADER_SIZE + length;
        return true;
    }
    // Nothing complete: drop what was taken, keep the partial frame.
    c.input.erase(c.input.begin(), c.input.begin() + static_cast<long>(c.inputHead));
    c.inputHead = 0;
    return false;
}

bool readSome(LoadClient& c) {
    uint8_t chunk[65536];
    ssize_t n = recv(c.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
        c.input.insert(c.input.end(), chunk, chunk + n);
        return true;
    }
    if (n == 0) {
        fprintf(stderr, "relay_load: the server closed a connection\n");
        exit(1);
    }
    return false;
}

// Blocks (bounded) until c has a message with this opcode; returns it.
std::vector<uint8_t> waitFor(LoadClient& c, uint8_t opcode, int sender = -1000) {
    std::vector<uint8_t> message;
    int64_t deadline = nowNs() + 5'000'000'000;
    for (;;) {
        while (takeMessage(c, message)) {
            if (message.size() >= 2 && message[1] == opcode &&
                (sender == -1000 || static_cast<int8_t>(message[0]) == sender)) {
                return message;
            }
        }
        if (nowNs() > deadline) {
            fprintf(stderr, "relay_load: timed out waiting for opcode %d\n", opcode);
            exit(1);
        }
        pollfd p{c.fd, POLLIN, 0};
        poll(&p, 1, 100);
        readSome(c);
    }
}

LoadClient connectClient(int port, int index) {
    LoadClient c;
    c.fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (c.fd < 0) fail("socket");
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &remote.sin_addr);
    if (connect(c.fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) fail("connect");
    int one = 1;
    setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char nick[16];
    int nickLength = snprintf(nick, sizeof nick, "load%d", index);
    sendFrame(c.fd, MSG_NICK, reinterpret_cast<uint8_t*>(nick), static_cast<size_t>(nickLength));
    const uint8_t version[3] = {1, 0, 2};
    sendFrame(c.fd, MSG_VERSION, version, sizeof version);
    std::vector<uint8_t> you = waitFor(c, MSG_YOU_ARE);
    c.number = static_cast<int8_t>(you[0]);
    return c;
}

// --- Payload encoding ---------------------------------------------------------

void encode(uint8_t out[3 * SEQUENCE_DIGITS], int clientIndex, uint32_t sequence) {
    for (int i = 0; i < SEQUENCE_DIGITS; ++i) {
        out[3 * i] = static_cast<uint8_t>(sequence % 10);
        out[3 * i + 1] = static_cast<uint8_t>(clientIndex % 20);
        out[3 * i + 2] = static_cast<uint8_t>(clientIndex / 20);
        sequence /= 10;
    }
}

bool decode(const std::vector<uint8_t>& message, int& clientIndex, uint32_t& sequence) {
    if (message.size() != 2 + 3 * SEQUENCE_DIGITS || message[1] != MSG_CELL_CHANGES) return false;
    sequence = 0;
    for (int i = SEQUENCE_DIGITS - 1; i >= 0; --i) sequence = sequence * 10 + message[2 + 3 * i];
    clientIndex = message[3] + 20 * message[4];
    return true;
}

double percentile(std::vector<int64_t>& sorted, double p) {
    if (sorted.empty()) return 0;
    size_t index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1));
    return static_cast<double>(sorted[index]) / 1000.0;
}

std::string defaultServerPath() {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "kobalserv";
    self[n] = '\0';
    std::string path(self);
    path = path.substr(0, path.rfind('/'));     // .../build/bench
    path = path.substr(0, path.rfind('/'));     // .../build
    return path + "/kobalserv";
}

Options parseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--clients" && value) { o.clients = atoi(value); ++i; }
        else if (arg == "--rate" && value) { o.rate = atof(value); ++i; }
        else if (arg == "--seconds" && value) { o.seconds = atof(value); ++i; }
        else if (arg == "--server" && value) { o.serverPath = value; ++i; }
        else if (arg == "--port" && value) { o.port = atoi(value); ++i; }
        else {
            fprintf(stderr, "usage: relay_load [--clients N] [--rate PER_SECOND] [--seconds S] "
                            "[--server PATH | --port PORT]\n");
            exit(2);
        }
    }
    if (o.clients < 2 || o.clients > 127 || o.rate <= 0 || o.rate > 10000 || o.seconds <= 0 ||
        o.seconds > 600) {
        fprintf(stderr, "relay_load: need 2..127 clients, a rate in (0, 10000], 0 < seconds <= 600\n");
        exit(2);
    }
    if (o.serverPath.empty()) o.serverPath = defaultServerPath();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    Options o = parseOptions(argc, argv);
    pid_t serverPid = -1;
    int port = o.port;
    if (port == 0) serverPid = startServer(o.serverPath, port);

    // Join one after another, each announced to the first client before the next.
    std::vector<LoadClient> clients;
    for (int i = 0; i < o.clients; ++i) {
        clients.push_back(connectClient(port, i));
        if (i > 0) waitFor(clients[0], MSG_NICK, clients.back().number);
    }
    std::vector<int> indexOfNumber(128, -1);
    for (int i = 0; i < o.clients; ++i) indexOfNumber[clients[i].number] = i;

    // One game, so that board events are relayed.
    sendFrame(clients[0].fd, MSG_NEW_GAME, nullptr, 0);
    for (LoadClient& c : clients) {
        waitFor(c, MSG_NEW_GAME);
        sendFrame(c.fd, MSG_BOARD_CLEARED, nullptr, 0);
    }
    for (LoadClient& c : clients) {
        for (LoadClient& other : clients) {
            if (&other != &c) waitFor(c, MSG_BOARD_CLEARED, other.number);
        }
    }

    const int64_t intervalNs = static_cast<int64_t>(1e9 / o.rate);
    const size_t perClient = static_cast<size_t>(o.rate * o.seconds) + 1;
    const int64_t start = nowNs();
    for (int i = 0; i < o.clients; ++i) {
        clients[i].sentAt.assign(perClient, 0);
        clients[i].nextSendNs = start + intervalNs * i / o.clients;   // spread the phases
    }
    std::vector<int64_t> latencies;
    latencies.reserve(perClient * static_cast<size_t>(o.clients) * static_cast<size_t>(o.clients - 1));
    std::vector<uint32_t> sentCount(static_cast<size_t>(o.clients), 0);
    uint64_t received = 0, unexpected = 0;
    int64_t lastArrival = start;
    std::vector<pollfd> fds(static_cast<size_t>(o.clients));
    std::vector<uint8_t> message;

    const int64_t sendEnd = start + static_cast<int64_t>(o.seconds * 1e9);
    const int64_t drainEnd = sendEnd + 2'000'000'000;
    for (;;) {
        int64_t now = nowNs();
        if (now >= drainEnd) break;
        uint64_t totalSent = 0;
        for (uint32_t s : sentCount) totalSent += s;
        if (now >= sendEnd && received >= totalSent * static_cast<uint64_t>(o.clients - 1)) break;

        int64_t nextSend = now < sendEnd ? sendEnd : drainEnd;
        for (int i = 0; i < o.clients; ++i) {
            LoadClient& c = clients[i];
            while (c.nextSendNs <= now && c.nextSendNs < sendEnd && sentCount[i] < perClient) {
                uint8_t payload[3 * SEQUENCE_DIGITS];
                encode(payload, i, sentCount[i]);
                c.sentAt[sentCount[i]] = nowNs();
                sendFrame(c.fd, MSG_CELL_CHANGES, payload, sizeof payload);
                ++sentCount[i];
                c.nextSendNs += intervalNs;
            }
            if (c.nextSendNs < sendEnd) nextSend = std::min(nextSend, c.nextSendNs);
        }
        for (int i = 0; i < o.clients; ++i) fds[i] = {clients[i].fd, POLLIN, 0};
        int64_t waitNs = std::max<int64_t>(0, nextSend - nowNs());
        timespec timeout{static_cast<time_t>(waitNs / 1000000000), static_cast<long>(waitNs % 1000000000)};
        if (ppoll(fds.data(), fds.size(), &timeout, nullptr) <= 0) continue;
        for (int i = 0; i < o.clients; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            LoadClient& c = clients[i];
            while (readSome(c)) {
            }
            int64_t arrived = nowNs();
            while (takeMessage(c, message)) {
                int from = -1;
                uint32_t sequence = 0;
                if (!decode(message, from, sequence) || from < 0 || from >= o.clients ||
                    sequence >= sentCount[from] ||
                    indexOfNumber[static_cast<uint8_t>(message[0]) & 0x7F] != from) {
                    ++unexpected;
                    continue;
                }
                latencies.push_back(arrived - clients[from].sentAt[sequence]);
                lastArrival = arrived;
                ++received;
            }
        }
    }
    int64_t elapsed = std::max<int64_t>(lastArrival - start, 1);

    uint64_t sent = 0;
    for (uint32_t s : sentCount) sent += s;
    uint64_t expectedReceipts = sent * static_cast<uint64_t>(o.clients - 1);
    std::sort(latencies.begin(), latencies.end());
    printf("clients %d, rate %.0f/s each, %.1f s: sent %llu, relayed receipts %llu of %llu%s\n",
           o.clients, o.rate, o.seconds, static_cast<unsigned long long>(sent),
           static_cast<unsigned long long>(received), static_cast<unsigned long long>(expectedReceipts),
           unexpected ? " (plus unexpected messages)" : "");
    printf("relayed messages per second: %.0f\n", static_cast<double>(received) / (static_cast<double>(elapsed) / 1e9));
    printf("relay latency: median %.1f us, p99 %.1f us, max %.1f us\n", percentile(latencies, 0.5),
           percentile(latencies, 0.99), latencies.empty() ? 0.0 : static_cast<double>(latencies.back()) / 1000.0);

    for (LoadClient& c : clients) close(c.fd);
    if (serverPid > 0) {
        kill(serverPid, SIGTERM);
        waitpid(serverPid, nullptr, 0);
        while (waitpid(-1, nullptr, 0) > 0) {
        }  // the log drain ends with the server
    }
    return received == expectedReceipts ? 0 : 1;
}
