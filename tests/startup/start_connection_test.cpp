// The start sequence from the connection on: connect (with the local-server
// fallback), handshake, window set-up, against real loopback sockets.
#include <gtest/gtest.h>

#include <thread>

#include "core/client_state.h"
#include "platform/console.h"
#include "platform/headless.h"
#include "platform/window.h"
#include "startup/main_loop.h"
#include "tests/startup/start_fixture.h"
#include "ui/layout.h"

using namespace startfix;

namespace {

const char* const LOCAL_SERVER_LINE = "Versuche, einen kobal-Server auf localhost zu starten.\n";

class StartConnectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        shutDown();
        headlessReset();
        headlessUseRealClock(false);
        resetClientState();
    }
};

TEST_F(StartConnectionTest, HandshakeGoesOutInOrderThenServerCloseEndsWithZero) {
    Listener server;
    ASSERT_TRUE(server.ok());
    loggedIn("Ada", "127.0.0.1", false);
    Bytes received;
    std::thread peer([&] {
        if (!server.accept()) return;
        received = server.read(handshake("Ada").size());
        server.closeConnection();
    });
    consoleCaptureBegin();
    int status = runConnected(server.port);
    std::string console = consoleCaptureEnd();
    peer.join();

    EXPECT_EQ(status, 0);
    EXPECT_EQ(received, handshake("Ada"));
    EXPECT_EQ(console, "");
    // Everything was released.
    ClientState& s = clientState();
    EXPECT_EQ(s.sock, INVALID_SOCKET_HANDLE);
    EXPECT_EQ(s.serverAddress, nullptr);
    EXPECT_EQ(s.ownBoardDc, nullptr);
    EXPECT_EQ(s.mainWindow, nullptr);
}

TEST_F(StartConnectionTest, FifteenCharacterNickMakesASeventeenByteMessage) {
    Listener server;
    ASSERT_TRUE(server.ok());
    loggedIn("abcdefghijklmno", "127.0.0.1", false);
    ASSERT_TRUE(connectToServer(server.port));
    ASSERT_TRUE(server.accept());
    EXPECT_TRUE(sendHandshake());
    Bytes bytes = server.read(handshake("abcdefghijklmno").size());
    EXPECT_EQ(bytes, handshake("abcdefghijklmno"));
    EXPECT_EQ(bytes[3], 17);
}

TEST_F(StartConnectionTest, UserGivenAddressThatNobodyAnswersEndsSilently) {
    ServerStandIn standIn;
    Listener server;  // listens, but the address below never reaches it
    ASSERT_TRUE(server.ok());
    struct Case {
        const char* address;
        uint16_t port;
    };
    const Case cases[] = {
        {"127.0.0.1", closedPort()},
        {"localhost", server.port},  // a host name is never resolved
        {"127.0.0.1.5", server.port},
    };
    for (const Case& c : cases) {
        loggedIn("Ada", c.address, false);
        consoleCaptureBegin();
        EXPECT_EQ(runConnected(c.port), 0) << c.address;
        EXPECT_EQ(consoleCaptureEnd(), "") << c.address;
        EXPECT_EQ(clientState().sock, INVALID_SOCKET_HANDLE);
        EXPECT_EQ(clientState().serverAddress, nullptr);
        EXPECT_EQ(headlessLastWindow(), nullptr) << "no window for a failed start";
    }
    pollfd entry{server.socket, POLLIN, 0};
    EXPECT_EQ(poll(&entry, 1, 0), 0) << "nobody connected to the listener";
    EXPECT_EQ(standIn.startedWith(300), "") << "no server was started";
}

TEST_F(StartConnectionTest, DefaultedAddressStartsLocalServerWaitsAndGivesUpAfterOneRetry) {
    ServerStandIn standIn;
    loggedIn("Ada", "127.0.0.1", true);
    uint64_t before = clockMs();
    consoleCaptureBegin();
    EXPECT_EQ(runConnected(closedPort()), 0);
    EXPECT_EQ(consoleCaptureEnd(), LOCAL_SERVER_LINE);
    EXPECT_GE(clockMs() - before, 1000u);
    EXPECT_EQ(standIn.startedWith(5000), "-once");
    EXPECT_EQ(clientState().sock, INVALID_SOCKET_HANDLE);
}

TEST_F(StartConnectionTest, DefaultedAddressConnectsOnTheRetryAfterTheServerStarted) {
    ServerStandIn standIn;
    uint16_t port = closedPort();
    loggedIn("Bo", "127.0.0.1", true);
    headlessUseRealClock(true);  // the one-second wait is real: the "server" starts meanwhile
    Bytes received;
    std::thread peer([&] {
        // Plays the started server: listens once the stand-in has run.
        if (standIn.startedWith(5000) != "-once") return;
        Listener server(port);
        if (!server.ok() || !server.accept()) return;
        received = server.read(handshake("Bo").size());
        server.closeConnection();
    });
    consoleCaptureBegin();
    EXPECT_EQ(runConnected(port), 0);
    EXPECT_EQ(consoleCaptureEnd(), LOCAL_SERVER_LINE);
    peer.join();
    EXPECT_EQ(received, handshake("Bo"));
}

TEST_F(StartConnectionTest, WindowSetUpMakesWindowTimerAndBoardImage) {
    Listener server;
    ASSERT_TRUE(server.ok());
    loggedIn("Ada", "127.0.0.1", false);
    ASSERT_TRUE(connectToServer(server.port));
    ClientState& s = clientState();
    s.running = true;
    setUpWindow();
    ASSERT_TRUE(s.running);
    ASSERT_NE(s.mainWindow, nullptr);

    EXPECT_EQ(windowClientWidth(s.mainWindow), windowWidthFor(0));
    EXPECT_EQ(windowClientHeight(s.mainWindow), windowHeight());
    EXPECT_TRUE(headlessTimerActive(s.mainWindow, FALL_TIMER_ID));
    EXPECT_EQ(headlessTimerPeriod(s.mainWindow, FALL_TIMER_ID), 500u);
    EXPECT_EQ(headlessUpdateRect(s.mainWindow), (Rect{0, 0, windowWidthFor(0), windowHeight()}));

    // The own board image: grey inside a one-pixel black outline.
    ASSERT_NE(s.ownBoardDc, nullptr);
    const Surface& board = *s.ownBoardDc;
    EXPECT_EQ(board.width, 162);
    EXPECT_EQ(board.height, 322);
    const Color grey = rgb(178, 178, 178);
    for (auto [x, y] : {std::pair{0, 0}, {161, 0}, {0, 321}, {161, 321}, {80, 0}, {0, 160}, {161, 160}, {80, 321}}) {
        EXPECT_EQ(getPixel(board, x, y), 0u) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{1, 1}, {160, 1}, {1, 320}, {160, 320}, {80, 160}}) {
        EXPECT_EQ(getPixel(board, x, y), grey) << x << "," << y;
    }

    // The first paint: background everywhere but on the board image.
    WindowEvent event{};
    do {
        ASSERT_TRUE(peekEvent(event));
        dispatchEvent(event);
    } while (event.code != WM_PAINT);
    const Surface& frame = *windowFrame(s.mainWindow);
    int32_t left = boardLeft();
    EXPECT_EQ(getPixel(frame, 0, 0), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, left - 1, 6), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, left, 5), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, left, 6), 0u);
    EXPECT_EQ(getPixel(frame, left + 1, 7), grey);
    EXPECT_EQ(getPixel(frame, left + 161, 327), 0u);
    EXPECT_EQ(getPixel(frame, left + 162, 327), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, left + 161, 328), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, windowWidthFor(0) - 1, windowHeight() - 1), BACKGROUND_COLOR);
    EXPECT_EQ(headlessUpdateRect(s.mainWindow), (Rect{0, 0, 0, 0}));
}

}  // namespace
