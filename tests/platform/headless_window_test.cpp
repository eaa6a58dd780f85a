// The headless window backend: queue order, paint cycle, closing, timers on
// the virtual clock.
#include <gtest/gtest.h>

#include <vector>

#include "platform/headless.h"
#include "platform/surface.h"
#include "platform/window.h"

namespace {

struct Received {
    Window* window;
    uint32_t code;
    uintptr_t wParam;
    uint64_t atMs;  // clockMs() when the procedure saw it
};

// What the test procedure saw, and how it behaves.
std::vector<Received> received;
bool postQuitOnDestroy = false;
bool ignorePaint = false;                 // return 0 for WM_PAINT without validating
Color paintFill = 0;                      // colour a paint fills the whole frame with
bool paintFills = false;
Window* destroyAgainOnDestroy = nullptr;  // destroyWindow(this) from inside WM_DESTROY
bool setTimerOnDestroy = false;

intptr_t recordingProc(Window* window, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    received.push_back(Received{window, code, wParam, clockMs()});
    switch (code) {
    case WM_DESTROY:
        if (destroyAgainOnDestroy == window) {
            destroyWindow(window);
        }
        if (setTimerOnDestroy) {
            setTimer(window, 99, 10);
            invalidateRect(window, nullptr);
        }
        if (postQuitOnDestroy) {
            postQuitMessage(7);
        }
        return 0;
    case WM_PAINT:
        if (ignorePaint) {
            return 0;
        }
        if (paintFills) {
            Rect update;
            Surface* frame = beginPaint(window, update);
            fillRect(*frame, Rect{-100, -100, 10000, 10000}, paintFill);
            endPaint(window);
            return 0;
        }
        return defaultWindowProc(window, code, wParam, lParam);
    case WM_CHAR:
        return intptr_t(wParam) + 1;  // lets sendEvent show the procedure's result
    default:
        return defaultWindowProc(window, code, wParam, lParam);
    }
}

// Dispatches everything queued (paints included) and returns the codes taken.
std::vector<uint32_t> drainCodes() {
    std::vector<uint32_t> codes;
    WindowEvent event;
    while (peekEvent(event)) {
        codes.push_back(event.code);
        dispatchEvent(event);
    }
    return codes;
}

std::vector<Received> timerTicks() {
    std::vector<Received> ticks;
    for (const Received& entry : received) {
        if (entry.code == WM_TIMER) {
            ticks.push_back(entry);
        }
    }
    return ticks;
}

class HeadlessWindow : public ::testing::Test {
protected:
    void SetUp() override {
        headlessReset();
        received.clear();
        postQuitOnDestroy = false;
        ignorePaint = false;
        paintFills = false;
        paintFill = 0;
        destroyAgainOnDestroy = nullptr;
        setTimerOnDestroy = false;
    }
    void TearDown() override { headlessReset(); }

    // A window whose creation events (activation, first paint) are handled.
    Window* settledWindow(int32_t width = 100, int32_t height = 80) {
        Window* window = createWindow("plumo v1.0", width, height, recordingProc);
        drainCodes();
        received.clear();
        return window;
    }
};

// --- Timers on the virtual clock ------------------------------------------------------

TEST_F(HeadlessWindow, TimersOfDifferentPeriodsFireInDueOrderTiesBySettingOrder) {
    Window* window = settledWindow();
    ASSERT_TRUE(setTimer(window, 1, 30));
    ASSERT_TRUE(setTimer(window, 2, 50));
    for (int step = 0; step < 15; ++step) {
        headlessAdvance(10);
        drainCodes();
    }
    struct Tick {
        uint64_t atMs;
        uint32_t id;
    };
    const Tick expected[] = {{30, 1}, {50, 2}, {60, 1}, {90, 1}, {100, 2}, {120, 1}, {150, 1}, {150, 2}};
    std::vector<Received> ticks = timerTicks();
    ASSERT_EQ(ticks.size(), std::size(expected));
    for (size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].atMs, expected[i].atMs) << "tick " << i;
        EXPECT_EQ(ticks[i].wParam, expected[i].id) << "tick " << i;
        EXPECT_EQ(ticks[i].window, window);
    }
}

TEST_F(HeadlessWindow, OneLongAdvanceQueuesEveryExpiryInDueOrder) {
    Window* window = settledWindow();
    setTimer(window, 1, 30);
    setTimer(window, 2, 50);
    headlessAdvance(100);
    EXPECT_EQ(clockMs(), 100u);
    std::vector<uint32_t> ids;
    WindowEvent event;
    while (peekEvent(event)) {
        ASSERT_EQ(event.code, uint32_t(WM_TIMER));
        ids.push_back(uint32_t(event.wParam));
        dispatchEvent(event);
    }
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 1, 1, 2}));
}

TEST_F(HeadlessWindow, TimerSetAgainRunsAtTheNewRhythmFromThatMoment) {
    Window* window = settledWindow();
    setTimer(window, 5, 100);
    for (int step = 0; step < 25; ++step) {
        headlessAdvance(10);
        drainCodes();
    }
    ASSERT_EQ(clockMs(), 250u);
    ASSERT_TRUE(setTimer(window, 5, 40));
    EXPECT_EQ(headlessTimerPeriod(window, 5), 40u);
    for (int step = 0; step < 13; ++step) {
        headlessAdvance(10);
        drainCodes();
    }
    std::vector<uint64_t> times;
    for (const Received& tick : timerTicks()) {
        times.push_back(tick.atMs);
    }
    EXPECT_EQ(times, (std::vector<uint64_t>{100, 200, 290, 330, 370}));
}

TEST_F(HeadlessWindow, RestartAndKillDropTicksStillQueued) {
    Window* window = settledWindow();
    setTimer(window, 5, 100);
    headlessAdvance(300);  // three ticks of the old rhythm queued
    setTimer(window, 5, 1000);
    EXPECT_TRUE(drainCodes().empty());

    setTimer(window, 6, 50);
    headlessAdvance(1000);  // a tick of 5 and twenty of 6
    ASSERT_TRUE(killTimer(window, 6));
    std::vector<uint32_t> codes = drainCodes();
    ASSERT_EQ(codes.size(), 1u);
    EXPECT_EQ(timerTicks().at(0).wParam, 5u);
}

TEST_F(HeadlessWindow, KilledTimerStopsAndIsNoLongerActive) {
    Window* window = settledWindow();
    setTimer(window, 34678, 500);
    EXPECT_TRUE(headlessTimerActive(window, 34678));
    EXPECT_EQ(headlessTimerPeriod(window, 34678), 500u);
    headlessAdvance(500);
    drainCodes();
    ASSERT_EQ(timerTicks().size(), 1u);

    EXPECT_TRUE(killTimer(window, 34678));
    EXPECT_FALSE(killTimer(window, 34678));
    EXPECT_FALSE(headlessTimerActive(window, 34678));
    EXPECT_EQ(headlessTimerPeriod(window, 34678), 0u);
    headlessAdvance(5000);
    drainCodes();
    EXPECT_EQ(timerTicks().size(), 1u);
}

TEST_F(HeadlessWindow, ZeroPeriodIsRaisedToTheMinimumInsteadOfSpinning) {
    Window* window = settledWindow();
    ASSERT_TRUE(setTimer(window, 1, 0));
    EXPECT_EQ(headlessTimerPeriod(window, 1), 10u);
    headlessAdvance(35);
    EXPECT_EQ(drainCodes().size(), 3u);
}

TEST_F(HeadlessWindow, SleepAdvancesTheVirtualClockAndFiresTimers) {
    Window* window = settledWindow();
    setTimer(window, 34679, 50);
    EXPECT_EQ(clockMs(), 0u);
    sleepMs(49);
    EXPECT_EQ(clockMs(), 49u);
    EXPECT_TRUE(drainCodes().empty());
    sleepMs(1);
    EXPECT_EQ(clockMs(), 50u);
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_TIMER}));
    EXPECT_EQ(timerTicks().at(0).wParam, 34679u);
}

TEST_F(HeadlessWindow, WaitEventJumpsToTheNextTimerAndFailsWhenNothingCanCome) {
    Window* window = createWindow("plumo v1.0", 100, 80, recordingProc);
    WindowEvent event;
    // What is there comes first, without moving the clock.
    ASSERT_TRUE(waitEvent(event));
    EXPECT_EQ(event.code, WM_ACTIVATE);
    ASSERT_TRUE(waitEvent(event));
    EXPECT_EQ(event.code, WM_PAINT);
    dispatchEvent(event);
    EXPECT_EQ(clockMs(), 0u);

    setTimer(window, 3, 70);
    setTimer(window, 4, 200);
    ASSERT_TRUE(waitEvent(event));
    EXPECT_EQ(event.code, WM_TIMER);
    EXPECT_EQ(event.wParam, 3u);
    EXPECT_EQ(clockMs(), 70u);

    killTimer(window, 3);
    killTimer(window, 4);
    EXPECT_FALSE(waitEvent(event));
}

TEST_F(HeadlessWindow, RealClockCoalescesTicksOfABusyProgram) {
    Window* window = settledWindow();
    headlessUseRealClock(true);
    uint64_t start = clockMs();
    setTimer(window, 8, 10);
    sleepMs(60);  // several periods pass unseen
    EXPECT_GE(clockMs(), start + 60);
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_TIMER}));

    WindowEvent event;
    ASSERT_TRUE(waitEvent(event));  // really waits for the next expiry
    EXPECT_EQ(event.code, WM_TIMER);
    EXPECT_GE(clockMs(), start + 70);
}

// --- Queue order and the paint cycle ----------------------------------------------------

TEST_F(HeadlessWindow, NewWindowIsActivatedThenPaintedWhole) {
    Window* window = createWindow("plumo v1.0", 100, 80, recordingProc);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(headlessLastWindow(), window);
    EXPECT_EQ(headlessUpdateRect(window), (Rect{0, 0, 100, 80}));
    EXPECT_EQ(windowClientWidth(window), 100);
    EXPECT_EQ(windowClientHeight(window), 80);
    Surface* frame = windowFrame(window);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(getPixel(*frame, 0, 0), rgb(255, 255, 255));
    EXPECT_EQ(getPixel(*frame, 99, 79), rgb(255, 255, 255));

    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_ACTIVATE, WM_PAINT}));
    EXPECT_EQ(received.at(0).wParam, 1u);
    EXPECT_EQ(headlessUpdateRect(window), (Rect{0, 0, 0, 0}));
}

TEST_F(HeadlessWindow, QueuedEventsComeBeforePaintAndPaintOnlyWhenQueueIsEmpty) {
    Window* window = settledWindow();
    invalidateRect(window, nullptr);
    headlessInject(window, WM_KEYDOWN, VK_LEFT, 0);
    headlessInject(window, WM_CHAR, 'a', 0);
    setTimer(window, 1, 10);
    headlessAdvance(10);
    headlessInject(window, WM_MOUSEMOVE, 0, pointParam(3, 4));

    WindowEvent event;
    std::vector<uint32_t> codes;
    while (peekEvent(event)) {
        codes.push_back(event.code);
        if (event.code == WM_KEYDOWN) {
            // Invalidating while events are queued does not overtake them.
            invalidateRect(window, nullptr);
        }
        dispatchEvent(event);
    }
    EXPECT_EQ(codes, (std::vector<uint32_t>{WM_KEYDOWN, WM_CHAR, WM_TIMER, WM_MOUSEMOVE, WM_PAINT}));
}

TEST_F(HeadlessWindow, UnvalidatedPaintRepeats) {
    Window* window = settledWindow();
    ignorePaint = true;
    invalidateRect(window, nullptr);
    WindowEvent event;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(peekEvent(event));
        EXPECT_EQ(event.code, WM_PAINT);
        dispatchEvent(event);
    }
    ignorePaint = false;
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_PAINT}));
    EXPECT_FALSE(peekEvent(event));
}

TEST_F(HeadlessWindow, UpdateRegionIsTheClippedBoundingRectangleOfInvalidations) {
    struct Case {
        const char* what;
        std::vector<Rect> invalidations;
        Rect expected;
    };
    const Case cases[] = {
        {"one rectangle", {{10, 10, 20, 20}}, {10, 10, 20, 20}},
        {"union of two", {{10, 10, 20, 20}, {30, 5, 40, 15}}, {10, 5, 40, 20}},
        {"contained adds nothing", {{10, 10, 50, 50}, {20, 20, 30, 30}}, {10, 10, 50, 50}},
        {"clipped at top left", {{-5, -7, 10, 10}}, {0, 0, 10, 10}},
        {"clipped at bottom right", {{90, 70, 200, 200}}, {90, 70, 100, 80}},
        {"wholly outside", {{200, 200, 300, 300}}, {0, 0, 0, 0}},
        {"empty rectangle", {{10, 10, 10, 20}}, {0, 0, 0, 0}},
        {"inverted rectangle", {{20, 20, 10, 10}}, {0, 0, 0, 0}},
        {"outside plus inside", {{-50, -50, -10, -10}, {5, 6, 7, 8}}, {5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        headlessReset();
        Window* window = settledWindow();
        for (const Rect& rect : c.invalidations) {
            invalidateRect(window, &rect);
        }
        EXPECT_EQ(headlessUpdateRect(window), c.expected);
        Rect update{1, 2, 3, 4};
        EXPECT_EQ(getUpdateRect(window, update), !(c.expected == Rect{0, 0, 0, 0}));
        EXPECT_EQ(update, c.expected);
    }
    Window* window = headlessLastWindow();
    invalidateRect(window, nullptr);
    EXPECT_EQ(headlessUpdateRect(window), (Rect{0, 0, 100, 80}));
}

TEST_F(HeadlessWindow, PaintValidatesAndDrawsOnlyInsideTheUpdateRectangle) {
    Window* window = settledWindow();
    Rect first{10, 10, 20, 20};
    Rect second{30, 30, 40, 40};
    invalidateRect(window, &first);
    invalidateRect(window, &second);
    paintFills = true;
    paintFill = rgb(200, 0, 0);
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_PAINT}));

    const Surface& frame = *windowFrame(window);
    const Color white = rgb(255, 255, 255);
    struct Probe {
        int32_t x;
        int32_t y;
        Color expected;
    };
    const Probe probes[] = {
        {9, 9, white},        {10, 10, paintFill}, {25, 25, paintFill}, {39, 39, paintFill},
        {40, 39, white},      {39, 40, white},     {50, 5, white},      {0, 0, white},
        {99, 79, white},      {10, 39, paintFill}, {9, 20, white},
    };
    for (const Probe& probe : probes) {
        EXPECT_EQ(getPixel(frame, probe.x, probe.y), probe.expected) << probe.x << "," << probe.y;
    }
    EXPECT_FALSE(frame.hasClip);
    Rect update;
    EXPECT_FALSE(getUpdateRect(window, update));
    WindowEvent event;
    EXPECT_FALSE(peekEvent(event));
}

TEST_F(HeadlessWindow, BeginPaintWithNothingInvalidDrawsNothing) {
    Window* window = settledWindow();
    Rect update{1, 1, 1, 1};
    Surface* frame = beginPaint(window, update);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(update, (Rect{0, 0, 0, 0}));
    fillRect(*frame, Rect{0, 0, 100, 80}, rgb(0, 0, 255));
    endPaint(window);
    EXPECT_EQ(getPixel(*frame, 50, 40), rgb(255, 255, 255));
}

TEST_F(HeadlessWindow, BackgroundFillsTheFrameAndWhatAResizeAdds) {
    Window* window = settledWindow(40, 30);
    const Color background = rgb(236, 233, 216);
    setWindowBackground(window, background);
    Surface* frame = windowFrame(window);
    EXPECT_EQ(getPixel(*frame, 0, 0), background);
    EXPECT_EQ(getPixel(*frame, 39, 29), background);

    setPixel(*frame, 5, 5, rgb(1, 2, 3));
    setPixel(*frame, 39, 29, rgb(4, 5, 6));
    ASSERT_TRUE(resizeWindowClient(window, 60, 20));
    frame = windowFrame(window);
    EXPECT_EQ(windowClientWidth(window), 60);
    EXPECT_EQ(windowClientHeight(window), 20);
    EXPECT_EQ(getPixel(*frame, 5, 5), rgb(1, 2, 3));
    EXPECT_EQ(getPixel(*frame, 39, 19), background);
    EXPECT_EQ(getPixel(*frame, 40, 0), background);
    EXPECT_EQ(getPixel(*frame, 59, 19), background);
    EXPECT_EQ(headlessUpdateRect(window), (Rect{0, 0, 60, 20}));

    ASSERT_TRUE(resizeWindowClient(window, 60, 40));
    frame = windowFrame(window);
    EXPECT_EQ(getPixel(*frame, 5, 5), rgb(1, 2, 3));
    EXPECT_EQ(getPixel(*frame, 39, 29), background);  // the pixel cut off before stays gone

    EXPECT_FALSE(resizeWindowClient(window, 0, 40));
    EXPECT_FALSE(resizeWindowClient(window, 60, -1));
    EXPECT_EQ(windowClientWidth(window), 60);
    EXPECT_EQ(createWindow("bad", 0, 10, recordingProc), nullptr);
    EXPECT_EQ(createWindow("bad", 10, 10, nullptr), nullptr);
}

// --- Closing and delivery ----------------------------------------------------------------

TEST_F(HeadlessWindow, CloseThroughDefaultHandlingDestroysAndQuitArrivesOnce) {
    Window* window = settledWindow();
    postQuitOnDestroy = true;
    headlessInject(window, WM_CLOSE, 0, 0);

    WindowEvent event;
    ASSERT_TRUE(peekEvent(event));
    EXPECT_EQ(event.code, WM_CLOSE);
    dispatchEvent(event);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].code, WM_CLOSE);
    EXPECT_EQ(received[1].code, WM_DESTROY);
    EXPECT_EQ(received[1].window, window);
    EXPECT_EQ(headlessLastWindow(), nullptr);

    ASSERT_TRUE(peekEvent(event));
    EXPECT_EQ(event.code, WM_QUIT);
    EXPECT_EQ(event.window, nullptr);
    EXPECT_EQ(event.wParam, 7u);
    EXPECT_EQ(dispatchEvent(event), 0);
    EXPECT_EQ(received.size(), 2u);
    EXPECT_FALSE(peekEvent(event));
}

TEST_F(HeadlessWindow, QuitPostedTwiceBeforeBeingTakenArrivesOnce) {
    settledWindow();
    postQuitMessage(0);
    postQuitMessage(0);
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_QUIT}));
}

TEST_F(HeadlessWindow, SendEventRunsTheProcedureAtOnce) {
    Window* window = settledWindow();
    headlessInject(window, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(sendEvent(window, WM_CHAR, 'x', 0), intptr_t('x') + 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].code, WM_CHAR);
    // The queued event is still there, behind nothing the send added.
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_KEYDOWN}));
}

TEST_F(HeadlessWindow, EventsForADestroyedWindowAreNeverDelivered) {
    Window* doomed = settledWindow();
    Window* other = settledWindow();
    headlessInject(doomed, WM_KEYDOWN, VK_LEFT, 0);
    headlessInject(other, WM_KEYDOWN, VK_RIGHT, 0);
    headlessInject(doomed, WM_CHAR, 'q', 0);
    setTimer(doomed, 1, 10);
    invalidateRect(doomed, nullptr);

    WindowEvent stale;
    ASSERT_TRUE(peekEvent(stale));  // taken but not yet dispatched
    ASSERT_EQ(stale.window, doomed);

    destroyWindow(doomed);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].code, WM_DESTROY);
    EXPECT_FALSE(headlessTimerActive(doomed, 1));
    received.clear();

    EXPECT_EQ(dispatchEvent(stale), 0);
    EXPECT_EQ(sendEvent(doomed, WM_CHAR, 'z', 0), 0);
    headlessInject(doomed, WM_KEYUP, VK_LEFT, 0);
    EXPECT_FALSE(setTimer(doomed, 2, 10));
    headlessAdvance(100);
    EXPECT_EQ(drainCodes(), (std::vector<uint32_t>{WM_KEYDOWN}));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].window, other);
    EXPECT_EQ(headlessLastWindow(), other);
}

TEST_F(HeadlessWindow, DestroyFromInsideDestroySendsOneDestroyAndLeavesNothingBehind) {
    Window* window = settledWindow();
    destroyAgainOnDestroy = window;
    setTimerOnDestroy = true;
    destroyWindow(window);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].code, WM_DESTROY);
    EXPECT_FALSE(headlessTimerActive(window, 99));
    headlessAdvance(100);
    EXPECT_TRUE(drainCodes().empty());
    destroyWindow(window);  // a second destroy of the same window is ignored
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(HeadlessWindow, DialogAndMainWindowLiveSideBySide) {
    Window* main = settledWindow(200, 100);
    Window* dialog = createWindow("plumo v1.0", 50, 20, recordingProc);
    EXPECT_EQ(headlessLastWindow(), dialog);
    invalidateRect(main, nullptr);
    std::vector<uint32_t> codes = drainCodes();
    EXPECT_EQ(codes, (std::vector<uint32_t>{WM_ACTIVATE, WM_PAINT, WM_PAINT}));
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].window, dialog);
    // Paints go in creation order.
    EXPECT_EQ(received[1].window, main);
    EXPECT_EQ(received[2].window, dialog);
    headlessInject(dialog, WM_CLOSE, 0, 0);
    drainCodes();
    EXPECT_EQ(headlessLastWindow(), main);
    EXPECT_EQ(windowClientWidth(main), 200);
}

TEST_F(HeadlessWindow, ResetDropsEverythingWithoutCallingProcedures) {
    Window* window = settledWindow();
    setTimer(window, 1, 10);
    headlessInject(window, WM_KEYDOWN, VK_SPACE, 0);
    headlessAdvance(100);
    postQuitMessage(0);
    headlessUseRealClock(true);
    headlessReset();
    EXPECT_TRUE(received.empty());
    EXPECT_EQ(headlessLastWindow(), nullptr);
    EXPECT_EQ(clockMs(), 0u);
    sleepMs(5);
    EXPECT_EQ(clockMs(), 5u);  // back on the virtual clock
    WindowEvent event;
    EXPECT_FALSE(peekEvent(event));
}

}  // namespace
