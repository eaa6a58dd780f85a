// Board, shape table, cell drawing, recorders and applyChanges.
#include <algorithm>
#include <set>
#include <utility>

#include "engine_fixture.h"

namespace {

// --- Random generator: the sequence peers and replays rely on -----------------

TEST(RandomSequence, SeedOneGivesTheKnownFirstDraws) {
    resetClientState();
    seedRandom(1);
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169};
    for (int32_t value : expected) EXPECT_EQ(randomDraw(), value);
}

// --- Shape table --------------------------------------------------------------

// The stored order of the cells is wire-visible: it is the order of the
// entries the recorders produce. Pinned here entry by entry.
TEST(ShapeTableTest, HoldsEveryOffsetInItsStoredOrder) {
    const int expected[SHAPE_TYPES][SHAPE_ROTATIONS][8] = {
        {{1, 2, 2, 2, 3, 2, 4, 2}, {3, 0, 3, 1, 3, 2, 3, 3}, {1, 2, 2, 2, 3, 2, 4, 2}, {3, 0, 3, 1, 3, 2, 3, 3}},
        {{2, 3, 3, 3, 2, 2, 3, 2}, {2, 3, 3, 3, 2, 2, 3, 2}, {2, 3, 3, 3, 2, 2, 3, 2}, {2, 3, 3, 3, 2, 2, 3, 2}},
        {{2, 2, 3, 2, 4, 2, 3, 3}, {3, 2, 3, 3, 3, 4, 4, 3}, {3, 2, 2, 3, 3, 3, 4, 3}, {2, 3, 3, 2, 3, 3, 3, 4}},
        {{2, 2, 3, 2, 4, 2, 2, 3}, {3, 2, 3, 3, 3, 4, 4, 4}, {2, 3, 3, 3, 4, 2, 4, 3}, {2, 2, 3, 2, 3, 3, 3, 4}},
        {{2, 2, 3, 2, 4, 2, 4, 3}, {3, 2, 3, 3, 3, 4, 4, 2}, {2, 2, 2, 3, 3, 3, 4, 3}, {2, 4, 3, 2, 3, 3, 3, 4}},
        {{2, 3, 3, 2, 3, 3, 4, 2}, {3, 2, 3, 3, 4, 3, 4, 4}, {2, 3, 3, 2, 3, 3, 4, 2}, {3, 2, 3, 3, 4, 3, 4, 4}},
        {{2, 2, 3, 2, 3, 3, 4, 3}, {3, 3, 3, 4, 4, 2, 4, 3}, {2, 2, 3, 2, 3, 3, 4, 3}, {3, 3, 3, 4, 4, 2, 4, 3}},
    };
    for (int type = 0; type < SHAPE_TYPES; ++type)
        for (int rotation = 0; rotation < SHAPE_ROTATIONS; ++rotation)
            for (int i = 0; i < SHAPE_CELLS; ++i) {
                EXPECT_EQ(SHAPE_TABLE[type][rotation][i].dx, expected[type][rotation][2 * i])
                    << type << "/" << rotation << "/" << i;
                EXPECT_EQ(SHAPE_TABLE[type][rotation][i].dy, expected[type][rotation][2 * i + 1])
                    << type << "/" << rotation << "/" << i;
            }
}

// The cells of a rotation, moved so that the smallest dx and dy are 0.
std::set<std::pair<int, int>> normalised(std::set<std::pair<int, int>> cells) {
    int minX = 99, minY = 99;
    for (auto [x, y] : cells) minX = std::min(minX, x), minY = std::min(minY, y);
    std::set<std::pair<int, int>> result;
    for (auto [x, y] : cells) result.insert({x - minX, y - minY});
    return result;
}

TEST(ShapeTableTest, EachRotationIsAQuarterTurnAnticlockwiseOfThePrevious) {
    for (int type = 0; type < SHAPE_TYPES; ++type) {
        for (int rotation = 0; rotation < SHAPE_ROTATIONS; ++rotation) {
            std::set<std::pair<int, int>> turned, next;
            for (const ShapeOffset& o : SHAPE_TABLE[type][rotation]) {
                // With y pointing down, anticlockwise on the screen takes (x, y) to (y, -x).
                turned.insert({o.dy, -o.dx});
            }
            for (const ShapeOffset& o : SHAPE_TABLE[type][(rotation + 1) % 4]) next.insert({o.dx, o.dy});
            EXPECT_EQ(normalised(turned), normalised(next)) << "type " << type << " rotation " << rotation;
            EXPECT_EQ(next.size(), 4u) << "four distinct cells";
        }
    }
}

TEST(ShapeTableTest, SpawnRowsAndColumnsAsOtherPartsAssume) {
    for (int type = 0; type < SHAPE_TYPES; ++type) {
        int minColumn = 99, maxColumn = -99;
        for (const ShapeOffset& o : SHAPE_TABLE[type][0]) {
            EXPECT_TRUE(o.dy == 2 || o.dy == 3);
            minColumn = std::min(minColumn, SPAWN_X + o.dx);
            maxColumn = std::max(maxColumn, SPAWN_X + o.dx);
        }
        EXPECT_EQ(minColumn, type == 0 ? 3 : 4) << type;
        EXPECT_EQ(maxColumn, type == 1 ? 5 : 6) << type;
        for (int rotation = 0; rotation < SHAPE_ROTATIONS; ++rotation)
            for (const ShapeOffset& o : SHAPE_TABLE[type][rotation]) {
                EXPECT_TRUE(o.dx >= 1 && o.dx <= 4);
                EXPECT_TRUE(o.dy >= 0 && o.dy <= 4);
            }
    }
}

// --- drawCell -------------------------------------------------------------------

constexpr Color SENTINEL = 0x00123456;

class DrawCellTest : public ::testing::TestWithParam<int> {};

// Every pixel of the 16 x 16 square, and nothing around it.
TEST_P(DrawCellTest, PaintsTheBevelledSquareExactly) {
    int code = GetParam();
    Surface* surface = createSurface(40, 40);
    fillRect(*surface, Rect{0, 0, 40, 40}, SENTINEL);
    // Colours left over from earlier drawing must not matter.
    setPenColor(*surface, 0x00010203);
    setBrushColor(*surface, 0x00040506);
    drawCell(*surface, code, 1, 1, 3, 2);  // square at (19, 18)
    const CellColors& c = PALETTE[code];
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
            int dx = x - 19, dy = y - 18;
            Color expected = SENTINEL;
            if (dx >= 0 && dx < 16 && dy >= 0 && dy < 16) {
                bool lightPixel = dy == 0 || (dx == 0 && dy <= 14);
                bool shadowPixel = dy == 15 || (dx == 15 && dy >= 1);
                expected = lightPixel ? c.light : shadowPixel ? c.shadow : c.face;
            }
            ASSERT_EQ(getPixel(*surface, x, y), expected) << "code " << code << " at " << x << "," << y;
        }
    }
    EXPECT_EQ(getPixel(*surface, 19 + 15, 18), c.light) << "top-right corner is light";
    EXPECT_EQ(getPixel(*surface, 19, 18 + 15), c.shadow) << "bottom-left corner is shadow";
    destroySurface(surface);
}

INSTANTIATE_TEST_SUITE_P(AllCodes, DrawCellTest, ::testing::Range(0, CELL_CODES));

TEST(DrawCellColours, EmptyIsFlatGreyAndGreyCellIsWhiteGreyDarkGrey) {
    EXPECT_EQ(PALETTE[EMPTY_CELL].light, 0x00B2B2B2u);
    EXPECT_EQ(PALETTE[EMPTY_CELL].face, 0x00B2B2B2u);
    EXPECT_EQ(PALETTE[EMPTY_CELL].shadow, 0x00B2B2B2u);
    EXPECT_EQ(PALETTE[GREY_CELL].light, 0x00FFFFFFu);
    EXPECT_EQ(PALETTE[GREY_CELL].face, 0x00B2B2B2u);
    EXPECT_EQ(PALETTE[GREY_CELL].shadow, 0x00808080u);
}

// The shape colours as red, green, blue: light, face, shadow per code. Colours
// are stored as 0x00BBGGRR, so a byte-order slip shows here.
TEST(DrawCellColours, ShapeColoursAsRedGreenBlue) {
    struct Shade { uint8_t red, green, blue; };
    const Shade expected[7][3] = {
        {{250, 0, 0}, {188, 0, 0}, {125, 0, 0}},
        {{0, 240, 0}, {0, 168, 0}, {0, 112, 0}},
        {{64, 128, 240}, {0, 96, 216}, {0, 64, 124}},
        {{208, 176, 0}, {150, 128, 0}, {112, 96, 0}},
        {{0, 176, 176}, {0, 128, 128}, {0, 96, 96}},
        {{250, 0, 250}, {188, 0, 188}, {125, 0, 125}},
        {{188, 0, 250}, {125, 0, 188}, {31, 0, 125}},
    };
    for (int code = 0; code < 7; ++code) {
        SCOPED_TRACE(code);
        const Shade* e = expected[code];
        EXPECT_EQ(PALETTE[code].light, rgb(e[0].red, e[0].green, e[0].blue));
        EXPECT_EQ(PALETTE[code].face, rgb(e[1].red, e[1].green, e[1].blue));
        EXPECT_EQ(PALETTE[code].shadow, rgb(e[2].red, e[2].green, e[2].blue));
    }
}

TEST(DrawCellColours, EmptyOverAColouredCellLeavesNoBevel) {
    Surface* surface = createSurface(18, 18);
    drawCell(*surface, 5, 0, 0, 1, 1);
    drawCell(*surface, EMPTY_CELL, 0, 0, 1, 1);
    for (int y = 1; y < 17; ++y)
        for (int x = 1; x < 17; ++x) ASSERT_EQ(getPixel(*surface, x, y), BOARD_GREY);
    EXPECT_EQ(getPixel(*surface, 0, 0), 0u);
    destroySurface(surface);
}

TEST(DrawCellColours, ACodeOutsideThePaletteDrawsNothing) {
    Surface* surface = createSurface(18, 18);
    fillRect(*surface, Rect{0, 0, 18, 18}, SENTINEL);
    for (int code : {-1, 9, 200}) drawCell(*surface, code, 0, 0, 1, 1);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 18; ++x) ASSERT_EQ(getPixel(*surface, x, y), SENTINEL);
    destroySurface(surface);
}

// --- Board operations -----------------------------------------------------------------

TEST(BoardOps, ClearBoardEmptiesAllCellsAndStampUsesColumnMajorLayout) {
    resetClientState();
    ClientState& s = clientState();
    for (uint8_t& c : s.board.cells) c = 3;
    clearBoard();
    for (uint8_t c : s.board.cells) ASSERT_EQ(c, EMPTY_CELL);
    stampPiece(4, 5, 10, 3);  // J rotation 3: (2,4) (3,2) (3,3) (3,4)
    EXPECT_EQ(s.board.cells[20 * 7 + 14], 4);
    EXPECT_EQ(s.board.cells[20 * 8 + 12], 4);
    EXPECT_EQ(s.board.cells[20 * 8 + 13], 4);
    EXPECT_EQ(s.board.cells[20 * 8 + 14], 4);
    int filled = 0;
    for (uint8_t c : s.board.cells) filled += c != EMPTY_CELL;
    EXPECT_EQ(filled, 4);
}

// --- Recorders ------------------------------------------------------------------------

using Recorders = EngineTest;

TEST_F(Recorders, BarMovedOneColumnRightGivesTwoEntries) {
    placePiece(0, 2, 5, 0);
    ChangeList list;
    int32_t count = 0;
    recordErase(count, list);
    EXPECT_EQ(count, 4);
    clientState().currentPiece.x = 3;
    recordPiece(count, list);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{3, 7, 7}, {7, 7, 0}}));
    EXPECT_LT(list[2].column, 0);
}

TEST_F(Recorders, UnchangedPositionCancelsEverything) {
    for (int type = 0; type < SHAPE_TYPES; ++type) {
        placePiece(type, 3, 4, type % 4);
        ChangeList list;
        int32_t count = 0;
        recordErase(count, list);
        recordPiece(count, list);
        EXPECT_EQ(count, 0) << type;
        EXPECT_LT(list[0].column, 0) << type;
    }
}

TEST_F(Recorders, EraseSkipsCellsAboveTheTopAndKeepsOrder) {
    // Vertical bar at y -2: rows -2, -1, 0, 1 in column 5.
    placePiece(0, 2, -2, 1);
    ChangeList list;
    int32_t count = 0;
    recordErase(count, list);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{5, 0, 7}, {5, 1, 7}}));
    EXPECT_EQ(count, 2);
}

TEST_F(Recorders, EraseThenPieceListsGivenUpCellsThenNewCellsInTableOrder) {
    // T rotation 0 at (1, 3): (3,5) (4,5) (5,5) (4,6); turned to rotation 1: (4,5) (4,6) (4,7) (5,6).
    placePiece(2, 1, 3, 0);
    ChangeList list;
    int32_t count = 0;
    recordErase(count, list);
    clientState().currentPiece.rotation = 1;
    recordPiece(count, list);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{3, 5, 7}, {5, 5, 7}, {4, 7, 2}, {5, 6, 2}}));
}

TEST_F(Recorders, AppendBehindExistingEntriesAndAcceptNoList) {
    ChangeList list;
    list[0] = {9, 19, 8};
    int32_t count = 1;
    placePiece(1, 0, 0, 0);  // square at (2,3) (3,3) (2,2) (3,2)
    recordPiece(count, list);
    EXPECT_EQ(entries(list), (std::vector<CellChange>{{9, 19, 8}, {2, 3, 1}, {3, 3, 1}, {2, 2, 1}, {3, 2, 1}}));
    int32_t none = 0;
    recordErase(none, nullptr);
    recordPiece(none, nullptr);
    EXPECT_EQ(none, 0);
}

// --- applyChanges ---------------------------------------------------------------------

using ApplyChanges = EngineTest;

TEST_F(ApplyChanges, BarMoveSendsEightBytesDrawsAndInvalidatesTheBoardArea) {
    placePiece(0, 2, 5, 0);
    drawBoardImage();
    for (int column = 3; column <= 6; ++column) drawCell(*clientState().ownBoardDc, 0, column, 7, 1, 1);
    validateWindow();
    ChangeList list;
    moveSideways(DIRECTION_RIGHT, list);
    applyChanges(list, false);

    EXPECT_EQ(sentMessages(), (std::vector<Bytes>{{0, 4, 3, 7, 7, 7, 7, 0}}));
    expectImageShowsBoard(true);
    EXPECT_EQ(imageCellCode(*clientState().ownBoardDc, 3, 7), EMPTY_CELL);
    EXPECT_EQ(imageCellCode(*clientState().ownBoardDc, 7, 7), 0);
    EXPECT_EQ(updateRect(), TEST_BOARD_AREA);
}

TEST_F(ApplyChanges, EmptyListDoesNothingUnlessTheWholeWindowIsAsked) {
    validateWindow();
    ChangeList list;
    terminateList(list, 0);
    applyChanges(list, false);
    EXPECT_TRUE(sentMessages().empty());
    EXPECT_EQ(updateRect(), NO_UPDATE);

    applyChanges(list, true);
    EXPECT_TRUE(sentMessages().empty());
    EXPECT_EQ(updateRect(), TEST_WHOLE_WINDOW);
    expectImageShowsBoard(false);
}

TEST_F(ApplyChanges, TwentyFourEntriesMakeASeventyFourByteMessage) {
    ChangeList list;
    for (int i = 0; i < 24; ++i) list[i] = {i % 10, 10 + i / 10, i % 9};
    terminateList(list, 24);
    applyChanges(list, false);
    std::vector<Bytes> sent = sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_EQ(sent[0].size(), 74u);
    EXPECT_EQ(sent[0][71], 3);
    EXPECT_EQ(sent[0][72], 12);
    EXPECT_EQ(sent[0][73], 23 % 9);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(imageCellCode(*clientState().ownBoardDc, i % 10, 10 + i / 10), i % 9);
}

TEST_F(ApplyChanges, OverlongListIsNotSentButStillDrawn) {
    // 84 entries fit a frame exactly (254 bytes); 85 do not (257 bytes).
    std::vector<CellChange> list(86);
    for (int i = 0; i < 85; ++i) list[size_t(i)] = {i % 10, i / 10, 5};
    list[84].column = -1;
    applyChanges(list.data(), false);
    std::vector<Bytes> sent = sentMessages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].size(), 254u);

    list[84] = {4, 8, 5};
    list[85].column = -1;
    validateWindow();
    consoleCaptureBegin();
    applyChanges(list.data(), false);
    std::string console = consoleCaptureEnd();
    EXPECT_EQ(console, "Warnung: Das empfangene Kommando ist zu gross (257 Bytes). "
                       "Die Daten wurden nicht uebermittelt.\n");
    EXPECT_TRUE(sentMessages().empty());
    for (int i = 0; i < 85; ++i) EXPECT_EQ(imageCellCode(*clientState().ownBoardDc, i % 10, i / 10), 5);
    EXPECT_EQ(updateRect(), TEST_BOARD_AREA);
}

}  // namespace
