// Attacks, results, removals and departures in a running game.
#include <chrono>
#include <csignal>
#include <fstream>
#include <set>
#include <thread>

#include "fixture.h"

namespace {

// Stops the process and waits (bounded) until it is really stopped.
bool holdProcess(pid_t pid) {
    if (kill(pid, SIGSTOP) != 0) return false;
    for (int i = 0; i < 400; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        size_t close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'T') return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

}  // namespace

TEST_F(ServerTest, AttackCountsPerModeGoToEveryPlayerStillInTheGame) {
    joinThree();
    struct Case {
        uint8_t mode;
        uint8_t cleared;
        int forwarded;  // 0: no attack at all
    };
    const Case cases[] = {
        {0, 1, 0}, {0, 2, 1}, {0, 3, 2}, {0, 4, 4},   // normal: classic counts
        {1, 1, 1}, {1, 2, 2}, {1, 4, 4},              // fun: the client maps the count
    };
    for (const Case& attack : cases) {
        SCOPED_TRACE("mode " + std::to_string(attack.mode) + " cleared " + std::to_string(attack.cleared));
        ASSERT_TRUE(clientSend(a, MSG_MODE, {attack.mode}));
        for (TestClient* p : {&a, &b, &c}) ASSERT_TRUE(receiveUntil(*p, MSG_MODE, a.number));
        ASSERT_TRUE(startGame({&a, &b, &c}));

        ASSERT_TRUE(clientSend(a, MSG_LINES, {attack.cleared}));
        if (attack.forwarded == 0) {
            for (TestClient* p : {&a, &b, &c}) EXPECT_TRUE(receivesNothing(*p));
            continue;
        }
        const uint8_t count = static_cast<uint8_t>(attack.forwarded);
        for (TestClient* target : {&b, &c}) {
            std::optional<WireMessage> m = clientReceive(*target);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->opcode, MSG_LINES);
            EXPECT_EQ(m->sender, a.number);
            EXPECT_EQ(m->payload, Bytes{count});
        }
        for (TestClient* target : {&b, &c}) {
            std::optional<WireMessage> report = clientReceive(a);
            ASSERT_TRUE(report);
            EXPECT_EQ(report->opcode, MSG_LINES_SENT);
            EXPECT_EQ(report->sender, a.number);
            EXPECT_EQ(report->payload, (Bytes{count, static_cast<uint8_t>(target->number)}));
        }
        EXPECT_TRUE(receivesNothing(a, 50));
    }
}

TEST_F(ServerTest, LostPlayersAreNoTargetsAndTheLastOneStandingWins) {
    joinThree();
    ASSERT_TRUE(startGame({&a, &b, &c}));

    ASSERT_TRUE(clientSend(c, MSG_LOST));
    for (TestClient* p : {&a, &b}) {
        std::optional<WireMessage> lost = clientReceive(*p);
        ASSERT_TRUE(lost);
        EXPECT_EQ(lost->opcode, MSG_LOST);
        EXPECT_EQ(lost->sender, c.number);
    }
    ASSERT_TRUE(clientSend(a, MSG_LINES, {3}));
    ASSERT_TRUE(receiveUntil(b, MSG_LINES, a.number));
    std::optional<WireMessage> report = clientReceive(a);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->payload, (Bytes{2, static_cast<uint8_t>(b.number)}));
    EXPECT_TRUE(receivesNothing(a, 50)) << "one report: the lost player is no target";
    EXPECT_TRUE(receivesNothing(c, 50));

    ASSERT_TRUE(clientSend(b, MSG_LOST));
    ASSERT_TRUE(receiveUntil(a, MSG_LOST, b.number));
    for (TestClient* p : {&a, &b, &c}) {
        std::optional<WireMessage> won = receiveUntil(*p, MSG_WON);
        ASSERT_TRUE(won);
        EXPECT_EQ(won->sender, a.number);
    }
    // The winner plays on; its board events still reach the others.
    ASSERT_TRUE(clientSend(a, MSG_CELL_CHANGES, {1, 1, 1}));
    EXPECT_TRUE(receiveUntil(b, MSG_CELL_CHANGES, a.number));

    // A newcomer sees the win in the roster.
    ASSERT_TRUE(connectClient(d, server.port));
    std::optional<WireMessage> roster = receiveUntil(d, MSG_PLAYER_JOINED, a.number);
    ASSERT_TRUE(roster);
    EXPECT_EQ(roster->payload, (Bytes{0, 1}));

    // ResetScores zeroes it again.
    ASSERT_TRUE(clientSend(b, MSG_RESET_SCORES));
    ASSERT_TRUE(receiveUntil(b, MSG_RESET_SCORES, b.number));
    TestClient late;
    ASSERT_TRUE(connectClient(late, server.port));
    roster = receiveUntil(late, MSG_PLAYER_JOINED, a.number);
    closeClient(late);
    ASSERT_TRUE(roster);
    EXPECT_EQ(roster->payload, (Bytes{0, 0}));
}

TEST_F(ServerTest, OnePlayerGameEndsWithoutAWinner) {
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    ASSERT_TRUE(startGame({&a}));
    ASSERT_TRUE(clientSend(a, MSG_LOST));
    ASSERT_TRUE(waitForLog(server, "game over: nobody left"));
    EXPECT_TRUE(receivesNothing(a));
    EXPECT_EQ(serverLog(server).find("win:"), std::string::npos);
}

TEST_F(ServerTest, LeavingARunningGameDecidesItsWinner) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    closeClient(b);
    std::optional<WireMessage> left = clientReceive(a);
    ASSERT_TRUE(left);
    EXPECT_EQ(left->opcode, MSG_PLAYER_LEFT);
    EXPECT_EQ(left->sender, 2);
    std::optional<WireMessage> won = clientReceive(a);
    ASSERT_TRUE(won);
    EXPECT_EQ(won->opcode, MSG_WON);
    EXPECT_EQ(won->sender, a.number);
    EXPECT_TRUE(waitForLog(server, "leave player 2 (Bo): connection closed by the client"));
}

TEST_F(ServerTest, MessagesOfThePreviousGameDoNotCountInTheNewOne) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    ASSERT_TRUE(clientSend(a, MSG_NEW_GAME));
    // b's Lost and Lines were on the wire before it saw the new NewGame.
    ASSERT_TRUE(clientSend(b, MSG_LINES, {4}));
    ASSERT_TRUE(clientSend(b, MSG_LOST));
    ASSERT_TRUE(receiveUntil(a, MSG_NEW_GAME, a.number));
    EXPECT_TRUE(receivesNothing(a)) << "no stale attack, no stale loss, no win";
    ASSERT_TRUE(clientSend(b, MSG_BOARD_CLEARED));
    ASSERT_TRUE(receiveUntil(a, MSG_BOARD_CLEARED, b.number));
    ASSERT_TRUE(clientSend(b, MSG_LOST));
    ASSERT_TRUE(receiveUntil(a, MSG_LOST, b.number));
}

TEST_F(ServerTest, HostMayRemoveAnyoneOthersOnlyPlayersFromTheirOwnAddress) {
    ASSERT_TRUE(joinPlayer(a, server.port, "Host"));
    ASSERT_TRUE(joinPlayer(b, server.port, "Guest", {&a}, "127.0.0.2"));
    ASSERT_TRUE(joinPlayer(c, server.port, "GuestBot", {&a, &b}, "127.0.0.2"));
    ASSERT_TRUE(joinPlayer(d, server.port, "Other", {&a, &b, &c}, "127.0.0.3"));

    // Guest may not remove the host, nor a player from another address, nor nobody.
    for (int target : {a.number, d.number, 99, 0}) {
        ASSERT_TRUE(clientSend(b, MSG_KILL_REQUEST, {static_cast<uint8_t>(target)}));
    }
    ASSERT_TRUE(waitForLog(server, "dropped KillRequest"));
    for (TestClient* p : {&a, &b, &c, &d}) EXPECT_TRUE(receivesNothing(*p, 50));

    // Guest removes its own bot.
    ASSERT_TRUE(clientSend(b, MSG_KILL_REQUEST, {static_cast<uint8_t>(c.number)}));
    EXPECT_TRUE(closedByServer(c));
    for (TestClient* p : {&a, &b, &d}) {
        std::optional<WireMessage> left = clientReceive(*p);
        ASSERT_TRUE(left);
        EXPECT_EQ(left->opcode, MSG_PLAYER_LEFT);
        EXPECT_EQ(left->sender, 3);
    }
    // The host removes Other.
    ASSERT_TRUE(clientSend(a, MSG_KILL_REQUEST, {static_cast<uint8_t>(d.number)}));
    EXPECT_TRUE(closedByServer(d));
    for (TestClient* p : {&a, &b}) EXPECT_TRUE(receiveUntil(*p, MSG_PLAYER_LEFT, 4));
    EXPECT_TRUE(waitForLog(server, "kill: player 1 (Host) removes player 4 (Other)"));
}

TEST_F(ServerTest, RemovingAPlayerFromARunningGameDecidesItsWinner) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    ASSERT_TRUE(clientSend(a, MSG_KILL_REQUEST, {static_cast<uint8_t>(b.number)}));
    EXPECT_TRUE(closedByServer(b));
    ASSERT_TRUE(receiveUntil(a, MSG_PLAYER_LEFT, 2));
    std::optional<WireMessage> won = clientReceive(a);
    ASSERT_TRUE(won);
    EXPECT_EQ(won->opcode, MSG_WON);
    EXPECT_EQ(won->sender, a.number);
}

TEST_F(ServerTest, ANewcomerAcceptedAsAPlayerLeavesHearsOnlyOfPlayersItWasTold) {
    joinTwo();
    // Held still, the server meets the departure and the new connection in
    // one pass of its loop.
    ASSERT_TRUE(holdProcess(server.pid));
    closeClient(b);
    bool connected = connectClient(c, server.port);  // completed by the kernel
    ASSERT_EQ(kill(server.pid, SIGCONT), 0);
    ASSERT_TRUE(connected);
    ASSERT_TRUE(receiveUntil(a, MSG_PLAYER_LEFT, 2));

    std::set<int> known;
    while (std::optional<WireMessage> m = clientReceive(c, 300)) {
        if (m->opcode == MSG_PLAYER_JOINED) known.insert(m->sender);
        if (m->opcode == MSG_PLAYER_LEFT) {
            EXPECT_TRUE(known.count(m->sender)) << "PlayerLeft for player " << int(m->sender)
                                                << ", never announced to this client";
            known.erase(m->sender);
        }
    }
    EXPECT_EQ(known, (std::set<int>{a.number}));
}

TEST_F(ServerTest, PlayerNumbersAreNotReusedAtOnce) {
    joinTwo();
    closeClient(b);
    ASSERT_TRUE(receiveUntil(a, MSG_PLAYER_LEFT, 2));
    ASSERT_TRUE(joinPlayer(c, server.port, "Cem", {&a}));
    EXPECT_EQ(c.number, 3);
}

class FastSpeedModeTest : public ServerTest {
    std::vector<std::string> serverArgs() override { return {"--speed-step", "1"}; }
};

TEST_F(FastSpeedModeTest, SpeedModeRaisesTheLevelDuringUnpausedPlayOnly) {
    joinTwo();
    ASSERT_TRUE(clientSend(a, MSG_LEVEL, {7}));
    ASSERT_TRUE(clientSend(a, MSG_MODE, {2}));
    for (TestClient* p : {&a, &b}) ASSERT_TRUE(receiveUntil(*p, MSG_MODE, a.number));
    ASSERT_TRUE(startGame({&a, &b}));
    ASSERT_TRUE(clientSend(b, MSG_PAUSE));
    ASSERT_TRUE(receiveUntil(a, MSG_PAUSE, b.number));
    ASSERT_TRUE(receiveUntil(b, MSG_PAUSE, b.number));
    EXPECT_TRUE(receivesNothing(a, 1300)) << "paused time does not count";

    ASSERT_TRUE(clientSend(b, MSG_RESUME));
    for (TestClient* p : {&a, &b}) {
        ASSERT_TRUE(receiveUntil(*p, MSG_RESUME, b.number));
        std::optional<WireMessage> raised = clientReceive(*p, 1600);
        ASSERT_TRUE(raised);
        EXPECT_EQ(raised->opcode, MSG_LEVEL);
        EXPECT_EQ(raised->sender, 0);
        EXPECT_EQ(raised->payload, Bytes{8});
    }
    // The next game starts at the level the players chose.
    ASSERT_TRUE(clientSend(a, MSG_NEW_GAME));
    std::optional<WireMessage> reset = clientReceive(b);
    ASSERT_TRUE(reset);
    EXPECT_EQ(reset->opcode, MSG_LEVEL) << describe(reset);
    EXPECT_EQ(reset->payload, Bytes{7});
    EXPECT_TRUE(receiveUntil(b, MSG_NEW_GAME, a.number));
}
