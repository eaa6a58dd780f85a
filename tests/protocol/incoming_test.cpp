// Dispatch of received messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/client_state.h"
#include "platform/console.h"
#include "protocol/incoming.h"

namespace {

std::string handle(std::vector<uint8_t> message) {
    consoleCaptureBegin();
    handleMessage(message.data(), int(message.size()));
    return consoleCaptureEnd();
}

TEST(IncomingTest, OpcodesWithoutHandlerAreReportedAsSignedNumbers) {
    resetClientState();
    struct Case {
        uint8_t opcode;
        const char* line;
    };
    const Case cases[] = {
        {13, "Unbekannte Nachricht erhalten: 13\n"},
        {14, "Unbekannte Nachricht erhalten: 14\n"},
        {0, "Unbekannte Nachricht erhalten: 0\n"},
        {24, "Unbekannte Nachricht erhalten: 24\n"},
        {127, "Unbekannte Nachricht erhalten: 127\n"},
        {0x80, "Unbekannte Nachricht erhalten: -128\n"},
        {0xFF, "Unbekannte Nachricht erhalten: -1\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(handle({0, c.opcode}), c.line);
        EXPECT_EQ(handle({0xFE, c.opcode, 1, 2, 3}), c.line) << "with a sender and a payload";
    }
}

TEST(IncomingTest, MessagesWithoutSenderAndOpcodeAreSkippedSilently) {
    resetClientState();
    EXPECT_EQ(handle({}), "");
    EXPECT_EQ(handle({13}), "");
    handleMessage(nullptr, 0);
    handleMessage(nullptr, -1);
}

}  // namespace
