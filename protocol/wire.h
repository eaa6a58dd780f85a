// The game protocol on the wire, shared by the client, the bot and the server.
//
// Frame (both directions):
//   bytes 0..3  message length, unsigned big-endian, at most 255
//               (the client writes 0, 0, 0, length and reads byte 3 alone)
//   bytes 4..   the message
//
// Message:
//   byte 0      sender: player number, signed; 0 in every message a client
//               sends, 0 from the server itself, else the player it is about
//   byte 1      opcode (MessageType)
//   bytes 2..   payload, laid out by the opcode:
//
//   Nick            the nick's bytes (Windows-1252), no terminator
//   NewGame         none
//   RowsCleared     one byte per removed row (0 = top), in order of removal
//   CellChanges     triples: column 0..9, row 0..19, cell code 0..8
//   Lost            none
//   PlayerLeft      none (server to client)
//   BoardCleared    none
//   PlayerJoined    optional 2 bytes: games won, big-endian (server to client)
//   Lines           1 byte: rows cleared (an attack)
//   RowAdded        none
//   Mode            1 byte: bit 0 fun mode, bit 1 speed mode
//   Level           1 byte: speed level 1..9
//   KillRequest     1 byte: the player number to remove (client to server)
//   Pause, Resume   none
//   Version         3 bytes: major, minor, patch
//   VersionMismatch none (server to client)
//   Chat            the text
//   YouAre          none; the sender byte is the recipient's own number
//   LinesSent       2 bytes: count, target's number (server to attacker)
//   Won             none; the sender is the winner
//   ResetScores     none
#pragma once

#include <cstdint>

constexpr int FRAME_HEADER_SIZE = 4;
constexpr int MAX_MESSAGE_LENGTH = 255;
constexpr int MESSAGE_HEADER_SIZE = 2;  // sender and opcode

enum MessageType : uint8_t {
    MSG_NICK = 1,
    MSG_NEW_GAME = 2,
    MSG_ROWS_CLEARED = 3,
    MSG_CELL_CHANGES = 4,
    MSG_LOST = 5,
    MSG_PLAYER_LEFT = 6,
    MSG_BOARD_CLEARED = 7,
    MSG_PLAYER_JOINED = 8,
    MSG_LINES = 9,
    MSG_ROW_ADDED = 10,
    MSG_MODE = 11,
    MSG_LEVEL = 12,
    // 13 is no message
    MSG_KILL_REQUEST = 14,
    MSG_PAUSE = 15,
    MSG_RESUME = 16,
    MSG_VERSION = 17,
    MSG_VERSION_MISMATCH = 18,
    MSG_CHAT = 19,
    MSG_YOU_ARE = 20,
    MSG_LINES_SENT = 21,
    MSG_WON = 22,
    MSG_RESET_SCORES = 23,
};

// Protocol version of the client (and of the server built with it).
constexpr uint8_t PROTOCOL_MAJOR = 1;
constexpr uint8_t PROTOCOL_MINOR = 0;
constexpr uint8_t PROTOCOL_PATCH = 2;

// Writes the 4-byte header of a message of the given length into header.
inline void encodeFrameHeader(uint8_t header[FRAME_HEADER_SIZE], uint8_t length) {
    header[0] = 0;
    header[1] = 0;
    header[2] = 0;
    header[3] = length;
}
