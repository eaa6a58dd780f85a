// Frames and every message the client sends.
//
// Every sender builds [0][opcode][payload]; sendMessage refuses messages over
// MAX_MESSAGE_LENGTH with the console warning and otherwise hands them to
// sendFrame on clientState().sock. Results are returned for the callers that
// care (the handshake); all others ignore them.
#pragma once

#include <cstdint>

#include "platform/net.h"
#include "protocol/wire.h"

// Frames
// Writes the header (0, 0, 0, length) with one send; when that reports 4
// bytes, the message with a second send. True when both went out whole.
bool sendFrame(SocketHandle socket, const uint8_t* message, int length);
// Sends a built message on clientState().sock, or prints
// "Warnung: Das empfangene Kommando ist zu gross (%d Bytes). ..." and sends
// nothing when it is longer than 255 bytes. False when not sent whole.
bool sendMessage(const uint8_t* message, int length);

// Handshake
bool sendNick();     // nickLength bytes of nickName
bool sendVersion();  // 1.0.2

// Requests of buttons and keys (no local effect; the server's echo acts)
void sendNewGame();
void sendPauseToggle();            // Pause, or Resume while paused
void sendLevel(int32_t buttonIndex);  // level = buttonIndex - 1
void sendLevelValue(int32_t level);   // the digit keys: level 1..9
void sendMode();                   // next mode by serverVersionLevel
void sendModeButton(int32_t buttonIndex);  // the Modus button: index ignored
void sendResetScores();
void sendKillRequest(int32_t playerId);  // low byte of the player number

// Reports of the own board (the engine and the new-game handling)
void sendRowsCleared(const uint8_t* rows, int count);
void sendLines(int32_t count);
void sendRowAdded();
void sendLost();
void sendBoardCleared();
