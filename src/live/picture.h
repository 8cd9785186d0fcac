// The live preview's picture: drawn into the renderer's own kind of framebuffer, then shown.
#pragma once

#include "render/offscreen.h"

struct LivePicture {
    OffscreenTarget target;
    bool toldDirect = false; // said once that the window is drawn into directly
};

// Binds a target of the window's size for the frame's scene and for reading it back, making it
// again when the size changed. Where the driver cannot make one the window itself is bound, and
// that is said once on standard error.
void beginPicture(LivePicture& picture, int width, int height);
// Copies the picture into the window and leaves the window's framebuffer bound for the display.
void showPicture(const LivePicture& picture);
void releasePicture(LivePicture& picture);
