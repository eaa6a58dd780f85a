// Landing: cleared rows, attacks in both directions, the loss of a game, the
// fun-mode start patterns and the start of the own board.
#include <array>

#include "engine_fixture.h"

namespace {

const Bytes LOST = {0, 5};
const Bytes ROW_ADDED = {0, 10};
const Bytes BOARD_CLEARED = {0, 7};

class LandingTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ClientState& s = clientState();
        s.playing = true;
        s.speedLevel = 5;
        setTimer(s.mainWindow, FALL_TIMER_ID, 500);
    }

    // Draws the falling piece into the image, as its spawn would have.
    static void drawPiece() {
        ClientState& s = clientState();
        const PieceState& p = s.currentPiece;
        for (const ShapeOffset& o : SHAPE_TABLE[p.type][p.rotation])
            drawCell(*s.ownBoardDc, p.type, p.x + o.dx, p.y + o.dy, 1, 1);
    }

    // The board as set up so far is shown, the piece falls at (x, y), the
    // window is valid and nothing has been sent yet.
    void prepare(int type, int x, int y, int rotation, int nextType = 1) {
        placePiece(type, x, y, rotation);
        clientState().nextPiece.type = nextType;
        drawBoardImage();
        drawPiece();
        validateWindow();
        sentMessages();
    }

    // The drop key's sequence.
    static void dropAndLand() {
        ChangeList list;
        hardDrop(list);
        applyChanges(list, false);
        lockAndContinue(list);
    }

    // The message that shows a newly spawned piece of this type.
    static Bytes spawnMessage(int type) {
        Bytes message{0, 4};
        for (const ShapeOffset& o : SHAPE_TABLE[type][0]) {
            message.push_back(uint8_t(SPAWN_X + o.dx));
            message.push_back(uint8_t(SPAWN_Y + o.dy));
            message.push_back(uint8_t(type));
        }
        return message;
    }

    static bool fadeStarted() {
        ClientState& s = clientState();
        return s.ownFadeActive && s.ownFadeStep == -1 &&
               headlessTimerPeriod(s.mainWindow, OWN_FADE_TIMER_ID) == FADE_PERIOD_MS;
    }
};

// The garbage row fillBottomRow makes from the generator state given, which
// is advanced past its draws (the client's generator is left as it was): one
// draw per column, a second for a filled column's colour, and for a full row
// one more for the cell emptied again.
std::array<int, BOARD_COLUMNS> predictGarbage(uint32_t& state) {
    ClientState& s = clientState();
    uint32_t saved = s.randomState;
    s.randomState = state;
    std::array<int, BOARD_COLUMNS> row;
    int filled = 0;
    for (int& code : row) {
        code = EMPTY_CELL;
        if (randomDraw() % 7 < 3) {
            code = randomDraw() % 7;
            ++filled;
        }
    }
    if (filled == BOARD_COLUMNS) row[size_t(randomDraw() % 10)] = EMPTY_CELL;
    state = s.randomState;
    s.randomState = saved;
    return row;
}

Bytes garbageMessage(const std::array<int, BOARD_COLUMNS>& row) {
    Bytes message{0, 4};
    for (int column = 0; column < BOARD_COLUMNS; ++column) {
        if (row[size_t(column)] == EMPTY_CELL) continue;
        message.insert(message.end(), {uint8_t(column), 19, uint8_t(row[size_t(column)])});
    }
    return message.size() > 2 ? message : Bytes{};
}

// --- Cleared rows ---------------------------------------------------------------------

TEST_F(LandingTest, RowsSeventeenAndNineteenClearedInOneLanding) {
    fillRowExcept(17, {0});
    fillRowExcept(18, {0, 5});
    fillRowExcept(19, {0});
    setCell(6, 10, 4);
    prepare(0, -3, 5, 1);  // vertical bar in column 0, rows 5..8
    // A pixel no palette has, in the cell (3, 10): the image must move, not be redrawn.
    setPixel(*clientState().ownBoardDc, 1 + 16 * 3 + 7, 1 + 16 * 10 + 7, 0x00ABCDEF);
    clientState().linesCleared = 3;

    dropAndLand();

    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{
                                  cellChanges({{0, 5, 7}, {0, 6, 7}, {0, 7, 7}, {0, 8, 7},
                                               {0, 16, 0}, {0, 17, 0}, {0, 18, 0}, {0, 19, 0}}),
                                  {0, 3, 17, 19},
                                  {0, 9, 2},
                                  spawnMessage(1),
                              }));
    EXPECT_EQ(clientState().linesCleared, 5);
    // Old row 18 (with the bar) is now row 19, old row 16 (the bar's top) row 18.
    for (int column = 0; column < BOARD_COLUMNS; ++column) {
        EXPECT_EQ(cell(column, 19), column == 0 ? 0 : column == 5 ? EMPTY_CELL : 3);
        EXPECT_EQ(cell(column, 18), column == 0 ? 0 : EMPTY_CELL);
    }
    EXPECT_EQ(cell(6, 12), 4);
    EXPECT_EQ(getPixel(*clientState().ownBoardDc, 1 + 16 * 3 + 7, 1 + 16 * 12 + 7), 0x00ABCDEFu);
    setPixel(*clientState().ownBoardDc, 1 + 16 * 3 + 7, 1 + 16 * 12 + 7, BOARD_GREY);
    expectImageShowsBoard(true);
    EXPECT_EQ(updateRect(), TEST_WHOLE_WINDOW);
}

TEST_F(LandingTest, OneRowSendsLinesOnlyInFunMode) {
    struct Case {
        bool funMode;
        bool sendsLines;
    };
    for (Case c : {Case{false, false}, Case{true, true}}) {
        clearBoard();
        fillRowExcept(19, {4, 5});
        clientState().funMode = c.funMode;
        prepare(1, 2, 5, 0);  // square over columns 4 and 5
        dropAndLand();
        std::vector<Bytes> sent = sentMessages();
        ASSERT_GE(sent.size(), 3u);
        EXPECT_EQ(sent[1], (Bytes{0, 3, 19}));
        EXPECT_EQ(sent[2] == (Bytes{0, 9, 1}), c.sendsLines) << "fun mode " << c.funMode;
        EXPECT_EQ(sent.size(), c.sendsLines ? 4u : 3u);
        EXPECT_EQ(cell(4, 19), 1);
        EXPECT_EQ(cell(4, 18), EMPTY_CELL);
        expectImageShowsBoard(true);
    }
}

TEST_F(LandingTest, FourRowsSendLinesWithFour) {
    for (int row = 16; row < 20; ++row) fillRowExcept(row, {9});
    prepare(0, 6, 0, 1);  // vertical bar in column 9
    dropAndLand();
    std::vector<Bytes> sent = sentMessages();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_EQ(sent[1], (Bytes{0, 3, 16, 17, 18, 19}));
    EXPECT_EQ(sent[2], (Bytes{0, 9, 4}));
    expectImageShowsBoard(true);
}

TEST_F(LandingTest, FullTopRowIsEmptiedWithoutMovingTheImage) {
    fillRowExcept(0, {});
    setCell(2, 1, 5);
    drawBoardImage();
    clientState().nextPiece.type = 0;
    validateWindow();
    lockAndContinue(nullptr);  // no list: the new piece is recorded nowhere, drawn nowhere
    EXPECT_EQ(sentMessages()[0], (Bytes{0, 3, 0}));
    EXPECT_EQ(cell(2, 1), 5);
    for (int column = 0; column < BOARD_COLUMNS; ++column) EXPECT_EQ(cell(column, 0), EMPTY_CELL);
    expectImageShowsBoard(false);
}

TEST_F(LandingTest, LandingWithoutFullRowsRestartsTheFallTimerOnly) {
    ClientState& s = clientState();
    s.speedLevel = 7;  // 200 ms from the landing on
    headlessAdvance(400);
    EXPECT_EQ(dispatchTimers(), 0);
    prepare(2, 2, 10, 0);
    dropAndLand();
    std::vector<Bytes> sent = sentMessages();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[1], spawnMessage(1));
    EXPECT_EQ(headlessTimerPeriod(s.mainWindow, FALL_TIMER_ID), 200u);
    headlessAdvance(199);
    EXPECT_EQ(dispatchTimers(), 0) << "a full period after the landing";
    headlessAdvance(1);
    EXPECT_EQ(dispatchTimers(), 1);
}

// --- Garbage rows -----------------------------------------------------------------------

TEST_F(LandingTest, TwoPendingGarbageRowsArePushedInOneAfterTheOther) {
    ClientState& s = clientState();
    setCell(3, 19, 2);
    prepare(1, 2, 5, 0);
    s.pendingLines = 2;
    seedRandom(12345);
    uint32_t state = s.randomState;
    std::array<int, BOARD_COLUMNS> first = predictGarbage(state);
    std::array<int, BOARD_COLUMNS> second = predictGarbage(state);

    dropAndLand();

    std::vector<Bytes> expected{cellChanges({{4, 8, 7}, {5, 8, 7}, {4, 7, 7}, {5, 7, 7},
                                             {4, 19, 1}, {5, 19, 1}, {4, 18, 1}, {5, 18, 1}}),
                                ROW_ADDED};
    if (!garbageMessage(first).empty()) expected.push_back(garbageMessage(first));
    expected.push_back(ROW_ADDED);
    if (!garbageMessage(second).empty()) expected.push_back(garbageMessage(second));
    expected.push_back(spawnMessage(1));
    EXPECT_EQ(sentMessages(), expected);

    EXPECT_EQ(s.pendingLines, 0);
    for (int column = 0; column < BOARD_COLUMNS; ++column) {
        EXPECT_EQ(cell(column, 18), first[size_t(column)]) << column;
        EXPECT_EQ(cell(column, 19), second[size_t(column)]) << column;
    }
    EXPECT_EQ(cell(3, 17), 2) << "the landed stack moved up two rows";
    EXPECT_EQ(cell(4, 17), 1);
    EXPECT_EQ(cell(5, 16), 1);
    expectImageShowsBoard(true);
}

TEST_F(LandingTest, GarbageRowWhoseTenDrawsAllPassEmptiesOneCellAgain) {
    // Find a seed whose first row has ten filled columns.
    uint32_t seed = 1;
    for (;; ++seed) {
        seedRandom(seed);
        int filled = 0;
        for (int column = 0; column < BOARD_COLUMNS; ++column) {
            if (randomDraw() % 7 >= 3) break;
            randomDraw();
            ++filled;
        }
        if (filled == BOARD_COLUMNS) break;
        ASSERT_LT(seed, 10000000u);
    }
    seedRandom(seed);
    std::array<int, BOARD_COLUMNS> codes{};
    for (int& code : codes) {
        randomDraw();
        code = randomDraw() % 7;
    }
    int emptied = randomDraw() % 10;

    seedRandom(seed);
    ChangeList list;
    fillBottomRow(list);
    ASSERT_EQ(listLength(list), 10);
    for (int column = 0; column < BOARD_COLUMNS; ++column) {
        int code = column == emptied ? EMPTY_CELL : codes[size_t(column)];
        EXPECT_EQ(list[column], (CellChange{column, 19, code}));
        EXPECT_EQ(cell(column, 19), code);
    }
    EXPECT_EQ(findFullRow(), -1);

    applyChanges(list, false);
    std::vector<Bytes> sent = sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 32u) << "the emptied cell is broadcast as code 7";
    EXPECT_EQ(sent[0][2 + 3 * emptied + 2], EMPTY_CELL);
    expectImageShowsBoard(false);
}

TEST_F(LandingTest, FillBottomRowLeavesAFilledRowAlone) {
    setCell(7, 19, 3);
    seedRandom(5);
    ChangeList list;
    fillBottomRow(list);
    EXPECT_EQ(listLength(list), 0);
    EXPECT_EQ(clientState().randomState, 5u) << "no draw";
    EXPECT_EQ(cell(7, 19), 3);
}

TEST_F(LandingTest, GarbageRowFindingTheTopRowFilledLosesTheGame) {
    ClientState& s = clientState();
    setCell(6, 1, 4);  // reaches row 0 with the first garbage row
    prepare(1, 2, 5, 0);
    s.pendingLines = 3;
    s.pendingFunBlocks = 2;
    seedRandom(99);
    uint32_t state = s.randomState;
    std::array<int, BOARD_COLUMNS> first = predictGarbage(state);
    consoleCaptureBegin();
    dropAndLand();
    EXPECT_EQ(consoleCaptureEnd(), "Ich habe verloren... -_-\n");

    std::vector<Bytes> expected{cellChanges({{4, 8, 7}, {5, 8, 7}, {4, 7, 7}, {5, 7, 7},
                                             {4, 19, 1}, {5, 19, 1}, {4, 18, 1}, {5, 18, 1}}),
                                ROW_ADDED};
    if (!garbageMessage(first).empty()) expected.push_back(garbageMessage(first));
    expected.push_back(LOST);
    EXPECT_EQ(sentMessages(), expected);
    EXPECT_EQ(s.pendingLines, 0);
    EXPECT_EQ(s.pendingFunBlocks, 2);
    EXPECT_FALSE(s.playing);
    EXPECT_EQ(cell(6, 0), 4);
    for (int column = 0; column < BOARD_COLUMNS; ++column) EXPECT_EQ(cell(column, 19), first[size_t(column)]);
    EXPECT_FALSE(headlessTimerActive(s.mainWindow, FALL_TIMER_ID));
    EXPECT_TRUE(fadeStarted());
    EXPECT_EQ(updateRect(), TEST_WHOLE_WINDOW);
    expectImageShowsBoard(false);
}

// --- Fun blocks ---------------------------------------------------------------------------

TEST_F(LandingTest, FunBlockLandsOnTheHighestLeftmostCell) {
    struct Case {
        const char* name;
        std::vector<CellChange> filled;
        CellChange block;
    };
    const Case cases[] = {
        {"two cells share the top row", {{7, 5, 2}, {3, 5, 1}, {0, 9, 4}}, {3, 4, GREY_CELL}},
        {"only the bottom row", {{2, 19, 3}, {8, 19, 3}}, {2, 18, GREY_CELL}},
        {"an empty board", {}, {9, 19, GREY_CELL}},
        {"a grey cell counts as filled", {{5, 12, GREY_CELL}, {1, 13, 0}}, {5, 11, GREY_CELL}},
    };
    ClientState& s = clientState();
    for (const Case& c : cases) {
        clearBoard();
        for (const CellChange& f : c.filled) setCell(f.column, f.row, f.code);
        drawBoardImage();
        validateWindow();
        s.pendingFunBlocks = 1;
        EXPECT_TRUE(insertAttacks()) << c.name;
        EXPECT_EQ(s.pendingFunBlocks, 0) << c.name;
        EXPECT_EQ(cell(c.block.column, c.block.row), GREY_CELL) << c.name;
        EXPECT_EQ(sentMessages(), (std::vector<Bytes>{cellChanges({c.block})})) << c.name;
        EXPECT_EQ(updateRect(), TEST_BOARD_AREA) << c.name;
        expectImageShowsBoard(false);
    }
}

TEST_F(LandingTest, FunBlocksStackAfterGarbageRows) {
    ClientState& s = clientState();
    s.pendingLines = 1;
    s.pendingFunBlocks = 2;
    seedRandom(3);
    uint32_t state = s.randomState;
    std::array<int, BOARD_COLUMNS> garbage = predictGarbage(state);
    ASSERT_TRUE(insertAttacks());
    int column = -1;
    for (int k = 0; k < BOARD_COLUMNS && column < 0; ++k)
        if (garbage[size_t(k)] != EMPTY_CELL) column = k;
    ASSERT_GE(column, 0) << "seed 3 gives a garbage row with a filled cell";
    std::vector<Bytes> expected{ROW_ADDED, garbageMessage(garbage), cellChanges({{column, 18, GREY_CELL}}),
                                cellChanges({{column, 17, GREY_CELL}})};
    EXPECT_EQ(sentMessages(), expected);
}

TEST_F(LandingTest, FunBlockWithTheTopRowFilledLosesAtTheLanding) {
    ClientState& s = clientState();
    setCell(8, 0, 6);
    s.pendingFunBlocks = 2;
    EXPECT_FALSE(insertAttacks());
    EXPECT_TRUE(s.playing) << "the caller loses the game";
    EXPECT_TRUE(sentMessages().empty());

    clientState().nextPiece.type = 3;
    consoleCaptureBegin();
    lockAndContinue(nullptr);
    EXPECT_EQ(consoleCaptureEnd(), "Ich habe verloren... -_-\n");
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{LOST}));
    EXPECT_EQ(s.pendingFunBlocks, 2);
    EXPECT_FALSE(s.playing);
    EXPECT_TRUE(fadeStarted());
}

// --- Spawn and loss -----------------------------------------------------------------------

TEST_F(LandingTest, SpawnThatDoesNotFitLosesWithAnEmptyList) {
    ClientState& s = clientState();
    for (int row = 1; row < BOARD_ROWS; ++row) fillRowExcept(row, {row % 10});
    prepare(1, 2, -2, 0, 4);  // the square rests on row 1 at the spawn place
    consoleCaptureBegin();
    ChangeList list;
    hardDrop(list);
    applyChanges(list, false);
    lockAndContinue(list);
    consoleCaptureEnd();
    EXPECT_EQ(listLength(list), 0);
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{LOST}));
    EXPECT_EQ(s.currentPiece.type, 4);
    EXPECT_FALSE(s.playing);
    expectImageShowsBoard(false);  // the failed piece is not drawn
}

TEST_F(LandingTest, LosingTwiceSendsAndLogsOnce) {
    ClientState& s = clientState();
    consoleCaptureBegin();
    loseGame();
    headlessAdvance(120);  // two fade steps' worth of time
    loseGame();
    EXPECT_EQ(consoleCaptureEnd(), "Ich habe verloren... -_-\n");
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{LOST}));
    EXPECT_FALSE(s.playing);
    EXPECT_FALSE(headlessTimerActive(s.mainWindow, FALL_TIMER_ID));
    EXPECT_TRUE(headlessTimerActive(s.mainWindow, OWN_FADE_TIMER_ID));
    int fadeTicks = 0;
    WindowEvent event;
    while (peekEvent(event) && event.code != WM_PAINT) {
        if (event.code == WM_TIMER && event.wParam == OWN_FADE_TIMER_ID) ++fadeTicks;
        dispatchEvent(event);
    }
    EXPECT_EQ(fadeTicks, 2) << "the second loss did not restart the fade";
}

TEST_F(LandingTest, LandingWithEveryKindOfMessageKeepsTheWireOrder) {
    ClientState& s = clientState();
    fillRowExcept(18, {0});
    fillRowExcept(19, {0});
    prepare(0, -3, 0, 1, 2);
    s.pendingLines = 1;
    s.pendingFunBlocks = 1;
    seedRandom(3);
    uint32_t state = s.randomState;
    std::array<int, BOARD_COLUMNS> garbage = predictGarbage(state);
    dropAndLand();
    std::vector<Bytes> sent = sentMessages();
    std::vector<Bytes> expected{
        cellChanges({{0, 0, 7}, {0, 1, 7}, {0, 2, 7}, {0, 3, 7}, {0, 16, 0}, {0, 17, 0}, {0, 18, 0}, {0, 19, 0}}),
        {0, 3, 18, 19},
        {0, 9, 2},
        ROW_ADDED,
    };
    if (!garbageMessage(garbage).empty()) expected.push_back(garbageMessage(garbage));
    ASSERT_EQ(sent.size(), expected.size() + 2);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(sent[i], expected[i]) << i;
    EXPECT_EQ(sent[expected.size()].size(), 5u) << "one fun block";
    EXPECT_EQ(sent[expected.size()][4], GREY_CELL);
    EXPECT_EQ(sent.back(), spawnMessage(2));
    expectImageShowsBoard(true);
}

// --- Fun-mode start patterns and the game start ----------------------------------------------

TEST_F(LandingTest, SidesPatternDrawsTwiceARowInOrder) {
    seedRandom(1);
    int draws[20];
    for (int& d : draws) d = randomDraw() % 7;
    seedRandom(1);
    ChangeList list;
    funPatternSides(list);
    ASSERT_EQ(listLength(list), 20);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(list[2 * i], (CellChange{0, 10 + i, draws[2 * i]}));
        EXPECT_EQ(list[2 * i + 1], (CellChange{9, 10 + i, draws[2 * i + 1]}));
        EXPECT_EQ(cell(0, 10 + i), draws[2 * i]);
        EXPECT_EQ(cell(9, 10 + i), draws[2 * i + 1]);
    }
    EXPECT_EQ(cell(0, 9), EMPTY_CELL);
}

TEST_F(LandingTest, ScatterListsEachCellOnceWithItsLastCode) {
    seedRandom(2024);
    std::vector<CellChange> order;  // the expected list, built from the draws
    for (int i = 0; i < 24; ++i) {
        int column = randomDraw() % 10;
        int row = 15 + randomDraw() % 5;
        int code = randomDraw() % 7;
        std::erase_if(order, [&](const CellChange& c) { return c.column == column && c.row == row; });
        order.push_back({column, row, code});
    }
    ASSERT_LT(order.size(), 24u) << "the seed repeats a cell";
    seedRandom(2024);
    ChangeList list;
    funPatternScatter(list);
    EXPECT_EQ(entries(list), order);
    for (const CellChange& c : order) EXPECT_EQ(cell(c.column, c.row), c.code);
}

TEST_F(LandingTest, GameStartGreysTheBoardAndShowsTheFirstPiece) {
    ClientState& s = clientState();
    fillRowExcept(19, {3});  // left over from the last game
    drawBoardImage();
    s.pendingLines = 4;
    s.pendingFunBlocks = 1;
    s.linesCleared = 7;
    s.playing = false;
    killTimer(s.mainWindow, FALL_TIMER_ID);
    validateWindow();
    seedRandom(1);
    startOwnGame();
    EXPECT_TRUE(s.playing);
    EXPECT_EQ(s.pendingLines, 0);
    EXPECT_EQ(s.pendingFunBlocks, 0);
    EXPECT_EQ(s.linesCleared, 0);
    EXPECT_EQ(s.currentPiece.type, 41 % 7);
    EXPECT_EQ(s.nextPiece.type, 18467 % 7);
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{BOARD_CLEARED, spawnMessage(41 % 7)}));
    EXPECT_EQ(headlessTimerPeriod(s.mainWindow, FALL_TIMER_ID), 500u);
    EXPECT_EQ(updateRect(), TEST_WHOLE_WINDOW);
    expectImageShowsBoard(true);
}

TEST_F(LandingTest, FunStartWhoseScatterCompletesARowClearsItAtOnce) {
    ClientState& s = clientState();
    s.funMode = true;
    // A seed whose two patterns complete a row; the patterns use the first
    // 20 + 72 draws of the game start.
    uint32_t seed = 1;
    for (;; ++seed) {
        clearBoard();
        seedRandom(seed);
        funPatternSides(nullptr);
        funPatternScatter(nullptr);
        if (findFullRow() >= 0) break;
        ASSERT_LT(seed, 10000000u);
    }
    int fullRow = findFullRow();
    clearBoard();
    seedRandom(seed);
    startOwnGame();
    std::vector<Bytes> sent = sentMessages();
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(sent[0], BOARD_CLEARED);
    EXPECT_EQ(sent[1].size(), 2u + 3 * 20);
    EXPECT_EQ(sent[2][1], MSG_CELL_CHANGES);
    EXPECT_EQ(sent[3][1], MSG_ROWS_CLEARED);
    EXPECT_EQ(sent[3][2], fullRow);
    int removed = int(sent[3].size()) - 2;
    EXPECT_EQ(sent[4], (Bytes{0, 9, uint8_t(removed)}));
    EXPECT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[5][1], MSG_CELL_CHANGES);
    EXPECT_EQ(s.linesCleared, removed);
    EXPECT_EQ(findFullRow(), -1);
    expectImageShowsBoard(true);
}

// --- Rows of the Board --------------------------------------------------------------------

TEST_F(LandingTest, RowOperationsMoveTheRightRows) {
    for (int row = 0; row < BOARD_ROWS; ++row) setCell(row % 10, row, row % 7);
    fillRowExcept(12, {});
    setCell(4, 12, GREY_CELL);
    EXPECT_EQ(findFullRow(), 12);
    collapseRows(12);
    EXPECT_EQ(findFullRow(), -1);
    for (int row = 1; row <= 12; ++row) EXPECT_EQ(cell((row - 1) % 10, row), (row - 1) % 7) << row;
    EXPECT_EQ(cell(3, 13), 13 % 7);
    for (int column = 0; column < BOARD_COLUMNS; ++column) EXPECT_EQ(cell(column, 0), EMPTY_CELL);

    EXPECT_TRUE(pushBoardUp());
    EXPECT_EQ(cell(0, 0), 0);
    EXPECT_EQ(cell(9, 19), EMPTY_CELL);
    EXPECT_EQ(cell(9, 18), 19 % 7);
    EXPECT_FALSE(pushBoardUp());
    EXPECT_EQ(cell(0, 0), 0) << "a refused push changes nothing";
    EXPECT_EQ(cell(9, 18), 19 % 7);
}

// --- The fall tick ------------------------------------------------------------------------------

}  // namespace
