// The whole life of the client process, on its one thread:
//
//   1. seed the random generator with the calendar time
//   2. nick dialog (no nick: exit -1, nothing written, nothing opened)
//   3. address dialog (nothing given: "127.0.0.1", remembered as defaulted)
//   4. settings file
//   5. connect to the server (a defaulted address that nobody answers starts
//      a local server and tries once more)
//   6. handshake: Nick, then Version
//   7. layout, window, fall timer, own board image
//   8. main loop
//   9. shutdown
//
// Connection failures end the process with status 0 and no console line.
#include "startup/start.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

#include "core/client_state.h"
#include "core/random.h"
#include "engine/landing.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/surface.h"
#include "platform/window.h"
#include "protocol/incoming.h"
#include "protocol/receive.h"
#include "protocol/send.h"
#include "startup/login.h"
#include "startup/main_loop.h"
#include "ui/layout.h"
#include "ui/window_proc.h"

namespace {

constexpr Color OWN_BOARD_GREY = rgb(178, 178, 178);
constexpr Color BLACK = rgb(0, 0, 0);
// Bytes collected in one polling pass at most (64 reads of RECEIVE_CHUNK).
constexpr size_t RECEIVE_PASS_LIMIT = 64 * size_t(RECEIVE_CHUNK);

// Frees every opponent's board image and the opponent array. The opponent
// table's own module takes this over once it exists.
void releaseOpponentTable() {
    ClientState& s = clientState();
    if (s.opponents != nullptr) {
        for (int32_t i = 0; i < s.opponentCount; ++i) {
            destroySurface(s.opponents[i].boardDc);
            s.opponents[i].boardDc = nullptr;
        }
        std::free(s.opponents);
    }
    s.opponents = nullptr;
    s.opponentCount = 0;
}

// Copies the dialog's nick into nickName, cut to 15 bytes.
void takeNick(const char* nick) {
    ClientState& s = clientState();
    size_t length = std::strlen(nick);
    if (length > sizeof s.nickName - 1) length = sizeof s.nickName - 1;
    std::memset(s.nickName, 0, sizeof s.nickName);
    std::memcpy(s.nickName, nick, length);
    s.nickLength = int32_t(length);
}

}  // namespace

// Connection

void startLocalServer() {
    consolePrintf("Versuche, einen kobal-Server auf localhost zu starten.\n");
    startDetached(SERVER_PROGRAM, "-once");  // a failed start shows as a failed connect
    sleepMs(LOCAL_SERVER_WAIT_MS);
}

bool connectToServer(uint16_t port) {
    ClientState& s = clientState();
    if (s.serverAddress == nullptr) return false;
    s.sock = socketOpen();
    if (s.sock == INVALID_SOCKET_HANDLE) return false;
    if (socketConnect(s.sock, s.serverAddress, port)) return true;
    if (!s.addressDefaulted) return false;

    startLocalServer();
    // POSIX leaves a socket in an undefined state after a failed connect: the second
    // attempt gets a new one.
    socketClose(s.sock);
    s.sock = socketOpen();
    if (s.sock == INVALID_SOCKET_HANDLE) return false;
    return socketConnect(s.sock, s.serverAddress, port);
}

bool sendHandshake() {
    sendNick();  // the server answers a missing nick itself; only the Version counts
    return sendVersion();
}

// Window

void setUpWindow() {
    ClientState& s = clientState();
    computeLayout();
    if (!platformInit()) {
        s.running = false;  // no display: nothing to show, straight to the shutdown
        return;
    }
    // The class name WINDOW_CLASS_NAME has no counterpart here: the window
    // gets its procedure and background directly.
    s.mainWindow = createWindow(WINDOW_TITLE, windowWidthFor(0), windowHeight(), windowProc);
    if (s.mainWindow == nullptr) {
        s.running = false;
        return;
    }
    setWindowBackground(s.mainWindow, BACKGROUND_COLOR);

    if (!setTimer(s.mainWindow, FALL_TIMER_ID, fallDelayMs(s.speedLevel))) s.running = false;

    // The own board image: grey with a black outline one pixel wide.
    s.ownBoardDc = createSurface(BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT);
    if (s.ownBoardDc != nullptr) {
        setPenColor(*s.ownBoardDc, BLACK);
        setBrushColor(*s.ownBoardDc, OWN_BOARD_GREY);
        drawRectangle(*s.ownBoardDc, 0, 0, BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT);
    }
    invalidateRect(s.mainWindow, nullptr);
}

// Loop

void runMainLoop() {
    ClientState& s = clientState();
    ReceiveBuffer received;  // also holds a frame that has not fully arrived
    uint8_t chunk[RECEIVE_CHUNK];
    uint32_t lastEventCode = 0;

    while (s.running && lastEventCode != WM_QUIT) {
        WindowEvent event{};
        if (peekEvent(event)) {
            lastEventCode = event.code;
            if (event.code != WM_QUIT) dispatchEvent(event);  // WM_QUIT has no window
            continue;
        }

        if (socketPoll(s.sock) > 0) {
            // Everything that is ready, up to a bound, so that a server that
            // never pauses can neither starve the window nor grow the buffer
            // without end; the rest waits in the socket for the next pass.
            do {
                int count = socketReceive(s.sock, chunk, RECEIVE_CHUNK);
                if (count <= 0) {  // closed by the server, or an error
                    s.running = false;
                    break;
                }
                appendReceived(received, chunk, count);
            } while (received.bytes.size() < RECEIVE_PASS_LIMIT && socketPoll(s.sock) > 0);
            handleCompleteFrames(received, handleMessage);
        }

        sleepMs(LOOP_IDLE_MS);
    }
}

// Shutdown

void shutDown() {
    ClientState& s = clientState();
    if (s.mainWindow != nullptr) killTimer(s.mainWindow, FALL_TIMER_ID);
    destroySurface(s.ownBoardDc);
    s.ownBoardDc = nullptr;
    socketClose(s.sock);
    s.sock = INVALID_SOCKET_HANDLE;
    std::free(s.serverAddress);
    s.serverAddress = nullptr;
    releaseOpponentTable();

    // A window still open (the server ended the connection) goes with the process.
    if (s.mainWindow != nullptr) {
        Window* window = s.mainWindow;
        s.mainWindow = nullptr;
        destroyWindow(window);
    }
    s.running = false;
}

int runConnected(uint16_t port) {
    ClientState& s = clientState();
    if (connectToServer(port) && sendHandshake()) {
        s.running = true;
        setUpWindow();
        runMainLoop();
    }
    shutDown();
    return 0;
}

int runClient() {
    ClientState& s = clientState();
    seedRandom(uint32_t(std::time(nullptr)));

    char* nick = runLoginDialog(LoginDialogKind::Nick);
    if (nick == nullptr || nick[0] == '\0') {
        std::free(nick);
        platformShutdown();  // the dialog's window and the display go with it
        return -1;
    }
    takeNick(nick);
    std::free(nick);

    char* address = runLoginDialog(LoginDialogKind::ServerAddress);
    if (address == nullptr || address[0] == '\0') {
        std::free(address);
        s.serverAddress = strdup(DEFAULT_SERVER_ADDRESS);
        s.addressDefaulted = true;
    } else {
        s.serverAddress = address;
        s.addressDefaulted = false;
    }
    saveSettings();

    int status = runConnected(SERVER_PORT);
    platformShutdown();
    return status;
}
