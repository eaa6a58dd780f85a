// The fall tick, driven by the fall timer through the real window procedure
// on the headless backend's virtual clock.
#include "engine/fall.h"
#include "engine_fixture.h"
#include "ui/window_proc.h"

namespace {

class FallTick : public EngineTest {
protected:
    WindowProc procedure() override { return windowProc; }

    // Advances the virtual clock and dispatches what fell due (paints aside).
    static int advance(uint64_t ms) {
        headlessAdvance(ms);
        return dispatchTimers();
    }

    // A game as the new-game handling starts it: first piece of this type.
    void startGame(int type, int nextType) {
        ClientState& s = clientState();
        s.speedLevel = 5;
        s.nextPiece.type = type;
        s.playing = true;
        lockAndContinue(nullptr);  // restarts the timer; the piece is drawn below
        ChangeList list;
        int32_t count = 0;
        recordPiece(count, list);
        applyChanges(list, false);
        s.nextPiece.type = nextType;
        sentMessages();
        validateWindow();
    }
};

TEST_F(FallTick, EachTimerEventStepsThePieceOneRow) {
    startGame(0, 3);
    EXPECT_EQ(advance(499), 0);
    EXPECT_EQ(advance(1), 1);
    EXPECT_EQ(clientState().currentPiece.y, -1);
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{cellChanges({{3, 0, 7}, {4, 0, 7}, {5, 0, 7}, {6, 0, 7},
                                                               {3, 1, 0}, {4, 1, 0}, {5, 1, 0}, {6, 1, 0}})}));
    EXPECT_EQ(updateRect(), TEST_BOARD_AREA);
    expectImageShowsBoard(true);
    EXPECT_EQ(advance(1000), 2);
    EXPECT_EQ(clientState().currentPiece.y, 1);
    EXPECT_EQ(headlessTimerPeriod(clientState().mainWindow, FALL_TIMER_ID), 500u);
}

TEST_F(FallTick, NothingHappensWhileNotPlaying) {
    startGame(0, 3);
    clientState().playing = false;
    EXPECT_EQ(advance(1500), 3);
    fallTick();
    EXPECT_EQ(clientState().currentPiece.y, -2);
    EXPECT_TRUE(sentMessages().empty());
    EXPECT_EQ(updateRect(), NO_UPDATE);
}

TEST_F(FallTick, ThePieceLandsOnTheTickThatFindsItRestingAndTheNextOneSpawns) {
    startGame(1, 5);  // square from y -2 to its resting place at y 16
    int ticks = 0;
    while (clientState().currentPiece.type == 1 && ticks < 40) ticks += advance(500);
    // 18 steps down, then the 19th tick finds it resting and lands it.
    EXPECT_EQ(ticks, 19);
    EXPECT_EQ(cell(4, 19), 1);
    EXPECT_EQ(cell(5, 18), 1);
    std::vector<Bytes> sent = sentMessages();
    ASSERT_EQ(sent.size(), 19u) << "18 steps and the next piece; the landing step itself sends nothing";
    EXPECT_EQ(sent.back(), cellChanges({{4, 1, 5}, {5, 0, 5}, {5, 1, 5}, {6, 0, 5}}));
    EXPECT_EQ(clientState().currentPiece.type, 5);
    EXPECT_EQ(updateRect(), TEST_WHOLE_WINDOW);
    expectImageShowsBoard(true);
    // The landing restarted the timer: the next tick comes a full period later.
    EXPECT_EQ(advance(499), 0);
    EXPECT_EQ(advance(1), 1);
}

TEST_F(FallTick, ALossStopsTheTicks) {
    for (int row = 2; row < BOARD_ROWS; ++row) fillRowExcept(row, {row % 10});
    drawBoardImage();
    startGame(1, 1);  // square at rows 0 and 1 rests on row 2
    consoleCaptureBegin();
    EXPECT_EQ(advance(500), 1);
    consoleCaptureEnd();
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{{0, 5}}));
    EXPECT_FALSE(clientState().playing);
    EXPECT_EQ(advance(2000), 0);
}

}  // namespace
