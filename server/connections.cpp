// The listening socket, the poll loop, framing of received bytes and the
// bounded output queue of every connection.
//
// Why poll and not epoll: the server holds at most 127 players plus a short
// tail of connections it refuses at once, so the descriptor set stays small.
// The loop rebuilds its pollfd array on every pass anyway, because what it
// waits for changes all the time (POLLOUT only while a queue holds bytes,
// no POLLIN while a connection is over its message rate); with poll that is
// a plain array fill, with epoll it would be an epoll_ctl call per change.
// Both scale the same at this size, and poll keeps the loop obvious.
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "server/server.h"

uint64_t nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000u + static_cast<uint64_t>(t.tv_nsec) / 1000000u;
}

// --- Listening ----------------------------------------------------------------

bool openListener(Server& s) {
    in_addr address{};
    if (inet_pton(AF_INET, s.options.bindAddress.c_str(), &address) != 1) {
        fprintf(stderr, "kobalserv: not an IPv4 address: %s\n", s.options.bindAddress.c_str());
        return false;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fprintf(stderr, "kobalserv: socket: %s\n", strerror(errno));
        return false;
    }
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(s.options.port);
    local.sin_addr = address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        fprintf(stderr, "kobalserv: cannot bind %s:%u: %s\n", s.options.bindAddress.c_str(),
                s.options.port, strerror(errno));
        close(fd);
        return false;
    }
    if (listen(fd, LISTEN_BACKLOG) != 0) {
        fprintf(stderr, "kobalserv: listen: %s\n", strerror(errno));
        close(fd);
        return false;
    }
    socklen_t size = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
    s.listenFd = fd;
    s.boundPort = ntohs(local.sin_port);
    return true;
}

// A free player number, round-robin after the last one handed out, so that a
// number is not reused at once (a KillRequest in flight for a player who just
// left must not hit a newcomer). 0 when all 127 are taken.
static int freeNumber(Server& s) {
    for (int step = 1; step <= MAX_PLAYER_NUMBER; ++step) {
        int n = (s.lastNumber + step - 1) % MAX_PLAYER_NUMBER + 1;
        if (!s.slots[n].used) return n;
    }
    return 0;
}

static int pendingFrom(Server& s, uint32_t address) {
    int count = 0;
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        const Connection& c = s.slots[n];
        if (c.used && !c.closing && !c.joined && c.peerAddress == address) ++count;
    }
    return count;
}

static void tuneSocket(int fd) {
    // Finds peers that vanished without a FIN (power loss, cable pulled):
    // probes after 60 s of silence, gives up after 3 unanswered ones.
    int one = 1, idle = 60, interval = 10, count = 3;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // A small kernel buffer keeps the output queue the real bound on what a
    // client that stops reading can pile up, and lets it be noticed soon.
    int sendBuffer = SOCKET_SEND_BUFFER;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
}

static void acceptConnections(Server& s) {
    for (int i = 0; i < ACCEPTS_PER_PASS; ++i) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        int fd = accept4(s.listenFd, reinterpret_cast<sockaddr*>(&peer), &size,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // The connection stays in the backlog and the listener stays
                // readable; rest it a moment instead of spinning on it.
                logLine("accept failed: %s (connection left waiting)", strerror(errno));
                s.acceptPausedUntilMs = nowMs() + ACCEPT_PAUSE_MS;
                return;
            }
            continue;  // ECONNABORTED and friends: that one is gone, try the next
        }
        char text[INET_ADDRSTRLEN] = "?";
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        std::string peerText = std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
        uint32_t address = ntohl(peer.sin_addr.s_addr);

        int number = freeNumber(s);
        if (number == 0) {
            logLine("refused %s: server full (%d players)", peerText.c_str(), MAX_PLAYER_NUMBER);
            close(fd);
            continue;
        }
        if (pendingFrom(s, address) >= MAX_PENDING_PER_ADDRESS) {
            logLine("refused %s: %d connections from this address have not said hello yet",
                    peerText.c_str(), MAX_PENDING_PER_ADDRESS);
            close(fd);
            continue;
        }
        tuneSocket(fd);
        s.lastNumber = number;
        Connection& c = s.slots[number];
        c = Connection{};
        c.used = true;
        c.fd = fd;
        c.number = number;
        c.peerAddress = address;
        c.peerText = peerText;
        c.connectedAtMs = nowMs();
        c.tokensAtMs = c.connectedAtMs;
        clearBoard(c.board);
        c.input.reserve(1024);
        logLine("connect: %s is player %d", peerText.c_str(), number);
        greetConnection(c);
    }
}

// --- Output --------------------------------------------------------------------

static void verboseFrame(const char* direction, const Connection& c, const uint8_t* message,
                         size_t length) {
    char hex[3 * 24 + 4] = "";
    size_t shown = length < 24 ? length : 24;
    for (size_t i = 0; i < shown; ++i) snprintf(hex + 3 * i, 4, " %02X", message[i]);
    logLine("%s %d: %s, %zu bytes:%s%s", direction, c.number, messageName(message[1]), length,
            hex, shown < length ? " ..." : "");
}

void sendMessage(Connection& c, int8_t sender, uint8_t opcode, const uint8_t* payload,
                 size_t payloadLength) {
    if (!c.used || c.closing) return;
    size_t length = MESSAGE_HEADER_SIZE + payloadLength;
    if (length > MAX_MESSAGE_LENGTH) {
        logLine("internal: message %s of %zu bytes not sent", messageName(opcode), length);
        return;
    }
    size_t queued = c.output.size() - c.outputHead;
    if (queued + FRAME_HEADER_SIZE + length > server().options.queueLimitBytes) {
        dropConnection(c, true, "output queue full (" + std::to_string(queued) +
                                    " bytes unread): client is not reading");
        return;
    }
    if (c.outputHead > 0 && c.outputHead == c.output.size()) {
        c.output.clear();
        c.outputHead = 0;
    }
    uint8_t header[FRAME_HEADER_SIZE];
    encodeFrameHeader(header, static_cast<uint8_t>(length));
    c.output.insert(c.output.end(), header, header + FRAME_HEADER_SIZE);
    c.output.push_back(static_cast<uint8_t>(sender));
    c.output.push_back(opcode);
    if (payloadLength > 0) c.output.insert(c.output.end(), payload, payload + payloadLength);
    if (server().options.verbose) {
        verboseFrame("send", c, c.output.data() + c.output.size() - length, length);
    }
}

static void flushOutput(Connection& c) {
    while (c.outputHead < c.output.size() && !c.closing) {
        ssize_t n = send(c.fd, c.output.data() + c.outputHead, c.output.size() - c.outputHead,
                         MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.outputHead += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            dropConnection(c, false, std::string("send failed: ") + strerror(errno));
            return;
        }
    }
    if (c.outputHead == c.output.size()) {
        c.output.clear();
        c.outputHead = 0;
    } else if (c.outputHead > 64 * 1024) {
        c.output.erase(c.output.begin(), c.output.begin() + static_cast<ptrdiff_t>(c.outputHead));
        c.outputHead = 0;
    }
}

void dropConnection(Connection& c, bool byServer, const std::string& reason) {
    if (!c.used || c.closing) return;
    c.closing = true;
    c.closeIsDrop = byServer;
    c.closeReason = reason;
}

// --- Input ---------------------------------------------------------------------

static void refillTokens(Connection& c, uint64_t now) {
    if (now <= c.tokensAtMs) return;
    c.tokens += static_cast<double>(now - c.tokensAtMs) * MESSAGE_RATE / 1000.0;
    if (c.tokens > MESSAGE_BURST) c.tokens = MESSAGE_BURST;
    c.tokensAtMs = now;
}

// Hands every complete frame of c's input to the game, as far as its message
// rate allows; what is left waits for the next pass.
static void processInput(Server& s, Connection& c) {
    size_t offset = 0;
    while (!c.closing && c.tokens >= 1.0) {
        size_t available = c.input.size() - offset;
        if (available < FRAME_HEADER_SIZE) break;
        const uint8_t* frame = c.input.data() + offset;
        if (frame[0] != 0 || frame[1] != 0 || frame[2] != 0) {
            // A length above 255: nothing a client sends; the stream cannot be trusted.
            dropConnection(c, true, "frame length above 255 (header " +
                                        std::to_string(frame[0]) + " " + std::to_string(frame[1]) +
                                        " " + std::to_string(frame[2]) + " " +
                                        std::to_string(frame[3]) + ")");
            break;
        }
        size_t length = frame[3];
        if (available < FRAME_HEADER_SIZE + length) break;
        offset += FRAME_HEADER_SIZE + length;
        c.tokens -= 1.0;
        const uint8_t* message = frame + FRAME_HEADER_SIZE;
        if (s.options.verbose && length >= 2) verboseFrame("recv", c, message, length);
        if (length < MESSAGE_HEADER_SIZE) {
            logLine("player %d: dropped a message of %zu bytes (shorter than 2)", c.number, length);
            if (++c.badMessages > MAX_BAD_MESSAGES) {
                dropConnection(c, true, "too many malformed messages");
            }
            continue;
        }
        handleClientMessage(c, message, length);
    }
    if (offset > 0) c.input.erase(c.input.begin(), c.input.begin() + static_cast<ptrdiff_t>(offset));
}

static void readInput(Server& s, Connection& c) {
    uint8_t chunk[4096];
    size_t room = INPUT_CAPACITY - c.input.size();
    if (room == 0) return;
    ssize_t n = recv(c.fd, chunk, room < sizeof chunk ? room : sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
        c.input.insert(c.input.end(), chunk, chunk + n);
        processInput(s, c);
    } else if (n == 0) {
        dropConnection(c, false, "connection closed by the client");
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        dropConnection(c, false, std::string("receive failed: ") + strerror(errno));
    }
}

// --- Closing -------------------------------------------------------------------

static void closeMarked(Server& s) {
    // Closing one connection sends PlayerLeft to the others, which may overflow
    // yet another queue; repeat until no connection is marked.
    bool any = true;
    while (any) {
        any = false;
        for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
            Connection& c = s.slots[n];
            if (!c.used || !c.closing) continue;
            any = true;
            logLine("%s %s: %s", c.closeIsDrop ? "drop" : "leave", playerLabel(c).c_str(),
                    c.closeReason.c_str());
            close(c.fd);
            c.fd = -1;
            c.used = false;   // not a recipient any more
            connectionGone(c);
            c = Connection{};
        }
    }
}

// --- The loop --------------------------------------------------------------------

static volatile sig_atomic_t stopSignal = 0;
static void onStopSignal(int) { stopSignal = 1; }

static void installSignals() {
    signal(SIGPIPE, SIG_IGN);
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

static bool anyConnection(Server& s) {
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        if (s.slots[n].used) return true;
    }
    return false;
}

// Milliseconds until the next thing the loop must do without network input.
static int nextTimeout(Server& s, uint64_t now, int gameWait) {
    uint64_t wait = static_cast<uint64_t>(gameWait);
    if (s.acceptPausedUntilMs > now) wait = std::min<uint64_t>(wait, s.acceptPausedUntilMs - now);
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        const Connection& c = s.slots[n];
        if (!c.used) continue;
        if (c.tokens < 1.0) {
            uint64_t refill = static_cast<uint64_t>((1.0 - c.tokens) * 1000.0 / MESSAGE_RATE) + 1;
            if (refill < wait) wait = refill;
        }
        if (!c.joined) {
            uint64_t deadline = c.connectedAtMs + static_cast<uint64_t>(s.options.handshakeTimeoutSeconds) * 1000u;
            uint64_t left = deadline > now ? deadline - now : 0;
            if (left < wait) wait = left;
        }
    }
    // The -once deadline only counts with nobody connected (see runLoop);
    // pending connections wake the loop with their own deadlines.
    if (s.options.once && !s.everJoined && !anyConnection(s)) {
        uint64_t deadline = s.startedAtMs + static_cast<uint64_t>(s.options.idleTimeoutSeconds) * 1000u;
        uint64_t left = deadline > now ? deadline - now : 0;
        if (left < wait) wait = left;
    }
    return static_cast<int>(wait);
}

static void expireHandshakes(Server& s, uint64_t now) {
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        Connection& c = s.slots[n];
        if (!c.used || c.joined || c.closing) continue;
        // Connections accepted in this pass are younger than now: no underflow.
        if (now >= c.connectedAtMs &&
            now - c.connectedAtMs >= static_cast<uint64_t>(s.options.handshakeTimeoutSeconds) * 1000u) {
            dropConnection(c, true, "no Nick or Version within " +
                                        std::to_string(s.options.handshakeTimeoutSeconds) + " s");
        }
    }
}

int runLoop(Server& s) {
    installSignals();
    s.startedAtMs = nowMs();
    pollfd fds[MAX_PLAYER_NUMBER + 1];
    int numberAt[MAX_PLAYER_NUMBER + 1];
    int status = 0;
    int gameWait = 1000;   // until the game clock next needs a look

    for (;;) {
        if (stopSignal) {
            logLine("stopping on signal");
            break;
        }
        uint64_t now = nowMs();
        int count = 0;
        fds[count] = {now >= s.acceptPausedUntilMs ? s.listenFd : -1, POLLIN, 0};
        numberAt[count++] = 0;
        for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
            Connection& c = s.slots[n];
            if (!c.used) continue;
            refillTokens(c, now);
            short events = 0;
            if (c.tokens >= 1.0 && c.input.size() < INPUT_CAPACITY) events |= POLLIN;
            if (c.outputHead < c.output.size()) events |= POLLOUT;
            // A connection over its rate with nothing to write is left out
            // entirely, else a hang-up on it would wake the loop again and again.
            fds[count] = {events ? c.fd : -1, events, 0};
            numberAt[count++] = n;
        }
        int ready = poll(fds, static_cast<nfds_t>(count), nextTimeout(s, now, gameWait));
        if (ready < 0 && errno != EINTR) {
            logLine("poll failed: %s", strerror(errno));
            status = 1;
            break;
        }
        now = nowMs();
        if (ready > 0) {
            for (int i = 1; i < count; ++i) {
                Connection& c = s.slots[numberAt[i]];
                if (!c.used || c.closing || fds[i].revents == 0) continue;
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readInput(s, c);
                if (!c.closing && (fds[i].revents & POLLOUT)) flushOutput(c);
            }
            if (fds[0].revents & POLLIN) {
                // Departures of this pass first: a newcomer's greeting leaves
                // out players already marked for closing, so it must not get
                // their PlayerLeft either.
                closeMarked(s);
                acceptConnections(s);
            }
        }
        // Frames left over by the rate limit get their turn once tokens refill.
        for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
            Connection& c = s.slots[n];
            if (!c.used || c.closing || c.input.size() < FRAME_HEADER_SIZE) continue;
            refillTokens(c, now);
            if (c.tokens >= 1.0) processInput(s, c);
        }
        gameWait = advanceGameClock(now);
        expireHandshakes(s, now);
        closeMarked(s);
        for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
            Connection& c = s.slots[n];
            if (c.used && c.outputHead < c.output.size()) flushOutput(c);
        }
        closeMarked(s);

        if (s.options.once) {
            if (s.everJoined && joinedCount() == 0) {
                logLine("the last player left; ending (-once)");
                break;
            }
            if (!s.everJoined && !anyConnection(s) &&
                now - s.startedAtMs >= static_cast<uint64_t>(s.options.idleTimeoutSeconds) * 1000u) {
                logLine("nobody joined within %d s; ending (-once)", s.options.idleTimeoutSeconds);
                break;
            }
        }
    }
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        Connection& c = s.slots[n];
        if (c.used) {
            flushOutput(c);
            close(c.fd);
            c = Connection{};
        }
    }
    close(s.listenFd);
    s.listenFd = -1;
    return status;
}
