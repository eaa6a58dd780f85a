// The start sequence, the main loop and the shutdown of the client.
#pragma once

// The whole life of the client process; returns its exit status
// (-1 when no nick was given, else 0).
int runClient();
