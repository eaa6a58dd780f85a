// kobalserv: the game server. One thread, one poll loop, plain records.
//
// Files:
//   main.cpp         command line, signals, start and end of the process
//   connections.cpp  listening socket, poll loop, input framing, output queues
//   game.cpp         what each message does: join, relay, requests, attacks, winner
//   log.cpp          timestamped log lines on stdout
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/constants.h"
#include "core/types.h"
#include "protocol/wire.h"

// --- Limits ----------------------------------------------------------------
constexpr int MAX_PLAYER_NUMBER = 127;            // sender byte is signed: 1..127
constexpr int MAX_PENDING_PER_ADDRESS = 16;       // connections without Nick/Version, per peer IPv4
constexpr int LISTEN_BACKLOG = 64;                // kernel queue of not yet accepted connections
constexpr int ACCEPTS_PER_PASS = 64;              // accept calls per loop pass
constexpr int ACCEPT_PAUSE_MS = 200;              // rest of the listener when out of descriptors
constexpr size_t INPUT_CAPACITY = 8192;           // bytes buffered per connection before framing
constexpr size_t DEFAULT_QUEUE_LIMIT_KIB = 256;   // queued output per connection before it is dropped
constexpr int SOCKET_SEND_BUFFER = 32 * 1024;    // asked of the kernel per connection (it doubles it)
constexpr double MESSAGE_RATE = 500.0;            // messages per second a connection may sustain
constexpr double MESSAGE_BURST = 1000.0;          // messages it may send at once
constexpr int MAX_BAD_MESSAGES = 16;              // malformed messages before a connection is dropped
constexpr int DEFAULT_HANDSHAKE_TIMEOUT_S = 10;   // Nick or Version must arrive within this
constexpr int DEFAULT_IDLE_TIMEOUT_S = 60;        // -once: end when nobody joined within this
constexpr int DEFAULT_LEVEL = 5;                  // the client's own starting level
constexpr int MAX_NICK_LENGTH = 15;
constexpr int DEFAULT_SPEED_STEP_S = 30;          // speed mode: play time per level step

// --- Options of the command line (process lifetime) -------------------------
struct ServerOptions {
    bool once = false;                 // end after the last player left
    uint16_t port = SERVER_PORT;       // 0: an ephemeral port
    std::string bindAddress = "0.0.0.0";
    bool verbose = false;              // one log line per frame in and out
    int idleTimeoutSeconds = DEFAULT_IDLE_TIMEOUT_S;
    int handshakeTimeoutSeconds = DEFAULT_HANDSHAKE_TIMEOUT_S;
    size_t queueLimitBytes = DEFAULT_QUEUE_LIMIT_KIB * 1024;
    int speedStepSeconds = DEFAULT_SPEED_STEP_S;
};

// --- One connection (lives from accept to close) ----------------------------
// A connection is "pending" from accept until its first valid Nick or Version;
// only then is it announced to the others and takes part in games.
struct Connection {
    bool used = false;             // slot holds a live connection
    int fd = -1;
    int number = 0;                // player number 1..127, the slot index
    uint32_t peerAddress = 0;      // IPv4, host byte order
    std::string peerText;          // "a.b.c.d:port" for the log
    uint64_t connectedAtMs = 0;    // monotonic
    bool joined = false;           // announced to the others
    uint64_t joinOrder = 0;        // increasing over the process; host = smallest
    bool hasNick = false;
    std::string nick;              // Windows-1252 bytes, 1..15
    bool versionReceived = false;
    int gamesWon = 0;

    // Game membership (one game at a time)
    bool inGame = false;           // received the NewGame of the current or a past game and not lost it
    int clearsOwed = 0;            // NewGames sent whose BoardCleared has not arrived yet
    Board board{};                 // the board as the others mirror it, for newcomers

    // Buffers
    std::vector<uint8_t> input;    // received bytes not yet framed
    std::vector<uint8_t> output;   // frames not yet written
    size_t outputHead = 0;         // first unwritten byte of output

    // Input rate
    double tokens = MESSAGE_BURST;
    uint64_t tokensAtMs = 0;

    int badMessages = 0;
    bool closing = false;          // to be closed at the end of the pass
    std::string closeReason;
    bool closeIsDrop = false;      // the server threw it out (else it left)
};

// --- The shared game (process lifetime) ------------------------------------
struct GameState {
    bool running = false;          // a game was started and has no result yet
    int startedWith = 0;           // players in it at its start
    bool paused = false;
    int pausedBy = 0;              // number of the player who paused
    int level = DEFAULT_LEVEL;     // 1..9, as the clients run it
    int chosenLevel = DEFAULT_LEVEL; // the last level a player asked for
    int mode = 0;                  // bit 0 fun, bit 1 speed
    uint64_t speedPlayedMs = 0;    // speed mode: unpaused play time of this game
    uint64_t speedTickAtMs = 0;    // when speedPlayedMs was last brought up to date
};

// --- The server (process lifetime) -----------------------------------------
struct Server {
    ServerOptions options;
    int listenFd = -1;
    uint16_t boundPort = 0;
    Connection slots[MAX_PLAYER_NUMBER + 1];   // index = player number; 0 unused
    int lastNumber = 0;            // numbers are handed out round-robin after this
    uint64_t nextJoinOrder = 1;
    bool everJoined = false;       // -once: a player has joined at some time
    uint64_t startedAtMs = 0;
    GameState game;
    bool stopRequested = false;
    uint64_t acceptPausedUntilMs = 0;  // out of descriptors: listener rests until then
};

Server& server();

// --- Log (log.cpp) -----------------------------------------------------------
void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Windows-1252 bytes as UTF-8 for the console; control bytes become '?'.
std::string cp1252ToUtf8(const uint8_t* bytes, size_t length);
const char* messageName(int opcode);
// "3 (Anna)" or "3" for log lines.
std::string playerLabel(const Connection& c);

// --- Connections (connections.cpp) ------------------------------------------
uint64_t nowMs();
bool openListener(Server& s);                 // prints the error itself
int runLoop(Server& s);                       // returns the exit status
// Queues one message (sender, opcode, payload) on c; drops c on overflow.
void sendMessage(Connection& c, int8_t sender, uint8_t opcode,
                 const uint8_t* payload = nullptr, size_t payloadLength = 0);
// Marks c for closing at the end of the pass.
void dropConnection(Connection& c, bool byServer, const std::string& reason);

// --- Game rules (game.cpp) ----------------------------------------------------
// The join sequence for a newly accepted connection.
void greetConnection(Connection& c);
// One complete message from c (length >= 2).
void handleClientMessage(Connection& c, const uint8_t* message, size_t length);
// c is going away: tell the others, leave the game, maybe decide a winner.
void connectionGone(Connection& c);
// The mirror of a board: the effect of one relayed board event.
void clearBoard(Board& board);
void applyBoardEvent(Board& board, const uint8_t* message, size_t length);
// Time-driven rules (speed mode); returns milliseconds until it needs to run again.
int advanceGameClock(uint64_t now);
int joinedCount();
