// Frames and every message the client sends.
//
// A frame on the wire is the 4-byte header 0, 0, 0, length followed by the
// message; a message is [sender 0][opcode][payload]. Each frame goes out as
// two send calls on the blocking socket (header, then message): no retry, no
// resumption of a partial write, no queue. Only the handshake's Version looks
// at the result; a broken connection shows itself to the main loop's recv.
#include "protocol/send.h"

#include <cstring>

#include "core/client_state.h"
#include "platform/console.h"

bool sendFrame(SocketHandle socket, const uint8_t* message, int length) {
    uint8_t header[FRAME_HEADER_SIZE];
    encodeFrameHeader(header, uint8_t(length));
    if (socketSend(socket, header, FRAME_HEADER_SIZE) != FRAME_HEADER_SIZE) return false;
    return socketSend(socket, message, length) == length;
}

bool sendMessage(const uint8_t* message, int length) {
    ClientState& s = clientState();
    if (length > MAX_MESSAGE_LENGTH) {
        consolePrintf("Warnung: Das empfangene Kommando ist zu gross (%d Bytes). "
                      "Die Daten wurden nicht uebermittelt.\n",
                      length);
        return false;
    }
    return sendFrame(s.sock, message, length);
}

namespace {

// A message of sender 0, the opcode and no payload.
bool sendBare(MessageType type) {
    const uint8_t message[MESSAGE_HEADER_SIZE] = {0, type};
    return sendMessage(message, MESSAGE_HEADER_SIZE);
}

// A message of sender 0, the opcode and one payload byte.
bool sendByte(MessageType type, uint8_t value) {
    const uint8_t message[MESSAGE_HEADER_SIZE + 1] = {0, type, value};
    return sendMessage(message, MESSAGE_HEADER_SIZE + 1);
}

// A message of sender 0, the opcode and count payload bytes; the warning
// path of sendMessage covers payloads that do not fit a frame.
bool sendPayload(MessageType type, const uint8_t* payload, int count) {
    uint8_t message[MESSAGE_HEADER_SIZE + MAX_MESSAGE_LENGTH];
    int length = MESSAGE_HEADER_SIZE + count;
    if (length > MAX_MESSAGE_LENGTH) return sendMessage(nullptr, length);
    message[0] = 0;
    message[1] = type;
    if (count > 0) std::memcpy(message + MESSAGE_HEADER_SIZE, payload, size_t(count));
    return sendMessage(message, length);
}

}  // namespace

// Handshake

bool sendNick() {
    ClientState& s = clientState();
    int length = s.nickLength;
    if (length < 0) length = 0;
    if (length > int(sizeof s.nickName) - 1) length = int(sizeof s.nickName) - 1;
    return sendPayload(MSG_NICK, reinterpret_cast<const uint8_t*>(s.nickName), length);
}

bool sendVersion() {
    const uint8_t version[3] = {PROTOCOL_MAJOR, PROTOCOL_MINOR, PROTOCOL_PATCH};
    return sendPayload(MSG_VERSION, version, 3);
}

// Requests of buttons and keys

void sendNewGame() {
    sendBare(MSG_NEW_GAME);
}

void sendPauseToggle() {
    ClientState& s = clientState();
    sendBare(s.paused ? MSG_RESUME : MSG_PAUSE);
}

void sendLevel(int32_t buttonIndex) {
    sendLevelValue(buttonIndex - 1);
}

void sendLevelValue(int32_t level) {
    sendByte(MSG_LEVEL, uint8_t(level));
}

void sendMode() {
    ClientState& s = clientState();
    uint8_t mode;
    if (s.serverVersionLevel < 2) {
        // Older servers know no speed mode: fun mode toggles.
        mode = s.funMode ? 0 : 1;
    } else {
        // normal -> fun -> speed -> fun and speed -> normal
        int current = (s.funMode ? 1 : 0) + (s.speedMode ? 2 : 0);
        mode = uint8_t((current + 1) % 4);
    }
    sendByte(MSG_MODE, mode);
}

void sendModeButton(int32_t) {
    sendMode();
}

void sendResetScores() {
    sendBare(MSG_RESET_SCORES);
}

void sendKillRequest(int32_t playerId) {
    sendByte(MSG_KILL_REQUEST, uint8_t(playerId & 0xFF));
}

// Reports of the own board

void sendRowsCleared(const uint8_t* rows, int count) {
    sendPayload(MSG_ROWS_CLEARED, rows, count < 0 ? 0 : count);
}

void sendLines(int32_t count) {
    sendByte(MSG_LINES, uint8_t(count));
}

void sendRowAdded() {
    sendBare(MSG_ROW_ADDED);
}

void sendLost() {
    sendBare(MSG_LOST);
}

void sendBoardCleared() {
    sendBare(MSG_BOARD_CLEARED);
}
