// The fall tick: one step of the falling piece on the FALL_TIMER_ID event.
#pragma once

// Runs one fall step while a game is played: stepDown, applyChanges, and on a
// landing lockAndContinue. Does nothing while clientState().playing is clear.
void fallTick();
