// The main window's procedure: closing, the fall timer and the first painting.
#include <gtest/gtest.h>

#include "core/client_state.h"
#include "engine/board.h"
#include "platform/headless.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "ui/layout.h"
#include "ui/window_proc.h"

namespace {

constexpr Color WHITE = rgb(255, 255, 255);

class WindowProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetClientState();
        headlessReset();
        computeLayout();
        ClientState& s = clientState();
        s.mainWindow = createWindow("plumo v1.0", windowWidthFor(0), windowHeight(), windowProc);
        ASSERT_NE(s.mainWindow, nullptr);
        s.ownBoardDc = createSurface(162, 322);
        fillRect(*s.ownBoardDc, Rect{0, 0, 162, 322}, rgb(1, 2, 3));
        clearBoard();
    }
    void TearDown() override {
        ClientState& s = clientState();
        destroySurface(s.ownBoardDc);
        headlessReset();
        resetClientState();
    }
    // Takes events until one with the code comes; false when the queue ran dry first.
    static bool takeUntil(uint32_t code) {
        WindowEvent event{};
        while (peekEvent(event)) {
            if (event.code == code) return true;
            if (event.code != WM_QUIT) dispatchEvent(event);
        }
        return false;
    }
};

TEST_F(WindowProcTest, CloseDestroysTheMainWindowAndQuits) {
    ClientState& s = clientState();
    EXPECT_EQ(windowProc(s.mainWindow, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(s.mainWindow, nullptr);
    EXPECT_EQ(headlessLastWindow(), nullptr);
    EXPECT_TRUE(takeUntil(WM_QUIT));
}

TEST_F(WindowProcTest, FallTimerStepsThePieceOnlyWhilePlaying) {
    ClientState& s = clientState();
    s.currentPiece = PieceState{0, 3, 5, 0};
    struct Case {
        bool playing;
        uint32_t timer;
        int32_t rowAfter;
    };
    const Case cases[] = {
        {false, FALL_TIMER_ID, 5},
        {true, OWN_FADE_TIMER_ID + 20, 5},  // no fade runs: not a fall step either
        {true, FALL_TIMER_ID, 6},
        {true, FALL_TIMER_ID, 7},
    };
    for (const Case& c : cases) {
        s.playing = c.playing;
        EXPECT_EQ(windowProc(s.mainWindow, WM_TIMER, c.timer, 0), 0);
        EXPECT_EQ(s.currentPiece.y, c.rowAfter) << "playing " << c.playing << " timer " << c.timer;
    }
}

TEST_F(WindowProcTest, PaintErasesTheUpdateAreaAndCopiesTheBoardInsideItOnly) {
    ClientState& s = clientState();
    takeUntil(WM_QUIT);  // handles what the creation queued, the first paint included
    Surface& frame = *windowFrame(s.mainWindow);
    fillRect(frame, Rect{0, 0, frame.width, frame.height}, WHITE);

    int32_t left = boardLeft();
    const Rect update{left - 4, 2, left + 10, 20};
    invalidateRect(s.mainWindow, &update);
    EXPECT_EQ(windowProc(s.mainWindow, WM_PAINT, 0, 0), 0);

    EXPECT_EQ(getPixel(frame, left - 4, 2), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, left, 5), BACKGROUND_COLOR);
    EXPECT_EQ(getPixel(frame, left, 6), rgb(1, 2, 3));
    EXPECT_EQ(getPixel(frame, left + 9, 19), rgb(1, 2, 3));
    EXPECT_EQ(getPixel(frame, left + 10, 19), WHITE) << "right of the update area";
    EXPECT_EQ(getPixel(frame, left + 9, 20), WHITE) << "below the update area";
    EXPECT_EQ(getPixel(frame, left - 5, 2), WHITE);
    EXPECT_EQ(getPixel(frame, left - 4, 1), WHITE);
    // Painting validated the area: a second paint event draws nothing.
    fillRect(frame, Rect{0, 0, frame.width, frame.height}, WHITE);
    EXPECT_EQ(windowProc(s.mainWindow, WM_PAINT, 0, 0), 0);
    EXPECT_EQ(getPixel(frame, left, 6), WHITE);
}

}  // namespace
