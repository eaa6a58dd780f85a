// The engine's hot paths: one move (recorders, message, drawing,
// invalidation) and one landing that clears four rows and spawns the next
// piece. The messages go out on a real socket pair whose far end is drained
// now and then, the window is a headless one.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/client_state.h"
#include "core/random.h"
#include "engine/board.h"
#include "engine/landing.h"
#include "engine/piece.h"
#include "platform/headless.h"
#include "platform/surface.h"
#include "platform/window.h"

namespace {

// A client with a window, the own board image and a socket to the drain.
struct BenchClient {
    int drain = -1;

    BenchClient() {
        resetClientState();
        headlessReset();
        platformInit();
        ClientState& s = clientState();
        s.mainWindow = createWindow("bench", 640, 480, defaultWindowProc);
        s.ownBoardDc = createSurface(BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT);
        setPenColor(*s.ownBoardDc, BOARD_FRAME_COLOR);
        setBrushColor(*s.ownBoardDc, BOARD_GREY);
        drawRectangle(*s.ownBoardDc, 0, 0, BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT);
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM, 0, fds);
        s.sock = fds[0];
        drain = fds[1];
        seedRandom(1);
        clearBoard();
        s.playing = true;
    }

    ~BenchClient() {
        ClientState& s = clientState();
        close(s.sock);
        close(drain);
        destroySurface(s.ownBoardDc);
        headlessReset();
        resetClientState();
    }

    // Empties the socket (a Unix socket holds only a few hundred small sends)
    // and the event queue (timer events pile up otherwise).
    void drainAll() const {
        uint8_t buffer[65536];
        while (recv(drain, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
        }
        WindowEvent event;
        while (peekEvent(event) && event.code != WM_PAINT) {
        }
        Rect update;
        if (getUpdateRect(clientState().mainWindow, update)) {
            beginPaint(clientState().mainWindow, update);
            endPaint(clientState().mainWindow);
        }
    }
};

// A T moved left and right in turn: 2 to 4 entries per move, drawn and sent.
void BM_MoveSideways(benchmark::State& state) {
    BenchClient client;
    ClientState& s = clientState();
    s.currentPiece = PieceState{2, 3, 8, 0};
    int n = 0;
    for (auto _ : state) {
        ChangeList list;
        moveSideways((n & 1) ? DIRECTION_LEFT : DIRECTION_RIGHT, list);
        applyChanges(list, false);
        if ((++n & 15) == 0) client.drainAll();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MoveSideways);

// The recorders alone, without message or drawing.
void BM_RecordersOnly(benchmark::State& state) {
    BenchClient client;
    ClientState& s = clientState();
    s.currentPiece = PieceState{3, 3, 8, 0};
    for (auto _ : state) {
        ChangeList list;
        int32_t count = 0;
        recordErase(count, list);
        s.currentPiece.rotation = (s.currentPiece.rotation + 1) & 3;
        recordPiece(count, list);
        benchmark::DoNotOptimize(list);
    }
}
BENCHMARK(BM_RecordersOnly);

// A vertical bar dropped into column 9 completes rows 16..19: the drop's
// message, four row removals with their image moves, RowsCleared, Lines and
// the next piece. The board is laid out afresh each time (200 bytes).
void BM_LandingFourRows(benchmark::State& state) {
    BenchClient client;
    ClientState& s = clientState();
    Board stack;
    for (int column = 0; column < BOARD_COLUMNS; ++column)
        for (int row = 0; row < BOARD_ROWS; ++row)
            boardCell(stack, column, row) = (row >= 16 && column < 9) ? uint8_t(row % 7) : EMPTY_CELL;
    int n = 0;
    for (auto _ : state) {
        s.board = stack;
        s.currentPiece = PieceState{0, 6, 0, 1};
        s.nextPiece.type = 0;
        ChangeList list;
        hardDrop(list);
        applyChanges(list, false);
        lockAndContinue(list);
        if (!s.playing) state.SkipWithError("the landing lost the game");
        if ((++n & 7) == 0) client.drainAll();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LandingFourRows);

// One drawCell, the unit of every image update.
void BM_DrawCell(benchmark::State& state) {
    BenchClient client;
    int n = 0;
    for (auto _ : state) {
        drawCell(*clientState().ownBoardDc, n % CELL_CODES, n % BOARD_COLUMNS, n % BOARD_ROWS, 1, 1);
        ++n;
    }
}
BENCHMARK(BM_DrawCell);

}  // namespace

BENCHMARK_MAIN();
