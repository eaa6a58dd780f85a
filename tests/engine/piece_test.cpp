// Movement of the falling piece: fit test, spawn, sideways moves, slides,
// turns, steps down and drops.
#include "engine_fixture.h"

namespace {

using PieceTest = EngineTest;

PieceState piece() {
    return clientState().currentPiece;
}

void expectPiece(int type, int x, int y, int rotation) {
    PieceState p = piece();
    EXPECT_EQ(p.type, type);
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.rotation, rotation);
}

// --- pieceFits --------------------------------------------------------------------

struct FitCase {
    const char* name;
    int type, x, y, rotation;
    bool fits;
    bool aboveTop;
};

TEST_F(PieceTest, FitTestReportsTheFirstFailingCellInTableOrder) {
    setCell(5, 2, 3);
    const FitCase cases[] = {
        {"spawned bar", 0, 2, -2, 0, true, false},
        {"bar one row too high", 0, 2, -3, 0, false, true},
        {"vertical bar sticking out above", 0, 2, -2, 1, false, true},
        {"vertical bar hitting (5,2) before its lower cells", 0, 2, 0, 1, false, false},
        {"past the right wall", 0, 6, 5, 0, false, false},
        {"past the left wall", 0, -2, 5, 0, false, false},
        // Cell 0 of the vertical bar lies both left of the board and above it.
        {"left of the board and above the top", 0, -4, -1, 1, false, true},
        {"below the floor", 1, 0, 17, 0, false, false},
        {"resting on the floor", 1, 0, 16, 0, true, false},
        // J rotation 3: cell 0 (2,4) is below the floor, cell 1 (3,2) above the top.
        {"first failing cell decides", 4, 0, 16, 3, false, false},
        {"first failing cell above the top", 4, 0, -3, 3, false, true},
    };
    for (const FitCase& c : cases) {
        bool aboveTop = !c.aboveTop;
        EXPECT_EQ(pieceFits(c.type, c.x, c.y, c.rotation, &aboveTop), c.fits) << c.name;
        EXPECT_EQ(aboveTop, c.aboveTop) << c.name;
        EXPECT_EQ(pieceFits(c.type, c.x, c.y, c.rotation), c.fits) << c.name;
    }
}

TEST_F(PieceTest, GreyCellsBlockLikeAnyFilledCell) {
    setCell(4, 19, GREY_CELL);
    EXPECT_FALSE(pieceFits(1, 2, 16, 0));
    EXPECT_TRUE(pieceFits(1, 2, 15, 0));
}

// --- spawnPiece ----------------------------------------------------------------------

TEST_F(PieceTest, SpawnOfABarRecordsFourCellsAndSendsFourteenBytes) {
    ClientState& s = clientState();
    s.nextPiece = PieceState{0, 0, 0, 0};
    s.currentPiece = PieceState{3, 7, 9, 2};
    seedRandom(1);
    ChangeList list;
    ASSERT_TRUE(spawnPiece(list));
    expectPiece(0, 2, -2, 0);
    EXPECT_EQ(s.nextPiece.type, 41 % 7);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}}));
    applyChanges(list, true);
    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{{0, 4, 3, 0, 0, 4, 0, 0, 5, 0, 0, 6, 0, 0}}));
    EXPECT_EQ(updateRect(), TEST_WHOLE_WINDOW);
    expectImageShowsBoard(true);
}

TEST_F(PieceTest, SpawnThatDoesNotFitDrawsThePreviewAndLeavesAnEmptyList) {
    ClientState& s = clientState();
    for (int type = 0; type < SHAPE_TYPES; ++type) {
        clearBoard();
        // Only the last cell in table order is blocked: all four are tested.
        const ShapeOffset& last = SHAPE_TABLE[type][0][3];
        setCell(SPAWN_X + last.dx, SPAWN_Y + last.dy, 2);
        s.nextPiece.type = type;
        seedRandom(7);
        int32_t expectedPreview = randomDraw() % 7;
        seedRandom(7);
        ChangeList list;
        list[0] = {1, 1, 1};
        list[1].column = -1;
        EXPECT_FALSE(spawnPiece(list)) << type;
        EXPECT_LT(list[0].column, 0) << type;
        expectPiece(type, 2, -2, 0);
        EXPECT_EQ(s.nextPiece.type, expectedPreview);
    }
    int filled = 0;
    for (uint8_t c : s.board.cells) filled += c != EMPTY_CELL;
    EXPECT_EQ(filled, 1) << "a failed spawn is not stamped";
}

// --- moveSideways and slideToWall ----------------------------------------------------------

TEST_F(PieceTest, SidewaysMoveAcrossItsOwnCellsSucceedsAndAWallRefuses) {
    placePiece(0, 2, 5, 0);
    ChangeList list;
    moveSideways(DIRECTION_RIGHT, list);
    expectPiece(0, 3, 5, 0);
    EXPECT_EQ(listLength(list), 2);

    placePiece(0, 5, 5, 0);  // columns 6..9
    moveSideways(DIRECTION_RIGHT, list);
    expectPiece(0, 5, 5, 0);
    EXPECT_EQ(listLength(list), 0);

    placePiece(1, -2, 5, 0);  // square in columns 0 and 1
    moveSideways(DIRECTION_LEFT, list);
    expectPiece(1, -2, 5, 0);
    EXPECT_EQ(listLength(list), 0);

    setCell(2, 7, 4);
    moveSideways(DIRECTION_RIGHT, list);
    expectPiece(1, -2, 5, 0);
    EXPECT_EQ(listLength(list), 0) << "blocked by a filled cell";
    moveSideways(DIRECTION_RIGHT, nullptr);
    expectPiece(1, -2, 5, 0);
}

TEST_F(PieceTest, SquareSlidesToBothWalls) {
    struct Slide {
        Direction direction;
        int endX;
        std::vector<CellChange> list;
    };
    // Square at x 2, y 5: (4,8) (5,8) (4,7) (5,7).
    const Slide slides[] = {
        {DIRECTION_LEFT, -2, {{4, 8, 7}, {5, 8, 7}, {4, 7, 7}, {5, 7, 7}, {0, 8, 1}, {1, 8, 1}, {0, 7, 1}, {1, 7, 1}}},
        {DIRECTION_RIGHT, 6, {{4, 8, 7}, {5, 8, 7}, {4, 7, 7}, {5, 7, 7}, {8, 8, 1}, {9, 8, 1}, {8, 7, 1}, {9, 7, 1}}},
    };
    for (const Slide& slide : slides) {
        placePiece(1, 2, 5, 0);
        ChangeList list;
        slideToWall(slide.direction, list);
        expectPiece(1, slide.endX, 5, 0);
        EXPECT_EQ(entries(list), slide.list);
    }
}

TEST_F(PieceTest, SlideStopsAtTheFirstFilledCellAndRefusesWhenAdjacent) {
    setCell(1, 8, 0);  // between the square and the left wall, with room beyond
    placePiece(1, 2, 5, 0);
    ChangeList list;
    slideToWall(DIRECTION_LEFT, list);
    expectPiece(1, 0, 5, 0);  // columns 2 and 3
    EXPECT_EQ(listLength(list), 8);

    slideToWall(DIRECTION_LEFT, list);
    expectPiece(1, 0, 5, 0);
    EXPECT_EQ(listLength(list), 0);
}

// --- rotatePiece ------------------------------------------------------------------------

TEST_F(PieceTest, BarTurnedRightAfterSpawnIsPushedDownBelowTheTop) {
    placePiece(0, 2, -2, 0);
    ChangeList list;
    rotatePiece(list);
    expectPiece(0, 2, 0, 1);
    // Cell (5,0) stays covered; (3,0) (4,0) (6,0) are given up; (5,1) (5,2) (5,3) are new.
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{3, 0, 7}, {4, 0, 7}, {6, 0, 7}, {5, 1, 0}, {5, 2, 0}, {5, 3, 0}}));
}

TEST_F(PieceTest, BarTurnBlockedBelowTheTopFails) {
    setCell(5, 2, 6);
    placePiece(0, 2, -2, 0);
    ChangeList list;
    rotatePiece(list);
    expectPiece(0, 2, -2, 0);
    EXPECT_EQ(listLength(list), 0);
}

TEST_F(PieceTest, VerticalBarAtTheRightWallCannotTurn) {
    placePiece(0, 6, 8, 1);  // column 9
    ChangeList list;
    rotatePiece(list);
    expectPiece(0, 6, 8, 1);
    EXPECT_EQ(listLength(list), 0);
}

TEST_F(PieceTest, FourTurnsComeBackToTheStartWithoutMoving) {
    placePiece(2, 3, 8, 0);
    ChangeList list;
    for (int turn = 1; turn <= 4; ++turn) {
        rotatePiece(list);
        expectPiece(2, 3, 8, turn % 4);
        EXPECT_GT(listLength(list), 0);
    }
    // The square turns in place: every turn cancels out.
    placePiece(1, 3, 8, 0);
    rotatePiece(list);
    expectPiece(1, 3, 8, 1);
    EXPECT_EQ(listLength(list), 0);
}

// --- stepDown and hardDrop ----------------------------------------------------------------

TEST_F(PieceTest, StepDownMovesAcrossItsOwnCellsAndLandsOnTheFloor) {
    placePiece(0, 2, 5, 1);  // vertical bar, rows 5..8 of column 5
    ChangeList list;
    EXPECT_TRUE(stepDown(list));
    expectPiece(0, 2, 6, 1);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{5, 5, 7}, {5, 9, 0}}));

    placePiece(2, 0, 15, 1);  // T rotation 1: (3,17) (3,18) (3,19) (4,18)
    EXPECT_FALSE(stepDown(list));
    expectPiece(2, 0, 15, 1);
    EXPECT_EQ(listLength(list), 0);
    EXPECT_EQ(cell(3, 17), 2);
    EXPECT_EQ(cell(3, 18), 2);
    EXPECT_EQ(cell(3, 19), 2);
    EXPECT_EQ(cell(4, 18), 2);
    EXPECT_EQ(cell(4, 19), EMPTY_CELL);
}

TEST_F(PieceTest, HardDropOfTheSpawnedSquare) {
    placePiece(1, 2, -2, 0);
    ChangeList list;
    hardDrop(list);
    expectPiece(1, 2, 16, 0);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{4, 1, 7}, {5, 1, 7}, {4, 0, 7}, {5, 0, 7},
                                                      {4, 19, 1}, {5, 19, 1}, {4, 18, 1}, {5, 18, 1}}));
    for (int column : {4, 5})
        for (int row : {18, 19}) EXPECT_EQ(cell(column, row), 1);
}

TEST_F(PieceTest, HardDropThatCannotFallStillStamps) {
    setCell(4, 17, 0);
    placePiece(1, 2, 13, 0);  // rows 15 and 16, resting on (4, 17)
    ChangeList list;
    hardDrop(list);
    expectPiece(1, 2, 13, 0);
    EXPECT_EQ(listLength(list), 0);
    EXPECT_EQ(cell(4, 16), 1);
    EXPECT_EQ(cell(5, 15), 1);

    // Without a list the piece still falls and lands: L rotation 2 in columns 6..8.
    placePiece(3, 4, 0, 2);
    hardDrop(nullptr);
    expectPiece(3, 4, 16, 2);
    EXPECT_EQ(cell(6, 19), 3);
    EXPECT_EQ(cell(8, 18), 3);
}

}  // namespace
