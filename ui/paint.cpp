// Painting of the main window.
//
// Nothing draws on the window outside this handler: the other subsystems keep
// their off-screen images up to date and invalidate what changed; painting
// erases the update rectangle with the background and copies the images.
#include "ui/paint.h"

#include "core/client_state.h"
#include "platform/surface.h"
#include "ui/layout.h"

void paintWindow(Window* window) {
    ClientState& s = clientState();
    Rect update;
    if (!getUpdateRect(window, update)) return;
    Surface* frame = beginPaint(window, update);
    if (frame != nullptr) {
        fillRect(*frame, update, BACKGROUND_COLOR);
        if (s.ownBoardDc != nullptr) {
            copyBlock(*frame, boardLeft(), BOARD_TOP, BOARD_IMAGE_WIDTH, BOARD_IMAGE_HEIGHT,
                      *s.ownBoardDc, 0, 0);
        }
    }
    endPaint(window);
}
