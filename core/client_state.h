// The one process-wide record of the client's state.
//
// Functions that use it say so on their first line:
//     ClientState& s = clientState();
// Tests reset it with resetClientState().
#pragma once

#include <cstdint>

#include "core/types.h"
#include "platform/net.h"

struct Surface;
struct Window;

// A player the server announced, with the mirror of its board.
struct OpponentRecord {
    int32_t playerId;   // sender byte of its PlayerJoined, sign-extended
    char nick[16];      // Windows-1252, NUL-terminated, empty until its Nick arrives
    int32_t gamesWon;   // games this player has won
    int32_t lines;      // rows it cleared in the current game
    Surface* boardDc;   // its 162 x 322 board image
    int32_t fadeStep;   // -1 idle, else the last fade step drawn (0..38)
    bool fadeActive;    // its fade timer runs
};

struct ClientState {
    // --- Process: set up by the start sequence, released at shutdown ---
    Window* mainWindow;          // the one top-level window
    SocketHandle sock;           // connection to the server
    char* serverAddress;         // heap text, dotted IPv4, at most 15 characters
    char nickName[16];           // Windows-1252; byte 15 always zero
    int32_t nickLength;          // 0..15 bytes, without the terminator
    bool addressDefaulted;       // the address dialog gave nothing: "127.0.0.1" is used
    bool running;                // the main loop goes on while set
    Surface* ownBoardDc;         // the own board image, 162 x 322
    uint32_t randomState;        // state of the one pseudo-random generator

    // --- Login dialogs ---
    bool preloadNick;            // nick dialog shown, field not yet preloaded
    bool preloadAddress;         // address dialog shown, field not yet preloaded

    // --- Connection: what the server announced ---
    bool paused;                 // last pause state the server announced
    bool suspended;              // a game was running when Pause arrived
    bool funMode;                // set by Mode
    bool speedMode;              // set by Mode
    int32_t speedLevel;          // 1..9, set by Level; indexes levelDelayMs
    int32_t myPlayerId;          // set by YouAre, 0 before
    int32_t serverVersionLevel;  // -1 until Version arrives
    int32_t gamesWon;            // own games won

    // --- One game: the own board and its pieces ---
    Board board;                 // landed cells
    PieceState currentPiece;     // the falling piece
    PieceState nextPiece;        // the preview (type only)
    bool playing;                // a piece falls under this client's control
    int32_t pendingLines;        // garbage rows received, not yet inserted
    int32_t pendingFunBlocks;    // fun blocks received, not yet dropped
    int32_t linesCleared;        // rows cleared in the current game

    // --- Layout: fixed after computeLayout ---
    Rect nextLabelRect;          // extent of the caption "Nächster Stein:"
    int32_t infoTextHeight;      // height of a three-line info text
    int32_t buttonTextHeight;    // height of one line of text (W)
    Button buttons[BUTTON_COUNT];

    // --- Input and fade-out ---
    bool shiftHeld;              // Shift is down as far as key events tell
    int32_t ownFadeStep;         // -1 idle, else the last fade step drawn
    bool ownFadeActive;          // the own fade timer runs

    // --- Opponent table ---
    OpponentRecord* opponents;   // heap array of opponentCount records
    int32_t opponentCount;
};

ClientState& clientState();
// Zeroes the record and sets the initial values: speedLevel 5, ownFadeStep -1,
// serverVersionLevel -1, nextLabelRect {6, 6, 0, 0}, no socket.
void resetClientState();
