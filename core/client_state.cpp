#include "core/client_state.h"

#include <cstring>

namespace {
ClientState theClientState;
bool initialised = false;
}

ClientState& clientState() {
    if (!initialised) resetClientState();
    return theClientState;
}

void resetClientState() {
    initialised = true;
    ClientState& s = theClientState;
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    s.sock = INVALID_SOCKET_HANDLE;
    s.speedLevel = 5;
    s.ownFadeStep = -1;
    s.serverVersionLevel = -1;
    s.nextLabelRect = Rect{6, 6, 0, 0};
}
