// The renderer's framebuffer and readback ring against a real OpenGL context: pixels land, and
// everything made is deleted.
#include "../scene/gl_context.h"
#include "render/offscreen.h"

#include <algorithm>

using Offscreen = GlContextTest;

TEST_F(Offscreen, FramesLandInTheRingAndNothingOutlivesIt) {
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(createOffscreenTarget(target, 64, 32, error)) << error;
    ReadbackRing ring;
    createReadbackRing(ring, target, 3);
    const OffscreenTarget made = target;
    const std::vector<GLuint> buffers = ring.buffers;
    for (int slot = 0; slot < 3; ++slot) {
        glClearColor(slot == 1 ? 1.0f : 0.0f, 0.0f, slot == 2 ? 1.0f : 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        startReadback(ring, slot, target);
    }
    for (int slot = 0; slot < 3; ++slot) {
        finishReadback(ring, slot);
        const uint8_t* last = ring.pixels[slot] + ring.frameBytes - 4;
        EXPECT_EQ((std::vector<int>{last[0], last[2], last[3]}),
                  (std::vector<int>{slot == 1 ? 255 : 0, slot == 2 ? 255 : 0, 255}));
    }
    EXPECT_EQ(ring.frameBytes, 64u * 32u * 4u);
    std::string tooLarge;
    EXPECT_FALSE(createOffscreenTarget(target, 99999, 8, tooLarge));
    EXPECT_NE(tooLarge.find("larger than this OpenGL driver draws"), std::string::npos);
    // The driver's largest side is drawn; one pixel more is not, across or down.
    GLint largestRenderbuffer = 0, largestViewport[2] = {};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    const int across = std::min(largestRenderbuffer, largestViewport[0]);
    const int down = std::min(largestRenderbuffer, largestViewport[1]);
    OffscreenTarget edge;
    EXPECT_TRUE(createOffscreenTarget(edge, across, 2, tooLarge)) << tooLarge;
    destroyOffscreenTarget(edge);
    EXPECT_TRUE(createOffscreenTarget(edge, 2, down, tooLarge)) << tooLarge;
    destroyOffscreenTarget(edge);
    EXPECT_FALSE(createOffscreenTarget(edge, across + 1, 2, tooLarge));
    EXPECT_FALSE(createOffscreenTarget(edge, 2, down + 1, tooLarge));
    destroyReadbackRing(ring);
    destroyOffscreenTarget(target);
    for (GLuint buffer : buffers) {
        EXPECT_FALSE(glIsBuffer(buffer));
    }
    EXPECT_FALSE(glIsFramebuffer(made.framebuffer));
    EXPECT_FALSE(glIsRenderbuffer(made.color) || glIsRenderbuffer(made.depthStencil));
}
