// Frames of every sender, read back byte for byte from the other end of a
// real socket pair.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/client_state.h"
#include "platform/console.h"
#include "protocol/send.h"

namespace {

using Bytes = std::vector<uint8_t>;

// clientState().sock is one end of a stream socket pair; the test reads the other.
class SendTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetClientState();
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        clientState().sock = ends[0];
        peer = ends[1];
        fcntl(peer, F_SETFL, O_NONBLOCK);
    }
    void TearDown() override {
        if (clientState().sock != INVALID_SOCKET_HANDLE) close(clientState().sock);
        if (peer >= 0) close(peer);
        resetClientState();
    }
    // Everything written so far.
    Bytes sent() {
        Bytes bytes;
        uint8_t chunk[1024];
        for (;;) {
            ssize_t count = read(peer, chunk, sizeof chunk);
            if (count <= 0) break;
            bytes.insert(bytes.end(), chunk, chunk + count);
        }
        return bytes;
    }
    int peer = -1;
};

TEST_F(SendTest, VersionFrameIsExact) {
    EXPECT_TRUE(sendVersion());
    EXPECT_EQ(sent(), (Bytes{0x00, 0x00, 0x00, 0x05, 0x00, 0x11, 0x01, 0x00, 0x02}));
}

TEST_F(SendTest, NickCarriesItsBytesWithoutTerminator) {
    ClientState& s = clientState();
    std::strcpy(s.nickName, "Ada");
    s.nickLength = 3;
    EXPECT_TRUE(sendNick());
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 5, 0, 0x01, 'A', 'd', 'a'}));
}

TEST_F(SendTest, FifteenByteNickWithHighBytesGoesOutWhole) {
    ClientState& s = clientState();
    const char nick[] = "\xE4\xF6\xFC" "abcdefghijkl";  // Windows-1252 umlauts stay bytes
    std::memcpy(s.nickName, nick, 15);
    s.nickLength = 15;
    EXPECT_TRUE(sendNick());
    Bytes expected{0, 0, 0, 17, 0, 0x01};
    expected.insert(expected.end(), nick, nick + 15);
    EXPECT_EQ(sent(), expected);
}

TEST_F(SendTest, LevelButtonsSendTheirIndexMinusOne) {
    sendLevel(2);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 3, 0, 0x0C, 0x01}));
    sendLevel(10);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 3, 0, 0x0C, 0x09}));
    sendLevelValue(7);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 3, 0, 0x0C, 0x07}));
}

TEST_F(SendTest, ModeFollowsServerVersionAndFlags) {
    struct Case {
        int32_t versionLevel;
        bool fun;
        bool speed;
        uint8_t expected;
    };
    const Case cases[] = {
        // No speed mode before a 1.0.2 server: fun mode toggles.
        {-1, false, false, 1}, {-1, true, false, 0}, {-1, false, true, 1}, {-1, true, true, 0},
        {1, false, true, 1},
        // From 1.0.2 on the four modes cycle.
        {2, false, false, 1}, {2, true, false, 2}, {2, false, true, 3}, {2, true, true, 0},
        {5, true, false, 2},
    };
    for (const Case& c : cases) {
        ClientState& s = clientState();
        s.serverVersionLevel = c.versionLevel;
        s.funMode = c.fun;
        s.speedMode = c.speed;
        sendMode();
        EXPECT_EQ(sent(), (Bytes{0, 0, 0, 3, 0, 0x0B, c.expected}))
            << "version " << c.versionLevel << " fun " << c.fun << " speed " << c.speed;
        // Sending changes no state: the server's echo does.
        EXPECT_EQ(s.funMode, c.fun);
        EXPECT_EQ(s.speedMode, c.speed);
    }
}

TEST_F(SendTest, ModeButtonIgnoresItsIndex) {
    clientState().serverVersionLevel = 2;
    sendModeButton(11);
    sendModeButton(-7);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 3, 0, 0x0B, 1, 0, 0, 0, 3, 0, 0x0B, 1}));
}

TEST_F(SendTest, PauseToggleFollowsPaused) {
    sendPauseToggle();
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 2, 0, 15}));
    clientState().paused = true;
    sendPauseToggle();
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 2, 0, 16}));
    EXPECT_TRUE(clientState().paused);
}

TEST_F(SendTest, FixedMessagesHaveSenderZeroAndTheirOpcode) {
    sendNewGame();
    sendResetScores();
    sendRowAdded();
    sendLost();
    sendBoardCleared();
    sendLines(4);
    sendKillRequest(3);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 2, 0, 2,       // NewGame
                             0, 0, 0, 2, 0, 23,      // ResetScores
                             0, 0, 0, 2, 0, 10,      // RowAdded
                             0, 0, 0, 2, 0, 5,       // Lost
                             0, 0, 0, 2, 0, 7,       // BoardCleared
                             0, 0, 0, 3, 0, 9, 4,    // Lines
                             0, 0, 0, 3, 0, 14, 3}));  // KillRequest
}

TEST_F(SendTest, KillRequestSendsTheLowByteOfTheNumber) {
    sendKillRequest(-2);
    sendKillRequest(0x1234);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 3, 0, 14, 0xFE, 0, 0, 0, 3, 0, 14, 0x34}));
}

TEST_F(SendTest, RowsClearedListsTheRowsInOrder) {
    const uint8_t rows[] = {19, 19, 7};
    sendRowsCleared(rows, 3);
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 5, 0, 3, 19, 19, 7}));
}

// A CellChanges message of n cells, as the engine builds it.
Bytes cellChanges(int cells) {
    Bytes message{0, 4};
    for (int i = 0; i < cells; ++i) {
        message.push_back(uint8_t(i % 10));
        message.push_back(uint8_t(i % 20));
        message.push_back(uint8_t(i % 9));
    }
    return message;
}

TEST_F(SendTest, LargestMessageGoesOut) {
    Bytes message = cellChanges(84);
    ASSERT_EQ(message.size(), 254u);
    consoleCaptureBegin();
    EXPECT_TRUE(sendMessage(message.data(), int(message.size())));
    EXPECT_EQ(consoleCaptureEnd(), "");
    Bytes expected{0, 0, 0, 0xFE};
    expected.insert(expected.end(), message.begin(), message.end());
    EXPECT_EQ(sent(), expected);

    Bytes full(255, 0x42);
    EXPECT_TRUE(sendMessage(full.data(), 255));
    EXPECT_EQ(sent().size(), 259u);
}

TEST_F(SendTest, OversizedMessageWarnsAndSendsNothing) {
    Bytes message = cellChanges(85);
    consoleCaptureBegin();
    EXPECT_FALSE(sendMessage(message.data(), int(message.size())));
    EXPECT_EQ(consoleCaptureEnd(),
              "Warnung: Das empfangene Kommando ist zu gross (257 Bytes). "
              "Die Daten wurden nicht uebermittelt.\n");
    EXPECT_TRUE(sent().empty());

    // The next message goes out normally: nothing of the refused one leaked.
    sendNewGame();
    EXPECT_EQ(sent(), (Bytes{0, 0, 0, 2, 0, 2}));
}

TEST_F(SendTest, FrameToAClosedPeerFailsWithoutSignal) {
    close(peer);
    peer = -1;
    // Without SIGPIPE protection the test process would die here.
    EXPECT_FALSE(sendVersion());
    const uint8_t message[] = {0, 2};
    EXPECT_FALSE(sendFrame(clientState().sock, message, 2));
}

TEST_F(SendTest, FrameOnAnInvalidSocketFails) {
    const uint8_t message[] = {0, 2};
    EXPECT_FALSE(sendFrame(INVALID_SOCKET_HANDLE, message, 2));
}

}  // namespace
