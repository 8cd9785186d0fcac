// The live preview's picture: drawn into the renderer's own kind of framebuffer, then shown.
#include "live/picture.h"

#include <iostream>

// Drawn where the renderer draws, the picture is the renderer's frame by construction, on any
// driver; the copy into the window is pixel for pixel, both being the same size and format.
// A driver that draws targets as it draws windows needs no copy at all.
void beginPicture(LivePicture& picture, int width, int height) {
    OffscreenTarget& target = picture.target;
    // Where windows are drawn as targets are, the window is the picture, and no copy is paid.
    if (targetsDrawLikeWindows()) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return;
    }
    if (target.framebuffer && (target.width != width || target.height != height)) {
        destroyOffscreenTarget(target);
    }
    if (!target.framebuffer && width > 0 && height > 0) {
        std::string error;
        if (!createOffscreenTarget(target, width, height, error) && !picture.toldDirect) {
            std::cerr << "prismwafer-live: " << error
                      << "; the window is drawn into directly, and may differ from the renderer"
                      << std::endl;
            picture.toldDirect = true;
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
}

void showPicture(const LivePicture& picture) {
    const OffscreenTarget& target = picture.target;
    if (target.framebuffer) {
        glBlitNamedFramebuffer(target.framebuffer, 0, 0, 0, target.width, target.height, 0, 0,
                               target.width, target.height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void releasePicture(LivePicture& picture) {
    if (picture.target.framebuffer) {
        destroyOffscreenTarget(picture.target);
    }
}
