// Painting of the main window, in answer to its paint event.
#pragma once

#include "platform/window.h"

// Draws everything that lies in the window's update rectangle and validates
// it. Returns at once when nothing is invalid.
void paintWindow(Window* window);
