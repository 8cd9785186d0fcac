// The renderer's framebuffer and its asynchronous readback through pixel buffer objects.
#pragma once

#include <glad/gl.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Colour and depth-stencil formats as the player's window gets them, drawn the same way up.
struct OffscreenTarget {
    GLuint framebuffer = 0;
    GLuint color = 0;
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

// A ring of persistently mapped pack buffers: a frame is read into one while the encoder works
// on the pixels of another, so drawing never waits for the copy to the CPU.
struct ReadbackRing {
    std::vector<GLuint> buffers;
    std::vector<const uint8_t*> pixels;
    std::vector<GLsync> fences;
    size_t frameBytes = 0;
};

void createReadbackRing(ReadbackRing& ring, const OffscreenTarget& target, int slotCount);
// Queues the copy of the target's pixels (RGBA, bottom row first) into the slot's buffer.
void startReadback(ReadbackRing& ring, int slot, const OffscreenTarget& target);
// Waits until the slot's copy has landed; its pixels can then be read from any thread.
void finishReadback(ReadbackRing& ring, int slot);
void destroyReadbackRing(ReadbackRing& ring);
