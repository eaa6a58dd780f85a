// The fall tick, run on every FALL_TIMER_ID event (and once at once by the
// Level and Resume handling). The tick never restarts the timer itself: only
// a landing does, through lockAndContinue.
#include "engine/fall.h"

#include "core/client_state.h"
#include "engine/board.h"
#include "engine/landing.h"
#include "engine/piece.h"

void fallTick() {
    ClientState& s = clientState();
    if (!s.playing) return;
    ChangeList list;
    bool moved = stepDown(list);
    applyChanges(list, false);
    if (!moved) lockAndContinue(list);
}
