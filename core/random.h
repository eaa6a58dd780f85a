// The one pseudo-random generator of the client: linear congruential,
// state = state * 214013 + 2531011 (mod 2^32), result = bits 16..30 of the
// new state (0..32767). Peers and replays rely on this exact sequence and on
// the order of draws, so every random choice goes through randomDraw.
#pragma once

#include <cstdint>

void seedRandom(uint32_t seed);  // once per process, with time(NULL)
int32_t randomDraw();            // 0..32767
