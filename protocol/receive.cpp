// Received bytes and their frames: see protocol/receive.h.
//
// A frame is at most 4 + 255 bytes, so the tail held back between passes is
// never longer than 258 bytes.
#include "protocol/receive.h"

#include "protocol/wire.h"

void appendReceived(ReceiveBuffer& buffer, const uint8_t* bytes, int count) {
    if (count <= 0) return;
    buffer.bytes.insert(buffer.bytes.end(), bytes, bytes + count);
}

void clearReceived(ReceiveBuffer& buffer) {
    buffer.bytes.clear();
}

size_t splitFrames(const uint8_t* bytes, size_t length, MessageHandler handler) {
    size_t position = 0;
    while (length - position >= size_t(FRAME_HEADER_SIZE)) {
        size_t messageLength = bytes[position + FRAME_HEADER_SIZE - 1];
        size_t start = position + FRAME_HEADER_SIZE;
        if (length - start < messageLength) break;  // the rest comes in a later pass
        handler(bytes + start, int(messageLength));
        position = start + messageLength;
    }
    return position;
}

size_t handleCompleteFrames(ReceiveBuffer& buffer, MessageHandler handler) {
    size_t consumed = splitFrames(buffer.bytes.data(), buffer.bytes.size(), handler);
    buffer.bytes.erase(buffer.bytes.begin(), buffer.bytes.begin() + ptrdiff_t(consumed));
    return buffer.bytes.size();
}
