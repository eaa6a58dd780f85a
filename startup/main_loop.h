// The pieces of the client's life between the login dialogs and the exit:
// connection, handshake, window set-up, main loop and shutdown. runClient
// (startup/start.h) runs them in order on SERVER_PORT; tests run them on a
// port of their own.
#pragma once

#include <cstdint>

// Connection
// Prints "Versuche, einen kobal-Server auf localhost zu starten.", starts the
// server program with "-once" without waiting for it, then sleeps 1000 ms.
void startLocalServer();
// Opens sock and connects it to serverAddress:port. With a defaulted address
// a failed first attempt starts a local server and tries once more, on a new
// socket. False when no connection was made (sock may still be open).
bool connectToServer(uint16_t port);
// Nick, whose outcome is not looked at, then Version. False when the Version
// frame did not go out whole.
bool sendHandshake();

// Window
// Layout, main window, fall timer, own board image, whole window invalidated.
// Clears running when the window cannot be made or the timer not started.
void setUpWindow();

// Loop
// Until the window is closed or the server closes the connection: one window
// event per iteration, else one poll of the socket whose bytes are split into
// frames and handed to handleMessage, then 1 ms of sleep.
void runMainLoop();

// Shutdown
// Releases what exists, in order: fall timer, own board image, socket,
// server address, opponent table; then the window and the platform.
void shutDown();

// From the connection to the exit status (0), with nickName, nickLength,
// serverAddress and addressDefaulted already set.
int runConnected(uint16_t port);
