// Join sequence, relay of board events with the sender rewritten, and the
// requests every client hears back.
#include "fixture.h"

namespace {

Bytes concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(ServerTest, JoinSequenceByteForByte) {
    ASSERT_TRUE(connectClient(a, server.port));
    Bytes greetingA = concat({
        {0, 0, 0, 2, 1, MSG_YOU_ARE},
        {0, 0, 0, 5, 0, MSG_VERSION, 1, 0, 2},
        {0, 0, 0, 3, 0, MSG_MODE, 0},
        {0, 0, 0, 3, 0, MSG_LEVEL, 5},
    });
    EXPECT_EQ(receiveBytes(a, greetingA.size()), greetingA);
    ASSERT_TRUE(sendRaw(a, concat({frame(MSG_NICK, {'A', 'n', 'n', 'a'}), frame(MSG_VERSION, {1, 0, 2})})));
    ASSERT_TRUE(waitForLog(server, "join: player 1"));

    ASSERT_TRUE(connectClient(b, server.port));
    Bytes greetingB = concat({
        {0, 0, 0, 2, 2, MSG_YOU_ARE},
        {0, 0, 0, 5, 0, MSG_VERSION, 1, 0, 2},
        {0, 0, 0, 4, 1, MSG_PLAYER_JOINED, 0, 0},
        {0, 0, 0, 6, 1, MSG_NICK, 'A', 'n', 'n', 'a'},
        {0, 0, 0, 3, 0, MSG_MODE, 0},
        {0, 0, 0, 3, 0, MSG_LEVEL, 5},
    });
    EXPECT_EQ(receiveBytes(b, greetingB.size()), greetingB);
    EXPECT_TRUE(receivesNothing(a)) << "a pending connection is not announced yet";

    ASSERT_TRUE(sendRaw(b, concat({frame(MSG_NICK, {'B', 'o'}), frame(MSG_VERSION, {1, 0, 2})})));
    Bytes announced = concat({
        {0, 0, 0, 4, 2, MSG_PLAYER_JOINED, 0, 0},
        {0, 0, 0, 4, 2, MSG_NICK, 'B', 'o'},
    });
    EXPECT_EQ(receiveBytes(a, announced.size()), announced);
    EXPECT_TRUE(receivesNothing(b)) << "a client's own Nick is not sent back to it";
}

TEST_F(ServerTest, NewcomerSeesScoresSettingsAndPause) {
    joinTwo();
    ASSERT_TRUE(clientSend(a, MSG_LEVEL, {7}));
    ASSERT_TRUE(clientSend(b, MSG_MODE, {3}));
    ASSERT_TRUE(clientSend(b, MSG_PAUSE));
    ASSERT_TRUE(receiveUntil(a, MSG_PAUSE, b.number));

    ASSERT_TRUE(connectClient(c, server.port));
    Bytes expected = concat({
        {0, 0, 0, 2, 3, MSG_YOU_ARE},
        {0, 0, 0, 5, 0, MSG_VERSION, 1, 0, 2},
        {0, 0, 0, 4, 1, MSG_PLAYER_JOINED, 0, 0},
        {0, 0, 0, 6, 1, MSG_NICK, 'A', 'n', 'n', 'a'},
        {0, 0, 0, 4, 2, MSG_PLAYER_JOINED, 0, 0},
        {0, 0, 0, 4, 2, MSG_NICK, 'B', 'o'},
        {0, 0, 0, 3, 0, MSG_MODE, 3},
        {0, 0, 0, 3, 0, MSG_LEVEL, 7},
        {0, 0, 0, 2, 2, MSG_PAUSE},
    });
    EXPECT_EQ(receiveBytes(c, expected.size()), expected);
}

TEST_F(ServerTest, BoardEventsReachOthersWithTheSenderRewritten) {
    joinThree();
    ASSERT_TRUE(startGame({&a, &b, &c}));

    const std::vector<Bytes> events = {
        frame(MSG_CELL_CHANGES, {0, 0, 1, 9, 19, 8, 4, 7, 0}),
        frame(MSG_ROWS_CLEARED, {19, 18}),
        frame(MSG_ROW_ADDED),
        frame(MSG_CELL_CHANGES, {3, 19, 8}, /*sender*/ 0x55),  // a forged sender byte is overwritten
    };
    for (const Bytes& event : events) ASSERT_TRUE(sendRaw(b, event));
    for (TestClient* receiver : {&a, &c}) {
        for (const Bytes& event : events) {
            std::optional<WireMessage> m = clientReceive(*receiver);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->sender, b.number);
            EXPECT_EQ(m->opcode, event[5]);
            EXPECT_EQ(m->payload, Bytes(event.begin() + 6, event.end()));
        }
    }
    EXPECT_TRUE(receivesNothing(b)) << "board events are not echoed to their sender";
}

TEST_F(ServerTest, RequestsAreEchoedToEveryoneWithTheRequestersNumber) {
    joinTwo();
    struct Case {
        uint8_t opcode;
        Bytes payload;
    };
    const Case cases[] = {
        {MSG_LEVEL, {9}}, {MSG_LEVEL, {1}}, {MSG_MODE, {1}}, {MSG_MODE, {2}}, {MSG_MODE, {0}},
        {MSG_PAUSE, {}},  {MSG_RESUME, {}}, {MSG_RESET_SCORES, {}}, {MSG_NEW_GAME, {}},
    };
    for (const Case& request : cases) {
        SCOPED_TRACE("opcode " + std::to_string(request.opcode));
        ASSERT_TRUE(clientSend(b, request.opcode, request.payload));
        for (TestClient* receiver : {&a, &b}) {
            std::optional<WireMessage> m = clientReceive(*receiver);
            ASSERT_TRUE(m);
            EXPECT_EQ(m->sender, b.number);
            EXPECT_EQ(m->opcode, request.opcode);
            EXPECT_EQ(m->payload, request.payload);
        }
    }
}

TEST_F(ServerTest, RequestsThatMakeNoSenseAreRefused) {
    joinTwo();
    ASSERT_TRUE(clientSend(a, MSG_RESUME));
    ASSERT_TRUE(waitForLog(server, "refused Resume: not paused"));
    ASSERT_TRUE(clientSend(a, MSG_PAUSE));
    ASSERT_TRUE(receiveUntil(b, MSG_PAUSE, a.number));
    ASSERT_TRUE(receiveUntil(a, MSG_PAUSE, a.number));
    ASSERT_TRUE(clientSend(b, MSG_PAUSE));
    ASSERT_TRUE(waitForLog(server, "refused Pause: already paused"));
    EXPECT_TRUE(receivesNothing(a));
    EXPECT_TRUE(receivesNothing(b));
}

TEST_F(ServerTest, NewGameWhilePausedRunsTheNewGameUnpaused) {
    joinTwo();
    ASSERT_TRUE(clientSend(a, MSG_PAUSE));
    ASSERT_TRUE(receiveUntil(b, MSG_PAUSE, a.number));
    ASSERT_TRUE(clientSend(b, MSG_NEW_GAME));
    std::optional<WireMessage> first = receiveUntil(a, MSG_NEW_GAME, b.number);
    ASSERT_TRUE(first);
    std::optional<WireMessage> second = clientReceive(a);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->opcode, MSG_RESUME) << describe(second);
    EXPECT_EQ(second->sender, b.number);
}

TEST_F(ServerTest, ChatIsRelayedToTheOthersWithTheWritersNumber) {
    joinThree();
    ASSERT_TRUE(clientSend(c, MSG_CHAT, {'h', 'i', ' ', 0xE4}));
    for (TestClient* receiver : {&a, &b}) {
        std::optional<WireMessage> m = clientReceive(*receiver);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->sender, c.number);
        EXPECT_EQ(m->opcode, MSG_CHAT);
        EXPECT_EQ(m->payload, (Bytes{'h', 'i', ' ', 0xE4}));
    }
    EXPECT_TRUE(receivesNothing(c));
}

TEST_F(ServerTest, WrongMajorVersionGetsVersionMismatch) {
    ASSERT_TRUE(connectClient(a, server.port));
    ASSERT_TRUE(clientSend(a, MSG_NICK, {'O', 'l', 'd'}));
    ASSERT_TRUE(clientSend(a, MSG_VERSION, {2, 0, 0}));
    std::optional<WireMessage> m = receiveUntil(a, MSG_VERSION_MISMATCH);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->sender, 0);
    EXPECT_TRUE(m->payload.empty());

    ASSERT_TRUE(connectClient(b, server.port));
    ASSERT_TRUE(clientSend(b, MSG_VERSION, {1, 0, 9}));
    ASSERT_TRUE(receiveUntil(b, MSG_LEVEL));
    EXPECT_TRUE(receivesNothing(b)) << "a 1.x client is accepted";
}

TEST_F(ServerTest, ANewcomerToARunningGameSeesTheBoardsAsTheyAre) {
    joinTwo();
    ASSERT_TRUE(startGame({&a, &b}));
    const std::vector<Bytes> events = {
        frame(MSG_CELL_CHANGES, {3, 19, 2, 4, 17, 5}),
        frame(MSG_ROW_ADDED),                        // (3,18,2) (4,16,5)
        frame(MSG_CELL_CHANGES, {0, 19, 8}),
        frame(MSG_ROWS_CLEARED, {18}),               // (4,17,5) (0,19,8)
    };
    for (const Bytes& event : events) ASSERT_TRUE(sendRaw(b, event));
    ASSERT_TRUE(receiveUntil(a, MSG_ROWS_CLEARED, b.number));

    // Greeted while pending; b moves before the newcomer says hello, and the
    // board it is shown must hold that move too.
    ASSERT_TRUE(connectClient(c, server.port));
    std::optional<WireMessage> you = clientReceive(c);
    ASSERT_TRUE(you);
    c.number = you->sender;
    ASSERT_TRUE(receiveUntil(c, MSG_LEVEL, 0));
    EXPECT_TRUE(receivesNothing(c)) << "no game traffic while pending";
    ASSERT_TRUE(clientSend(b, MSG_CELL_CHANGES, {9, 19, 6}));
    ASSERT_TRUE(receiveUntil(a, MSG_CELL_CHANGES, b.number));
    ASSERT_TRUE(clientSend(c, MSG_NICK, {'C', 'e', 'm'}));
    ASSERT_TRUE(clientSend(c, MSG_VERSION, {1, 0, 2}));
    std::optional<WireMessage> snapshot = clientReceive(c);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->opcode, MSG_CELL_CHANGES) << describe(snapshot);
    EXPECT_EQ(snapshot->sender, b.number);
    EXPECT_EQ(snapshot->payload, (Bytes{4, 17, 5, 0, 19, 8, 9, 19, 6}));
    EXPECT_TRUE(receivesNothing(c)) << "a's board is empty: no snapshot for it";
    ASSERT_TRUE(receiveUntil(a, MSG_NICK, c.number));
    ASSERT_TRUE(receiveUntil(b, MSG_NICK, c.number));

    // A full board goes out in messages of at most 84 cells; a lost board is not shown.
    Bytes full;
    for (uint8_t row = 0; row < 20; ++row) {
        for (uint8_t column = 0; column < 10; ++column) full.insert(full.end(), {column, row, 8});
        if (row % 4 == 3) {
            ASSERT_TRUE(clientSend(a, MSG_CELL_CHANGES, full));
            full.clear();
        }
    }
    ASSERT_TRUE(clientSend(b, MSG_LOST));
    ASSERT_TRUE(receiveUntil(a, MSG_WON, a.number));
    ASSERT_TRUE(joinPlayer(d, server.port, "Dan", {&a, &b, &c}));
    size_t cells = 0;
    for (int part = 0; part < 3; ++part) {
        std::optional<WireMessage> m = clientReceive(d);
        ASSERT_TRUE(m);
        ASSERT_EQ(m->opcode, MSG_CELL_CHANGES);
        EXPECT_EQ(m->sender, a.number);
        EXPECT_LE(m->payload.size(), 252u);
        cells += m->payload.size() / 3;
    }
    EXPECT_EQ(cells, 200u);
    EXPECT_TRUE(receivesNothing(d)) << "nothing of the loser's board";
}

TEST_F(ServerTest, AServerEveryoneLeftIsNotPausedButKeepsItsSettings) {
    ASSERT_TRUE(joinPlayer(a, server.port, "Anna"));
    ASSERT_TRUE(clientSend(a, MSG_LEVEL, {3}));
    ASSERT_TRUE(clientSend(a, MSG_PAUSE));
    ASSERT_TRUE(receiveUntil(a, MSG_PAUSE, a.number));
    // A connection still saying hello was greeted with the Pause; it hears
    // that the pause is over.
    ASSERT_TRUE(connectClient(c, server.port));
    ASSERT_TRUE(receiveUntil(c, MSG_PAUSE, a.number));
    closeClient(a);
    ASSERT_TRUE(waitForLog(server, "everyone left"));
    ASSERT_TRUE(receiveUntil(c, MSG_PLAYER_LEFT, 1));
    std::optional<WireMessage> resumed = clientReceive(c);
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->opcode, MSG_RESUME) << describe(resumed);
    EXPECT_EQ(resumed->sender, 0) << "the server lifted it by itself";
    closeClient(c);

    ASSERT_TRUE(connectClient(b, server.port));
    Bytes expected = {
        0, 0, 0, 2, 3, MSG_YOU_ARE,
        0, 0, 0, 5, 0, MSG_VERSION, 1, 0, 2,
        0, 0, 0, 3, 0, MSG_MODE, 0,
        0, 0, 0, 3, 0, MSG_LEVEL, 3,
    };
    EXPECT_EQ(receiveBytes(b, expected.size()), expected);
    EXPECT_TRUE(receivesNothing(b)) << "no Pause in the greeting";
}
