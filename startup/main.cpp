#include <csignal>

#include "startup/start.h"

int main() {
    // The console log may be a pipe that its reader closed (plumo | head): a
    // failed write must not end the game. Sockets never raise the signal anyway.
    std::signal(SIGPIPE, SIG_IGN);
    return runClient();
}
