// Received bytes and their frames.
//
// The main loop appends every byte it reads to a ReceiveBuffer and then hands
// each complete message on, in the order received. A frame header is read by
// its fourth byte alone (the message length, 0..255); bytes 0..2 are not
// looked at. A frame whose bytes have not all arrived stays in the buffer,
// header included, and is completed by the bytes of a later pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Called once per complete message: sender, opcode and payload, length bytes.
using MessageHandler = void (*)(const uint8_t* message, int length);

struct ReceiveBuffer {
    std::vector<uint8_t> bytes;  // held-back tail of earlier passes, then this pass's bytes
};

// Buffer
void appendReceived(ReceiveBuffer& buffer, const uint8_t* bytes, int count);
void clearReceived(ReceiveBuffer& buffer);

// Splitting
// Hands every complete frame of bytes[0..length) to handler, in order, and
// returns the number of bytes consumed: the start of the first incomplete
// frame (its header or part of it), or length when nothing is left over.
size_t splitFrames(const uint8_t* bytes, size_t length, MessageHandler handler);
// splitFrames over the buffer; the incomplete tail stays in it for the next
// pass. Returns the number of bytes held back.
size_t handleCompleteFrames(ReceiveBuffer& buffer, MessageHandler handler);
