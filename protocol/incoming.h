// Handling of every message the server sends.
#pragma once

#include <cstdint>

// Handles one complete message: byte 0 the sender (signed player number, 0 the
// server), byte 1 the opcode (signed), then the payload; length counts them
// all. The bytes are only read. Messages shorter than sender and opcode are
// skipped without a word.
void handleMessage(const uint8_t* message, int length);
