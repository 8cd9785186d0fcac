// The renderer's framebuffer and the copy of its pixels to the CPU.
#pragma once

#include <glad/gl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Colour and depth-stencil formats as the player's window gets them, drawn the same way up.
struct OffscreenTarget {
    GLuint framebuffer = 0;
    GLuint color = 0; // a texture
    GLuint depthStencil = 0;
    int width = 0;
    int height = 0;
};

// Whether the driver draws the targets below as it draws its windows (it says so by offering to
// flip them as it flips its windows): then a window shows, pixel for pixel, what a target holds.
bool targetsDrawLikeWindows();

// Creates the target and binds it for drawing and reading; false with a reason if the driver
// cannot make one that size.
bool createOffscreenTarget(OffscreenTarget& target, int width, int height, std::string& error);
void destroyOffscreenTarget(OffscreenTarget& target);
// The same target seen from another context that shares its objects: framebuffers themselves
// are not shared. The caller deletes it in that context.
OffscreenTarget sharedTargetView(const OffscreenTarget& target);

// Rows the target is read in at a time: few enough to stay in a core's own cache while they are
// converted, and an even number.
int stripRows(const OffscreenTarget& target);
// Reads rows firstRow to firstRow + rowCount - 1 of the target, counted from the top, into the
// buffer (grown as needed) as RGBA, bottom row first. The target's drawing must have finished.
void readTargetRows(const OffscreenTarget& target, int firstRow, int rowCount,
                    std::vector<uint8_t>& pixels);
