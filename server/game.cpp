// The game rules: the join sequence, relaying of board events, requests
// answered to everyone, attacks, results and removals.
//
// Every message is checked against what a client can produce before anything
// is forwarded; a message of the wrong shape is dropped with a log line and
// counts against the sender's budget of malformed messages. A request that
// does not fit the game state (Resume while not paused) is refused with a log
// line; the sender is not punished, since two players can race for it.
#include <algorithm>
#include <cstring>

#include "server/server.h"

Server& server() {
    static Server instance;
    return instance;
}

// --- Recipients ------------------------------------------------------------------

int joinedCount() {
    Server& s = server();
    int count = 0;
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        if (s.slots[n].used && s.slots[n].joined) ++count;
    }
    return count;
}

// Roster, settings and results reach pending connections too (they already
// hold the roster from their greeting); game traffic reaches joined players only.
static void sendToAll(const Connection* except, bool joinedOnly, int8_t sender, uint8_t opcode,
                      const uint8_t* payload = nullptr, size_t payloadLength = 0) {
    Server& s = server();
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        Connection& c = s.slots[n];
        if (!c.used || c.closing || &c == except) continue;
        if (joinedOnly && !c.joined) continue;
        sendMessage(c, sender, opcode, payload, payloadLength);
    }
}

static int8_t senderOf(const Connection& c) { return static_cast<int8_t>(c.number); }

// The joined players in the order they joined.
static std::vector<Connection*> joinedInOrder() {
    Server& s = server();
    std::vector<Connection*> list;
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        if (s.slots[n].used && !s.slots[n].closing && s.slots[n].joined) list.push_back(&s.slots[n]);
    }
    std::sort(list.begin(), list.end(),
              [](const Connection* a, const Connection* b) { return a->joinOrder < b->joinOrder; });
    return list;
}

static void wonPayload(const Connection& c, uint8_t out[2]) {
    int won = std::min(c.gamesWon, 0xFFFF);
    out[0] = static_cast<uint8_t>(won >> 8);
    out[1] = static_cast<uint8_t>(won & 0xFF);
}

// --- Board mirrors --------------------------------------------------------------------
// The server follows every relayed board event on a board of its own, the way
// each client mirrors it, so that a newcomer to a running game can be shown
// the boards as they are instead of empty ones.

static uint8_t& cellAt(Board& board, int column, int row) {
    return board.cells[BOARD_ROWS * column + row];
}

void clearBoard(Board& board) {
    for (uint8_t& cell : board.cells) cell = EMPTY_CELL;
}

void applyBoardEvent(Board& board, const uint8_t* message, size_t length) {
    const uint8_t* payload = message + 2;
    size_t payloadLength = length - 2;
    switch (message[1]) {
    case MSG_BOARD_CLEARED:
        clearBoard(board);
        return;
    case MSG_CELL_CHANGES:
        for (size_t i = 0; i + 2 < payloadLength; i += 3) cellAt(board, payload[i], payload[i + 1]) = payload[i + 2];
        return;
    case MSG_ROWS_CLEARED:
        // Each row in turn: everything above it moves down one, row 0 empties.
        for (size_t i = 0; i < payloadLength; ++i) {
            for (int column = 0; column < BOARD_COLUMNS; ++column) {
                for (int row = payload[i]; row > 0; --row) cellAt(board, column, row) = cellAt(board, column, row - 1);
                cellAt(board, column, 0) = EMPTY_CELL;
            }
        }
        return;
    case MSG_ROW_ADDED:
        // Everything moves up one (row 0 is lost), row 19 empties; its cells follow.
        for (int column = 0; column < BOARD_COLUMNS; ++column) {
            for (int row = 0; row + 1 < BOARD_ROWS; ++row) cellAt(board, column, row) = cellAt(board, column, row + 1);
            cellAt(board, column, BOARD_ROWS - 1) = EMPTY_CELL;
        }
        return;
    default:
        return;
    }
}

// The non-empty cells of other's board as CellChanges from other, row by row.
static void sendBoardSnapshot(Connection& c, Connection& other) {
    constexpr size_t MAX_TRIPLES = (MAX_MESSAGE_LENGTH - MESSAGE_HEADER_SIZE) / 3;
    uint8_t payload[3 * MAX_TRIPLES];
    size_t used = 0;
    for (int row = 0; row < BOARD_ROWS; ++row) {
        for (int column = 0; column < BOARD_COLUMNS; ++column) {
            uint8_t code = cellAt(other.board, column, row);
            if (code == EMPTY_CELL) continue;
            payload[used++] = static_cast<uint8_t>(column);
            payload[used++] = static_cast<uint8_t>(row);
            payload[used++] = code;
            if (used == sizeof payload) {
                sendMessage(c, senderOf(other), MSG_CELL_CHANGES, payload, used);
                used = 0;
            }
        }
    }
    if (used > 0) sendMessage(c, senderOf(other), MSG_CELL_CHANGES, payload, used);
}

// --- Greeting and announcement ---------------------------------------------------

void greetConnection(Connection& c) {
    Server& s = server();
    sendMessage(c, senderOf(c), MSG_YOU_ARE);
    const uint8_t version[3] = {PROTOCOL_MAJOR, PROTOCOL_MINOR, PROTOCOL_PATCH};
    sendMessage(c, 0, MSG_VERSION, version, sizeof version);
    for (Connection* other : joinedInOrder()) {
        uint8_t won[2];
        wonPayload(*other, won);
        sendMessage(c, senderOf(*other), MSG_PLAYER_JOINED, won, sizeof won);
        if (other->hasNick) {
            sendMessage(c, senderOf(*other), MSG_NICK,
                        reinterpret_cast<const uint8_t*>(other->nick.data()), other->nick.size());
        }
    }
    uint8_t mode = static_cast<uint8_t>(s.game.mode);
    sendMessage(c, 0, MSG_MODE, &mode, 1);
    uint8_t level = static_cast<uint8_t>(s.game.level);
    sendMessage(c, 0, MSG_LEVEL, &level, 1);
    if (s.game.paused) {
        // So that the newcomer's Pause button offers Resume, as everyone else's does.
        sendMessage(c, static_cast<int8_t>(s.game.pausedBy), MSG_PAUSE);
    }
}

static void announce(Connection& c) {
    Server& s = server();
    c.joined = true;
    c.joinOrder = s.nextJoinOrder++;
    s.everJoined = true;
    logLine("join: player %d from %s (%d players)", c.number, c.peerText.c_str(), joinedCount());
    uint8_t won[2];
    wonPayload(c, won);
    sendToAll(&c, false, senderOf(c), MSG_PLAYER_JOINED, won, sizeof won);
    // The boards in play, shown now rather than in the greeting: a pending
    // connection hears no board events, so a snapshot taken at the greeting
    // would miss every change made before the Nick or Version arrived.
    for (Connection* other : joinedInOrder()) {
        if (other != &c && other->inGame) sendBoardSnapshot(c, *other);
    }
}

// --- Helpers for the handlers ------------------------------------------------------

static void malformed(Connection& c, const uint8_t* message, size_t length, const char* why) {
    logLine("player %d: dropped %s (%zu bytes): %s", c.number, messageName(message[1]), length, why);
    if (++c.badMessages > MAX_BAD_MESSAGES) {
        dropConnection(c, true, "too many malformed messages");
    }
}

static void refused(Connection& c, uint8_t opcode, const char* why) {
    logLine("%s: refused %s: %s", playerLabel(c).c_str(), messageName(opcode), why);
}

static bool hasControlBytes(const uint8_t* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (bytes[i] < 0x20 || bytes[i] == 0x7F) return true;
    }
    return false;
}

static bool funMode() { return (server().game.mode & 1) != 0; }

// Players still alive in the running game.
static int aliveCount() {
    Server& s = server();
    int alive = 0;
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        const Connection& c = s.slots[n];
        if (c.used && !c.closing && c.joined && c.inGame) ++alive;
    }
    return alive;
}

// After a loss or a departure: a game of two or more with one player left has
// a winner; a game with nobody left is over without one.
static void checkResult() {
    Server& s = server();
    if (!s.game.running) return;
    int alive = aliveCount();
    if (alive == 0) {
        s.game.running = false;
        logLine("game over: nobody left in the game");
        return;
    }
    if (alive == 1 && s.game.startedWith >= 2) {
        for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
            Connection& c = s.slots[n];
            if (!c.used || c.closing || !c.joined || !c.inGame) continue;
            s.game.running = false;
            c.gamesWon = std::min(c.gamesWon + 1, 0xFFFF);
            logLine("win: %s (games won: %d)", playerLabel(c).c_str(), c.gamesWon);
            sendToAll(nullptr, false, senderOf(c), MSG_WON);
            return;
        }
    }
}

// --- Message handlers ------------------------------------------------------------------

static void onNick(Connection& c, const uint8_t* message, size_t length) {
    const uint8_t* text = message + 2;
    size_t textLength = length - 2;
    if (textLength < 1 || textLength > MAX_NICK_LENGTH) {
        malformed(c, message, length, "a nick has 1 to 15 bytes");
        return;
    }
    if (hasControlBytes(text, textLength)) {
        malformed(c, message, length, "control bytes in the nick");
        return;
    }
    if (c.hasNick) {
        malformed(c, message, length, "the nick is sent once");
        return;
    }
    c.hasNick = true;
    c.nick.assign(reinterpret_cast<const char*>(text), textLength);
    if (!c.joined) announce(c);
    logLine("nick: player %d is \"%s\"", c.number, cp1252ToUtf8(text, textLength).c_str());
    sendToAll(&c, false, senderOf(c), MSG_NICK, text, textLength);
}

static void onVersion(Connection& c, const uint8_t* message, size_t length) {
    if (length != 5) {
        malformed(c, message, length, "Version carries 3 bytes");
        return;
    }
    if (c.versionReceived) {
        malformed(c, message, length, "the version is sent once");
        return;
    }
    c.versionReceived = true;
    if (!c.joined) announce(c);
    if (message[2] != PROTOCOL_MAJOR) {
        logLine("%s: protocol version %u.%u.%u does not match %u.x; sent VersionMismatch",
                playerLabel(c).c_str(), message[2], message[3], message[4], PROTOCOL_MAJOR);
        sendMessage(c, 0, MSG_VERSION_MISMATCH);
    }
}

static bool speedMode() { return (server().game.mode & 2) != 0; }

static void onNewGame(Connection& c) {
    Server& s = server();
    if (s.game.level != s.game.chosenLevel) {
        // Speed mode raised the level during the last game; each game starts
        // at the level the players chose.
        s.game.level = s.game.chosenLevel;
        uint8_t level = static_cast<uint8_t>(s.game.level);
        logLine("level %d again for the new game", s.game.level);
        sendToAll(nullptr, false, 0, MSG_LEVEL, &level, 1);
    }
    s.game.speedPlayedMs = 0;
    s.game.speedTickAtMs = nowMs();
    std::vector<Connection*> players = joinedInOrder();
    s.game.running = true;
    s.game.startedWith = static_cast<int>(players.size());
    for (Connection* p : players) {
        p->inGame = true;
        p->clearsOwed += 1;
    }
    logLine("game start: by %s, %d players, level %d, mode %d", playerLabel(c).c_str(),
            s.game.startedWith, s.game.level, s.game.mode);
    sendToAll(nullptr, true, senderOf(c), MSG_NEW_GAME);
    if (s.game.paused) {
        // A new game does not start paused: the Resume after the NewGame makes
        // every client run the new game (resuming before would tick the old one).
        s.game.paused = false;
        sendToAll(nullptr, false, senderOf(c), MSG_RESUME);
    }
}

static void onPause(Connection& c, uint8_t opcode) {
    Server& s = server();
    if (opcode == MSG_PAUSE) {
        if (s.game.paused) {
            refused(c, opcode, "already paused");
            return;
        }
        s.game.paused = true;
        s.game.pausedBy = c.number;
        logLine("pause: by %s", playerLabel(c).c_str());
    } else {
        if (!s.game.paused) {
            refused(c, opcode, "not paused");
            return;
        }
        s.game.paused = false;
        logLine("resume: by %s", playerLabel(c).c_str());
    }
    sendToAll(nullptr, false, senderOf(c), opcode);
}

static void onLevel(Connection& c, const uint8_t* message, size_t length) {
    if (length != 3 || message[2] < 1 || message[2] > 9) {
        malformed(c, message, length, "Level carries one byte 1..9");
        return;
    }
    server().game.level = message[2];
    server().game.chosenLevel = message[2];
    logLine("level %d: by %s", message[2], playerLabel(c).c_str());
    sendToAll(nullptr, false, senderOf(c), MSG_LEVEL, message + 2, 1);
}

static void onMode(Connection& c, const uint8_t* message, size_t length) {
    if (length != 3 || message[2] > 3) {
        malformed(c, message, length, "Mode carries one byte 0..3");
        return;
    }
    server().game.mode = message[2];
    logLine("mode %d (%s%s): by %s", message[2], (message[2] & 1) ? "fun" : "normal",
            (message[2] & 2) ? "/speed" : "", playerLabel(c).c_str());
    sendToAll(nullptr, false, senderOf(c), MSG_MODE, message + 2, 1);
}

static void onResetScores(Connection& c) {
    Server& s = server();
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) s.slots[n].gamesWon = 0;
    logLine("scores reset: by %s", playerLabel(c).c_str());
    sendToAll(nullptr, false, senderOf(c), MSG_RESET_SCORES);
}

// The shapes of the board events, as the client's engine builds them.
static const char* boardEventShapeError(const uint8_t* message, size_t length) {
    const uint8_t* payload = message + 2;
    size_t payloadLength = length - 2;
    switch (message[1]) {
    case MSG_CELL_CHANGES:
        if (payloadLength == 0 || payloadLength % 3 != 0) return "not a list of triples";
        for (size_t i = 0; i < payloadLength; i += 3) {
            if (payload[i] > 9) return "column outside 0..9";
            if (payload[i + 1] > 19) return "row outside 0..19";
            if (payload[i + 2] > 8) return "cell code outside 0..8";
        }
        return nullptr;
    case MSG_ROWS_CLEARED:
        if (payloadLength == 0 || payloadLength > 20) return "not 1 to 20 rows";
        for (size_t i = 0; i < payloadLength; ++i) {
            if (payload[i] > 19) return "row outside 0..19";
        }
        return nullptr;
    default:  // RowAdded, BoardCleared, Lost
        return payloadLength == 0 ? nullptr : "carries no payload";
    }
}

static void onBoardEvent(Connection& c, const uint8_t* message, size_t length) {
    const char* error = boardEventShapeError(message, length);
    if (error) {
        malformed(c, message, length, error);
        return;
    }
    uint8_t opcode = message[1];
    if (opcode == MSG_BOARD_CLEARED) {
        // Sent by a client for each NewGame it receives; from then on its
        // messages belong to the new game.
        if (c.clearsOwed == 0) {
            malformed(c, message, length, "BoardCleared without a NewGame");
            return;
        }
        c.clearsOwed -= 1;
    } else if (!c.inGame && c.clearsOwed == 0) {
        malformed(c, message, length, "not playing");
        return;
    } else if (opcode == MSG_LOST) {
        if (c.clearsOwed > 0) {
            // Crossed a NewGame on the wire: the loss belongs to the old game.
            logLine("%s: dropped Lost of the previous game", playerLabel(c).c_str());
            return;
        }
        c.inGame = false;
        logLine("loss: %s", playerLabel(c).c_str());
    }
    applyBoardEvent(c.board, message, length);
    sendToAll(&c, true, senderOf(c), opcode, message + 2, length - 2);
    if (opcode == MSG_LOST) checkResult();
}

// Rows a cleared count sends. Fun mode: the count goes on unchanged, each
// client turns it into a fun block (1) or 2n-3 rows. Normal mode: clearing
// two rows sends one, three send two, four or more send all of them; a single
// row (only possible when fun mode was switched off mid-landing) sends nothing.
static int forwardedCount(int cleared) {
    if (funMode()) return cleared;
    if (cleared <= 1) return 0;
    if (cleared <= 3) return cleared - 1;
    return cleared;
}

static void onLines(Connection& c, const uint8_t* message, size_t length) {
    Server& s = server();
    if (length != 3 || message[2] < 1 || message[2] > 20) {
        malformed(c, message, length, "Lines carries one count 1..20");
        return;
    }
    if (!c.inGame) {
        malformed(c, message, length, "not playing");
        return;
    }
    if (c.clearsOwed > 0) {
        logLine("%s: dropped Lines of the previous game", playerLabel(c).c_str());
        return;
    }
    int count = forwardedCount(message[2]);
    if (count == 0) {
        logLine("%s: cleared %d row in normal mode, no attack", playerLabel(c).c_str(), message[2]);
        return;
    }
    int targets = 0;
    for (int n = 1; n <= MAX_PLAYER_NUMBER; ++n) {
        Connection& t = s.slots[n];
        if (!t.used || t.closing || !t.joined || !t.inGame || &t == &c) continue;
        uint8_t amount = static_cast<uint8_t>(count);
        sendMessage(t, senderOf(c), MSG_LINES, &amount, 1);
        const uint8_t report[2] = {amount, static_cast<uint8_t>(t.number)};
        sendMessage(c, senderOf(c), MSG_LINES_SENT, report, sizeof report);
        ++targets;
    }
    logLine("attack: %s cleared %d, sends %d to %d player%s", playerLabel(c).c_str(), message[2],
            count, targets, targets == 1 ? "" : "s");
}

static void onKillRequest(Connection& c, const uint8_t* message, size_t length) {
    Server& s = server();
    int8_t target = static_cast<int8_t>(length == 3 ? message[2] : 0);
    if (length != 3 || target < 1) {
        malformed(c, message, length, "KillRequest carries one player number 1..127");
        return;
    }
    Connection& t = s.slots[target];
    if (!t.used || t.closing) {
        refused(c, MSG_KILL_REQUEST, ("no player " + std::to_string(target)).c_str());
        return;
    }
    std::vector<Connection*> players = joinedInOrder();
    bool isHost = !players.empty() && players.front() == &c;
    if (!isHost && t.peerAddress != c.peerAddress) {
        refused(c, MSG_KILL_REQUEST,
                ("only the host or a player from the same address may remove player " +
                 std::to_string(target)).c_str());
        return;
    }
    logLine("kill: %s removes %s", playerLabel(c).c_str(), playerLabel(t).c_str());
    dropConnection(t, true, "removed by player " + std::to_string(c.number));
}

static void onChat(Connection& c, const uint8_t* message, size_t length) {
    if (length < 3 || hasControlBytes(message + 2, length - 2)) {
        malformed(c, message, length, "chat text empty or with control bytes");
        return;
    }
    logLine("chat: %s: %s", playerLabel(c).c_str(), cp1252ToUtf8(message + 2, length - 2).c_str());
    sendToAll(&c, false, senderOf(c), MSG_CHAT, message + 2, length - 2);
}

static bool fixedLength(Connection& c, const uint8_t* message, size_t length) {
    if (length == 2) return true;
    malformed(c, message, length, "carries no payload");
    return false;
}

void handleClientMessage(Connection& c, const uint8_t* message, size_t length) {
    uint8_t opcode = message[1];
    if (opcode == MSG_NICK) {
        onNick(c, message, length);
        return;
    }
    if (opcode == MSG_VERSION) {
        onVersion(c, message, length);
        return;
    }
    if (!c.joined) {
        malformed(c, message, length, "Nick or Version must come first");
        return;
    }
    switch (opcode) {
    case MSG_NEW_GAME:
        if (fixedLength(c, message, length)) onNewGame(c);
        return;
    case MSG_PAUSE:
    case MSG_RESUME:
        if (fixedLength(c, message, length)) onPause(c, opcode);
        return;
    case MSG_RESET_SCORES:
        if (fixedLength(c, message, length)) onResetScores(c);
        return;
    case MSG_LEVEL: onLevel(c, message, length); return;
    case MSG_MODE: onMode(c, message, length); return;
    case MSG_CELL_CHANGES:
    case MSG_ROWS_CLEARED:
    case MSG_ROW_ADDED:
    case MSG_BOARD_CLEARED:
    case MSG_LOST: onBoardEvent(c, message, length); return;
    case MSG_LINES: onLines(c, message, length); return;
    case MSG_KILL_REQUEST: onKillRequest(c, message, length); return;
    case MSG_CHAT: onChat(c, message, length); return;
    default:
        malformed(c, message, length, "not a message a client sends");
        return;
    }
}

// --- Speed mode ------------------------------------------------------------------------------
// While speed mode is on, every speedStepSeconds of unpaused play in a running
// game raise the level by one, up to 9, announced as Level from the server.

int advanceGameClock(uint64_t now) {
    Server& s = server();
    GameState& g = s.game;
    uint64_t last = g.speedTickAtMs;
    g.speedTickAtMs = now;
    if (!g.running || g.paused || !speedMode() || g.level >= 9) return 1000;
    if (now > last) g.speedPlayedMs += now - last;
    const uint64_t step = static_cast<uint64_t>(s.options.speedStepSeconds) * 1000u;
    if (g.speedPlayedMs >= step) {
        g.speedPlayedMs -= step;
        g.level += 1;
        uint8_t level = static_cast<uint8_t>(g.level);
        logLine("speed: level %d", g.level);
        sendToAll(nullptr, false, 0, MSG_LEVEL, &level, 1);
    }
    if (g.level >= 9) return 1000;
    return static_cast<int>(std::min<uint64_t>(step - g.speedPlayedMs, 1000));
}

// --- Departure ---------------------------------------------------------------------------

void connectionGone(Connection& c) {
    if (!c.joined) return;  // never announced: nobody to tell
    sendToAll(&c, false, senderOf(c), MSG_PLAYER_LEFT);
    bool wasAlive = c.inGame;
    c.inGame = false;
    c.joined = false;
    if (wasAlive) checkResult();
    if (joinedCount() == 0) {
        // Nobody left to resume or finish it: the next arrivals find the server
        // idle, with the level and mode as they were.
        GameState& g = server().game;
        if (g.running || g.paused) logLine("everyone left: no game, not paused");
        g.running = false;
        if (g.paused) {
            // Connections still in their handshake were greeted with the Pause;
            // without the Resume their Pause button would go on sending Resume,
            // which this server then refuses, for good.
            g.paused = false;
            sendToAll(nullptr, false, 0, MSG_RESUME);
        }
    }
}
