// Bad input and load: the offending message or client goes, everyone else is
// served on.
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>

#include "fixture.h"

namespace {

struct BadInput {
    const char* what;
    Bytes bytes;
};

// Sends every case from sender; afterwards a valid CellChanges must be the
// next thing the receiver hears, and the sender must still be connected.
void expectAllDropped(ServerTest* test, TestClient& sender, TestClient& receiver,
                      const std::vector<BadInput>& cases) {
    (void)test;
    for (const BadInput& bad : cases) {
        SCOPED_TRACE(bad.what);
        ASSERT_TRUE(sendRaw(sender, bad.bytes));
    }
    ASSERT_TRUE(clientSend(sender, MSG_CELL_CHANGES, {5, 5, 5}));
    std::optional<WireMessage> next = clientReceive(receiver);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->opcode, MSG_CELL_CHANGES) << describe(next);
    EXPECT_EQ(next->payload, (Bytes{5, 5, 5}));
    EXPECT_EQ(next->sender, sender.number);
    EXPECT_TRUE(receivesNothing(sender, 50)) << "nothing echoed, connection still open";
}

}  // namespace

TEST_F(ServerTest, MalformedBoardEventsAreDroppedNotForwarded) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    expectAllDropped(this, b, a, {
        {"length 0", {0, 0, 0, 0}},
        {"length 1", {0, 0, 0, 1, 0}},
        {"CellChanges empty", frame(MSG_CELL_CHANGES)},
        {"CellChanges not triples", frame(MSG_CELL_CHANGES, {1, 1, 1, 2, 2})},
        {"column 10", frame(MSG_CELL_CHANGES, {10, 0, 1})},
        {"row 20", frame(MSG_CELL_CHANGES, {0, 20, 1})},
        {"code 9", frame(MSG_CELL_CHANGES, {0, 0, 9})},
        {"negative column", frame(MSG_CELL_CHANGES, {0xFF, 0, 1})},
        {"RowsCleared empty", frame(MSG_ROWS_CLEARED)},
        {"RowsCleared row 20", frame(MSG_ROWS_CLEARED, {19, 20})},
        {"RowAdded with payload", frame(MSG_ROW_ADDED, {1})},
        {"Lost with payload", frame(MSG_LOST, {1})},
        {"Lines 0", frame(MSG_LINES, {0})},
        {"Lines without count", frame(MSG_LINES)},
        {"BoardCleared without NewGame", frame(MSG_BOARD_CLEARED)},
    });
}

TEST_F(ServerTest, MalformedRequestsAndServerOpcodesAreDropped) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    expectAllDropped(this, b, a, {
        {"Level empty", frame(MSG_LEVEL)},
        {"Level 0", frame(MSG_LEVEL, {0})},
        {"Level 10", frame(MSG_LEVEL, {10})},
        {"Mode empty", frame(MSG_MODE)},
        {"Mode 4", frame(MSG_MODE, {4})},
        {"NewGame with payload", frame(MSG_NEW_GAME, {1})},
        {"YouAre", frame(MSG_YOU_ARE)},
        {"Won", frame(MSG_WON)},
        {"PlayerJoined", frame(MSG_PLAYER_JOINED, {0, 0})},
        {"LinesSent", frame(MSG_LINES_SENT, {1, 1})},
        {"opcode 13", frame(13)},
        {"opcode 0", frame(0)},
        {"opcode 0xFF", frame(0xFF)},
        {"second Nick", frame(MSG_NICK, {'X'})},
        {"chat with escape", frame(MSG_CHAT, {0x1B, '[', '2', 'J'})},
    });
}

TEST_F(ServerTest, BoardEventsFromPlayersOutsideTheGameAreDropped) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    ASSERT_TRUE(joinPlayer(c, server.port, "Late", {&a, &b}));
    for (uint8_t opcode : {MSG_ROW_ADDED, MSG_LOST}) ASSERT_TRUE(clientSend(c, opcode));
    ASSERT_TRUE(clientSend(c, MSG_LINES, {4}));
    ASSERT_TRUE(clientSend(c, MSG_CELL_CHANGES, {1, 1, 1}));
    ASSERT_TRUE(clientSend(a, MSG_CELL_CHANGES, {2, 2, 2}));
    std::optional<WireMessage> next = clientReceive(b);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->sender, a.number) << describe(next);
    EXPECT_TRUE(receivesNothing(a, 50));
}

TEST_F(ServerTest, TooManyMalformedMessagesDropTheClient) {
    joinTwo();
    for (int i = 0; i <= 16; ++i) ASSERT_TRUE(sendRaw(b, frame(MSG_LEVEL, {0})));
    EXPECT_TRUE(closedByServer(b));
    EXPECT_TRUE(waitForLog(server, "drop player 2 (Bo): too many malformed messages"));
    EXPECT_TRUE(receiveUntil(a, MSG_PLAYER_LEFT, 2));
}

TEST_F(ServerTest, FrameLengthAbove255DropsTheClient) {
    joinThree();
    ASSERT_TRUE(sendRaw(b, {0, 0, 1, 0, 0, MSG_CHAT}));
    EXPECT_TRUE(closedByServer(b));
    EXPECT_TRUE(waitForLog(server, "drop player 2 (Bo): frame length above 255"));
    ASSERT_TRUE(receiveUntil(a, MSG_PLAYER_LEFT, 2));
    ASSERT_TRUE(clientSend(c, MSG_CHAT, {'o', 'k'}));
    EXPECT_TRUE(receiveUntil(a, MSG_CHAT, c.number));
}

TEST_F(ServerTest, PartialFramesAndManyFramesPerReadAreHandled) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    int one = 1;
    setsockopt(b.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    Bytes slow = frame(MSG_CELL_CHANGES, {1, 2, 3, 4, 5, 6});
    for (uint8_t byte : slow) {
        ASSERT_TRUE(sendRaw(b, {byte}));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::optional<WireMessage> m = clientReceive(a);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->payload, (Bytes{1, 2, 3, 4, 5, 6}));

    Bytes burst;
    for (int i = 0; i < 200; ++i) {
        Bytes f = frame(MSG_CELL_CHANGES, {static_cast<uint8_t>(i % 10), static_cast<uint8_t>(i % 20), 1});
        burst.insert(burst.end(), f.begin(), f.end());
    }
    ASSERT_TRUE(sendRaw(b, burst));
    for (int i = 0; i < 200; ++i) {
        std::optional<WireMessage> relayed = clientReceive(a);
        ASSERT_TRUE(relayed) << "message " << i;
        EXPECT_EQ(relayed->payload, (Bytes{static_cast<uint8_t>(i % 10), static_cast<uint8_t>(i % 20), 1}));
    }
}

class SmallQueueTest : public ServerTest {
    std::vector<std::string> serverArgs() override { return {"--queue-limit", "16"}; }
};

TEST_F(SmallQueueTest, AClientThatStopsReadingIsDroppedAndStallsNobody) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    ASSERT_TRUE(connectClient(c, server.port, "127.0.0.1", 2048));
    ASSERT_TRUE(clientSend(c, MSG_NICK, {'Z', 'z', 'z'}));
    for (TestClient* p : {&a, &b}) ASSERT_TRUE(receiveUntil(*p, MSG_NICK, 3));

    Bytes big;  // 84 cells, the largest CellChanges a client sends
    for (int i = 0; i < 84; ++i) {
        big.insert(big.end(), {static_cast<uint8_t>(i % 10), static_cast<uint8_t>(i % 20), 1});
    }
    const int batches = 12, perBatch = 50;
    int relayed = 0;
    bool sawLeft = false;
    for (int batch = 0; batch < batches; ++batch) {
        for (int i = 0; i < perBatch; ++i) ASSERT_TRUE(clientSend(a, MSG_CELL_CHANGES, big));
        while (relayed < (batch + 1) * perBatch) {
            std::optional<WireMessage> m = clientReceive(b);
            ASSERT_TRUE(m) << "b stalled after " << relayed;
            if (m->opcode == MSG_PLAYER_LEFT && m->sender == 3) sawLeft = true;
            if (m->opcode == MSG_CELL_CHANGES && m->sender == a.number) ++relayed;
        }
    }
    EXPECT_TRUE(waitForLog(server, "drop player 3 (Zzz): output queue full"));
    EXPECT_TRUE(sawLeft || receiveUntil(b, MSG_PLAYER_LEFT, 3));
    EXPECT_TRUE(closedByServer(c, 3000));
}

TEST_F(ServerTest, SilentConnectionsArePendingAndBoundedPerAddress) {
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    std::vector<TestClient> silent(17);
    for (int i = 0; i < 16; ++i) {
        ASSERT_TRUE(connectClient(silent[i], server.port, "127.0.0.5"));
        ASSERT_TRUE(receiveUntil(silent[i], MSG_LEVEL)) << "greeted " << i;
    }
    ASSERT_TRUE(connectClient(silent[16], server.port, "127.0.0.5"));
    EXPECT_TRUE(closedByServer(silent[16]));
    EXPECT_TRUE(waitForLog(server, "refused 127.0.0.5"));
    EXPECT_TRUE(receivesNothing(a)) << "pending connections are not announced";

    // Another address still gets in, and the pending ones hear about it.
    ASSERT_TRUE(joinPlayer(b, server.port, "Bo", {&a, &silent[0]}, "127.0.0.6"));
    // A silent connection that leaves is not reported to anyone.
    closeClient(silent[1]);
    EXPECT_TRUE(waitForLog(server, "leave player"));
    EXPECT_TRUE(receivesNothing(a, 50));
    for (TestClient& s : silent) closeClient(s);
}

class ShortHandshakeTest : public ServerTest {
    std::vector<std::string> serverArgs() override { return {"--handshake-timeout", "1"}; }
};

TEST_F(ShortHandshakeTest, ConnectionsThatNeverSayHelloAreClosed) {
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    ASSERT_TRUE(connectClient(b, server.port));
    ASSERT_TRUE(receiveUntil(b, MSG_LEVEL));
    EXPECT_TRUE(closedByServer(b, 3000));
    EXPECT_TRUE(waitForLog(server, "no Nick or Version within 1 s"));
    EXPECT_TRUE(receivesNothing(a, 50));
}

TEST_F(ServerTest, TheServerHoldsAtMost127Players) {
    std::vector<TestClient> players(128);
    for (int i = 0; i < 127; ++i) {
        std::string source = "127.0.1." + std::to_string(i + 1);
        ASSERT_TRUE(connectClient(players[i], server.port, source.c_str()));
        ASSERT_TRUE(clientSend(players[i], MSG_VERSION, {1, 0, 2}));
    }
    ASSERT_TRUE(waitForLog(server, "(127 players)", 5000));
    ASSERT_TRUE(connectClient(players[127], server.port, "127.0.2.1"));
    EXPECT_TRUE(closedByServer(players[127]));
    EXPECT_TRUE(waitForLog(server, "server full"));
    // The full server still relays.
    ASSERT_TRUE(clientSend(players[0], MSG_CHAT, {'h', 'i'}));
    EXPECT_TRUE(receiveUntil(players[126], MSG_CHAT, 1, 3000));
    for (TestClient& p : players) closeClient(p);
}

TEST(ServerDescriptors, OutOfDescriptorsTheServerServesOnAndAcceptsLater) {
    ServerProcess server;
    ASSERT_TRUE(startServer(server, {}, 8));  // 0-2, listener: room for 4 connections
    std::vector<TestClient> players(8);
    size_t joined = 0;
    while (joined < players.size()) {
        std::string nick = "p" + std::to_string(joined);
        TestClient& p = players[joined];
        ASSERT_TRUE(connectClient(p, server.port));  // the kernel completes it in the backlog
        std::optional<WireMessage> greeting = clientReceive(p, 300);
        if (!greeting) break;
        ASSERT_TRUE(clientSend(p, MSG_NICK, Bytes(nick.begin(), nick.end())));
        ++joined;
    }
    ASSERT_GE(joined, 1u);
    ASSERT_LT(joined, players.size()) << "the descriptor limit was never reached";
    EXPECT_TRUE(waitForLog(server, "accept failed"));

    // The players inside are still served.
    if (joined >= 2) {
        ASSERT_TRUE(clientSend(players[0], MSG_CHAT, {'h', 'i'}));
        EXPECT_TRUE(receiveUntil(players[1], MSG_CHAT, 1));
    }
    // One leaves; the waiting connection gets its greeting.
    closeClient(players[0]);
    std::optional<WireMessage> late = clientReceive(players[joined], 3000);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->opcode, MSG_YOU_ARE);
    for (TestClient& p : players) closeClient(p);
    stopServer(server);
}

TEST_F(ServerTest, ABurstAboveTheMessageRateIsSlowedNotLost) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    const int total = 1500;  // the budget is 1000 at once, then 500 per second
    Bytes burst;
    for (int i = 0; i < total; ++i) {
        Bytes f = frame(MSG_CELL_CHANGES, {static_cast<uint8_t>(i % 10), static_cast<uint8_t>(i / 10 % 20), 1});
        burst.insert(burst.end(), f.begin(), f.end());
    }
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(sendRaw(b, burst));
    for (int i = 0; i < total; ++i) {
        std::optional<WireMessage> m = clientReceive(a);
        ASSERT_TRUE(m) << "message " << i;
        ASSERT_EQ(m->payload, (Bytes{static_cast<uint8_t>(i % 10), static_cast<uint8_t>(i / 10 % 20), 1}));
    }
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(800)) << "500 messages over the burst take a second";
    EXPECT_EQ(serverLog(server).find("drop player"), std::string::npos);
}
