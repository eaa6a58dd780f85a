#include "core/random.h"

#include "core/client_state.h"

void seedRandom(uint32_t seed) {
    ClientState& s = clientState();
    s.randomState = seed;
}

int32_t randomDraw() {
    ClientState& s = clientState();
    s.randomState = s.randomState * 214013u + 2531011u;
    return int32_t((s.randomState >> 16) & 0x7FFF);
}
