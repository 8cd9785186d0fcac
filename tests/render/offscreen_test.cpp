// The renderer's framebuffer against a real OpenGL context: its rows are read where they belong,
// from two contexts at once, and everything made is deleted.
#include "../scene/gl_context.h"
#include "render/offscreen.h"

#include <algorithm>
#include <thread>
#include <vector>

using Offscreen = GlContextTest;

// Rows of a frame read a strip at a time, by this context and by a second one on another thread
// at once, as the renderer reads them, land where a whole read puts them.
TEST_F(Offscreen, StripsReadFromTwoContextsAtOnceMakeTheWholeFrame) {
    const int width = 2048, height = 75; // three strips, the last one odd
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(createOffscreenTarget(target, width, height, error)) << error;
    const int rows = stripRows(target);
    ASSERT_EQ(rows % 2, 0);
    ASSERT_LT(2 * rows, height);
    glEnable(GL_SCISSOR_TEST);
    for (int y = 0; y < height; ++y) {
        glScissor(0, y, width, 1);
        glClearColor(static_cast<float>(y) / 255.0f, static_cast<float>(255 - 3 * y) / 255.0f,
                     static_cast<float>(y % 7) / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    glFinish();
    const size_t rowBytes = 4 * static_cast<size_t>(width);
    std::vector<uint8_t> whole(rowBytes * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, whole.data());

    // Each context reads every strip, into rows top first, many times over.
    auto readAll = [&](const OffscreenTarget& from, std::vector<uint8_t>& topFirst) {
        std::vector<uint8_t> strip;
        topFirst.resize(whole.size());
        for (int pass = 0; pass < 20; ++pass) {
            for (int first = 0; first < height; first += rows) {
                const int count = std::min(rows, height - first);
                readTargetRows(from, first, count, strip);
                for (int r = 0; r < count; ++r) {
                    std::copy_n(&strip[rowBytes * (count - 1 - r)], rowBytes,
                                &topFirst[rowBytes * (first + r)]);
                }
            }
        }
    };
    void* second = createSharedContext(headless);
    ASSERT_NE(second, nullptr);
    std::vector<uint8_t> bySecond, byThis;
    std::thread other([&] {
        makeCurrentOnThisThread(headless, second);
        const OffscreenTarget view = sharedTargetView(target);
        readAll(view, bySecond);
        glDeleteFramebuffers(1, &view.framebuffer);
        makeCurrentOnThisThread(headless, nullptr);
    });
    readAll(target, byThis);
    other.join();
    destroySharedContext(headless, second);
    std::vector<uint8_t> expected(whole.size());
    for (int y = 0; y < height; ++y) {
        std::copy_n(&whole[rowBytes * (height - 1 - y)], rowBytes, &expected[rowBytes * y]);
    }
    EXPECT_EQ(byThis, expected);
    EXPECT_EQ(bySecond, expected);
    EXPECT_EQ(expected[0], height - 1); // the top row is the last one cleared
    const OffscreenTarget made = target;
    destroyOffscreenTarget(target);
    EXPECT_FALSE(glIsFramebuffer(made.framebuffer));
    EXPECT_FALSE(glIsTexture(made.color) || glIsRenderbuffer(made.depthStencil));
}

TEST_F(Offscreen, SizesUpToTheDriversLargest) {
    OffscreenTarget target;
    std::string tooLarge;
    EXPECT_FALSE(createOffscreenTarget(target, 99999, 8, tooLarge));
    EXPECT_NE(tooLarge.find("larger than this OpenGL driver draws"), std::string::npos);
    // The driver's largest side is drawn; one pixel more is not, across or down.
    GLint largestRenderbuffer = 0, largestViewport[2] = {};
    GLint largestTexture = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    const int largest = std::min(largestRenderbuffer, largestTexture);
    const int across = std::min(largest, largestViewport[0]);
    const int down = std::min(largest, largestViewport[1]);
    OffscreenTarget edge;
    EXPECT_TRUE(createOffscreenTarget(edge, across, 2, tooLarge)) << tooLarge;
    destroyOffscreenTarget(edge);
    EXPECT_TRUE(createOffscreenTarget(edge, 2, down, tooLarge)) << tooLarge;
    destroyOffscreenTarget(edge);
    EXPECT_FALSE(createOffscreenTarget(edge, across + 1, 2, tooLarge));
    EXPECT_FALSE(createOffscreenTarget(edge, 2, down + 1, tooLarge));
}
