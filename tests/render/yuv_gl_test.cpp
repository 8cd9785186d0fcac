// The video's colour conversion on a headless context, byte for byte against a model of it.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "render/headless_context.h"
#include "render/offscreen.h"
#include "render/y4m.h"
#include "render/yuv_converter.h"

// The conversion as the stream defines it: BT.601, limited range, 8-bit fixed point; each chroma
// sample from the rounded average of its 2 x 2 block (smaller at odd edges); rows top first from
// pixels stored bottom first.
static std::vector<uint8_t> referenceI420(const std::vector<uint8_t>& rgbaBottomUp, int width,
                                          int height) {
    const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
    std::vector<uint8_t> out(i420FrameSize(width, height));
    auto at = [&](int x, int y, int c) {
        x = std::min(x, width - 1);
        y = std::min(y, height - 1);
        return static_cast<int>(
            rgbaBottomUp[(static_cast<size_t>(height - 1 - y) * width + x) * 4 + c]);
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            out[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(
                ((66 * at(x, y, 0) + 129 * at(x, y, 1) + 25 * at(x, y, 2) + 128) >> 8) + 16);
        }
    }
    uint8_t* blue = out.data() + static_cast<size_t>(width) * height;
    uint8_t* red = blue + static_cast<size_t>(chromaWidth) * chromaHeight;
    for (int y = 0; y < chromaHeight; ++y) {
        for (int x = 0; x < chromaWidth; ++x) {
            int c[3];
            for (int k = 0; k < 3; ++k) {
                const int sum = at(2 * x, 2 * y, k) + at(2 * x + 1, 2 * y, k) +
                                at(2 * x, 2 * y + 1, k) + at(2 * x + 1, 2 * y + 1, k);
                c[k] = (sum + 2) >> 2;
            }
            blue[y * chromaWidth + x] =
                static_cast<uint8_t>(((-38 * c[0] - 74 * c[1] + 112 * c[2] + 128) >> 8) + 128);
            red[y * chromaWidth + x] =
                static_cast<uint8_t>(((112 * c[0] - 94 * c[1] - 18 * c[2] + 128) >> 8) + 128);
        }
    }
    return out;
}

class YuvConversion : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string error;
        ready = createHeadlessContext(headless, error);
    }
    static void TearDownTestSuite() {
        if (ready) {
            destroyHeadlessContext(headless);
        }
    }
    void SetUp() override {
        ASSERT_TRUE(ready) << "no headless OpenGL 4.5 context";
    }

    // Puts the pixels in a target of that size, converts them and reads the planes back.
    static std::vector<uint8_t> convert(const std::vector<uint8_t>& rgbaBottomUp, int width,
                                        int height) {
        std::string error;
        OffscreenTarget target;
        EXPECT_TRUE(createOffscreenTarget(target, width, height, error)) << error;
        glTextureSubImage2D(target.color, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE,
                            rgbaBottomUp.data());
        YuvConverter converter;
        EXPECT_TRUE(createYuvConverter(converter, target, error)) << error;
        ReadbackRing ring;
        createReadbackRing(ring, i420FrameSize(width, height), 1);
        readYuvInto(ring, 0, converter, target);
        finishReadback(ring, 0);
        std::vector<uint8_t> planes(ring.pixels[0], ring.pixels[0] + ring.frameBytes);

        // The target is left bound for the next frame's drawing.
        GLint bound = 0, viewport[4] = {};
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
        glGetIntegerv(GL_VIEWPORT, viewport);
        EXPECT_EQ(static_cast<GLuint>(bound), target.framebuffer);
        EXPECT_EQ(viewport[2], width);
        EXPECT_EQ(viewport[3], height);

        destroyReadbackRing(ring);
        destroyYuvConverter(converter);
        destroyOffscreenTarget(target);
        return planes;
    }
    static inline HeadlessContext headless;
    static inline bool ready = false;
};

TEST_F(YuvConversion, MatchesTheModelOnRandomFramesOfAnySize) {
    std::mt19937 random(42);
    for (auto [width, height] : {std::pair{64, 36}, {7, 5}, {1, 1}, {2, 2}, {33, 2}, {320, 181}}) {
        std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
        for (uint8_t& byte : pixels) {
            byte = static_cast<uint8_t>(random());
        }
        EXPECT_EQ(convert(pixels, width, height), referenceI420(pixels, width, height))
            << width << "x" << height;
    }
}

TEST_F(YuvConversion, KnownColoursAndTheTopRowFirst) {
    // 2 x 2: bottom row black, top row white (alpha ignored).
    const std::vector<uint8_t> frame = {0,   0,   0,   255, 0,   0,   0,   255,
                                        255, 255, 255, 255, 255, 255, 255, 0};
    EXPECT_EQ(convert(frame, 2, 2), (std::vector<uint8_t>{235, 235, 16, 16, 128, 128}));
    struct Sample {
        uint8_t r, g, b, y, cb, cr;
    };
    for (const Sample& s :
         {Sample{255, 0, 0, 82, 90, 240}, Sample{0, 255, 0, 145, 54, 34},
          Sample{0, 0, 255, 41, 240, 110}, Sample{128, 128, 128, 126, 128, 128}}) {
        const std::vector<uint8_t> planes = convert({s.r, s.g, s.b, 255}, 1, 1);
        EXPECT_NEAR(planes[0], s.y, 1) << int(s.r) << "," << int(s.g) << "," << int(s.b);
        EXPECT_NEAR(planes[1], s.cb, 1) << int(s.r) << "," << int(s.g) << "," << int(s.b);
        EXPECT_NEAR(planes[2], s.cr, 1) << int(s.r) << "," << int(s.g) << "," << int(s.b);
    }
}
