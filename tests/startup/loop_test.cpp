// The main loop and the shutdown against a real loopback connection with the
// headless window backend.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "core/client_state.h"
#include "platform/console.h"
#include "platform/headless.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "startup/main_loop.h"
#include "tests/startup/start_fixture.h"

using namespace startfix;

namespace {

// A client that went through connection, handshake and window set-up.
class LoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.ok());
        loggedIn("Ada", "127.0.0.1", false);
        ASSERT_TRUE(connectToServer(server.port));
        ASSERT_TRUE(server.accept());
        ASSERT_TRUE(sendHandshake());
        ASSERT_EQ(server.read(handshake("Ada").size()), handshake("Ada"));
        ClientState& s = clientState();
        s.running = true;
        setUpWindow();
        ASSERT_TRUE(s.running);
        ASSERT_NE(s.mainWindow, nullptr);
    }
    void TearDown() override {
        shutDown();
        headlessReset();
        resetClientState();
    }
    // The main loop with the console captured.
    std::string runLoop() {
        consoleCaptureBegin();
        runMainLoop();
        return consoleCaptureEnd();
    }
    Listener server;
};

std::string unknown(int opcode) {
    return "Unbekannte Nachricht erhalten: " + std::to_string(opcode) + "\n";
}

TEST_F(LoopTest, ClosingTheWindowEndsTheLoopAndShutdownReleasesEverything) {
    ClientState& s = clientState();
    // Two opponents with board images: the shutdown frees them.
    s.opponents = static_cast<OpponentRecord*>(std::calloc(2, sizeof(OpponentRecord)));
    s.opponentCount = 2;
    s.opponents[0].boardDc = createSurface(162, 322);
    s.opponents[1].boardDc = createSurface(162, 322);

    headlessInject(s.mainWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(runLoop(), "");
    EXPECT_EQ(s.mainWindow, nullptr) << "the window was destroyed";
    EXPECT_TRUE(s.running) << "the loop ended on WM_QUIT, not on the connection";

    shutDown();
    EXPECT_EQ(s.sock, INVALID_SOCKET_HANDLE);
    EXPECT_EQ(s.serverAddress, nullptr);
    EXPECT_EQ(s.ownBoardDc, nullptr);
    EXPECT_EQ(s.opponents, nullptr);
    EXPECT_EQ(s.opponentCount, 0);
    EXPECT_TRUE(server.seesEnd()) << "the socket was closed";
}

TEST_F(LoopTest, FramesBeforeTheServersCloseAreHandledInOrder) {
    // Frames and the end of the connection are all waiting before the first poll.
    server.write(join({frame({0, 13}), frame({0, 24}), frame({5, 0xFF}), frame({}), frame({7})}));
    server.closeConnection();
    EXPECT_EQ(runLoop(), unknown(13) + unknown(24) + unknown(-1));
    EXPECT_FALSE(clientState().running);
    EXPECT_NE(clientState().mainWindow, nullptr) << "the window stays until the shutdown";
}

TEST_F(LoopTest, FramesSplitAcrossPassesAreJoined) {
    Bytes stream = join({frame({0, 13}), frame(Bytes(200, 0)), frame({0, 14}), frame({3, 24, 1, 2})});
    // The 200-byte message's opcode is 0.
    std::thread peer([&] {
        const size_t cuts[] = {1, 6, 9, 150, 211, 212, stream.size()};
        size_t done = 0;
        for (size_t cut : cuts) {
            server.write(Bytes(stream.begin() + long(done), stream.begin() + long(cut)));
            done = cut;
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        server.write({0, 0, 0, 9, 0, 1});  // a frame cut off by the close is dropped
        server.closeConnection();
    });
    std::string console = runLoop();
    peer.join();
    EXPECT_EQ(console, unknown(13) + unknown(0) + unknown(14) + unknown(24));
}

TEST_F(LoopTest, ALongStreamIsHandledCompletelyAndInOrder) {
    // Far more than one pass collects: 3000 frames of 255 bytes, each
    // carrying its number as the opcode (0..99, cycling), then the close.
    Bytes stream;
    std::string expected;
    for (int i = 0; i < 3000; ++i) {
        Bytes message(255, 0xAA);
        message[0] = 0;
        message[1] = uint8_t(i % 100);
        Bytes framed = frame(message);
        stream.insert(stream.end(), framed.begin(), framed.end());
        expected += unknown(i % 100);
    }
    std::thread peer([&] {
        server.write(stream);
        server.closeConnection();
    });
    std::string console = runLoop();
    peer.join();
    EXPECT_EQ(console.size(), expected.size());
    EXPECT_TRUE(console == expected);
}

}  // namespace
