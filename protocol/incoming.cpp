// Dispatch of received messages by opcode.
//
// Sender and opcode are read as signed bytes, so opcode bytes 0x80..0xFF read
// as -128..-1. Every opcode without a handler is logged as unknown and
// otherwise ignored; the next message is handled normally.
#include "protocol/incoming.h"

#include "platform/console.h"
#include "protocol/wire.h"

void handleMessage(const uint8_t* message, int length) {
    if (length < MESSAGE_HEADER_SIZE) return;  // no sender and opcode: nothing to act on
    const int32_t sender = int8_t(message[0]);
    const int32_t opcode = int8_t(message[1]);
    (void)sender;

    switch (opcode) {
    default:
        consolePrintf("Unbekannte Nachricht erhalten: %d\n", opcode);
        break;
    }
}
