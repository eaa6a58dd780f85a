// Test harness: the real kobalserv binary on an ephemeral loopback port and
// plain TCP clients that speak the frame format byte by byte.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "protocol/wire.h"

using Bytes = std::vector<uint8_t>;

// --- The server process --------------------------------------------------------
struct ServerProcess {
    pid_t pid = -1;
    uint16_t port = 0;
    std::string logPath;      // the server's stdout goes to this file
};

// Starts kobalserv --port 0 --bind 127.0.0.1 plus extra arguments and waits
// (bounded) for its listening line. false when it did not come up.
// fileLimit > 0 caps the server's open descriptors (RLIMIT_NOFILE).
bool startServer(ServerProcess& server, const std::vector<std::string>& extraArgs = {},
                 int fileLimit = 0);
// The whole log so far.
std::string serverLog(const ServerProcess& server);
// Waits up to timeoutMs for the log to contain needle.
bool waitForLog(const ServerProcess& server, const std::string& needle, int timeoutMs = 2000);
// Exit status once the process has ended within timeoutMs, else nullopt.
std::optional<int> waitForExit(ServerProcess& server, int timeoutMs);
bool serverRunning(ServerProcess& server);
// SIGTERM, bounded wait, SIGKILL as last resort; removes the log file.
void stopServer(ServerProcess& server);

// --- A client ----------------------------------------------------------------------
struct WireMessage {
    int8_t sender = 0;
    uint8_t opcode = 0;
    Bytes payload;
};

struct TestClient {
    int fd = -1;
    int number = 0;           // from YouAre
    Bytes received;           // bytes not yet taken as messages
};

// Connects to 127.0.0.1:port from the given local address (127.x.y.z).
bool connectClient(TestClient& client, uint16_t port, const char* sourceAddress = "127.0.0.1",
                   int receiveBuffer = 0);
void closeClient(TestClient& client);
bool sendRaw(TestClient& client, const Bytes& bytes);
// Frames [sender][opcode][payload] with the header 0, 0, 0, length.
Bytes frame(uint8_t opcode, const Bytes& payload = {}, uint8_t sender = 0);
bool clientSend(TestClient& client, uint8_t opcode, const Bytes& payload = {});
// Next message within timeoutMs, or nullopt.
std::optional<WireMessage> clientReceive(TestClient& client, int timeoutMs = 2000);
// Exactly n raw bytes within timeoutMs (shorter on timeout or close).
Bytes receiveBytes(TestClient& client, size_t n, int timeoutMs = 2000);
// True when no message arrives within waitMs.
bool receivesNothing(TestClient& client, int waitMs = 150);
// True when the server closed the connection within timeoutMs (data before the close is discarded).
bool closedByServer(TestClient& client, int timeoutMs = 2000);
// Skips messages until one with this opcode (and sender, when given) arrives.
std::optional<WireMessage> receiveUntil(TestClient& client, uint8_t opcode, int sender = -1000,
                                    int timeoutMs = 2000);

// Connects, sends Nick and Version, reads the greeting up to and including
// Level, and records the number from YouAre. Every client in others then
// reads its PlayerJoined and Nick for the newcomer.
bool joinPlayer(TestClient& client, uint16_t port, const std::string& nick,
                const std::vector<TestClient*>& others = {}, const char* sourceAddress = "127.0.0.1");

// A running game among players: one of them asks for NewGame, all read it,
// all send BoardCleared and each reads the others' BoardCleared.
bool startGame(const std::vector<TestClient*>& players, size_t requester = 0);

std::string describe(const std::optional<WireMessage>& message);
