// The renderer's framebuffer and the copy of its pixels to the CPU.
#include "render/offscreen.h"

#include <algorithm>
#include <cstring>

// GL_MESA_framebuffer_flip_y, which the core loader does not define.
static const GLenum framebufferFlipY = 0x8BBB;

static bool hasGlExtension(const char* name) {
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
        const GLubyte* extension = glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i));
        if (extension && std::strcmp(reinterpret_cast<const char*>(extension), name) == 0) {
            return true;
        }
    }
    return false;
}

// Mesa keeps every window's framebuffer upside down in memory and rasterises into it with the
// viewport flipped: edges fall on other pixels and values interpolated along y round otherwise
// than in an ordinary framebuffer object. A driver that offers GL_MESA_framebuffer_flip_y draws
// windows that way and gives framebuffer objects the same switch; set, the target is drawn as the
// player's window is, while reads and blits still see the bottom row first. Without it the
// driver has no such split to follow, and the target stays as it is.
bool targetsDrawLikeWindows() {
    static const bool flips = hasGlExtension("GL_MESA_framebuffer_flip_y");
    return flips;
}

static void drawLikeWindows(GLuint framebuffer) {
    if (targetsDrawLikeWindows()) {
        glNamedFramebufferParameteri(framebuffer, framebufferFlipY, GL_TRUE);
    }
}

bool createOffscreenTarget(OffscreenTarget& target, int width, int height, std::string& error) {
    GLint largestRenderbuffer = 0, largestTexture = 0;
    GLint largestViewport[2] = {};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestTexture);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    const GLint largestSide = std::min(largestRenderbuffer, largestTexture);
    if (width > largestSide || height > largestSide || width > largestViewport[0] ||
        height > largestViewport[1]) {
        error = "the frame size is larger than this OpenGL driver draws (at most " +
                std::to_string(largestSide) + " pixels a side)";
        return false;
    }
    target.width = width;
    target.height = height;
    // A texture rather than a renderbuffer: a context reading a renderbuffer keeps its mapping in
    // the object itself, so two contexts reading one at once would trip over each other.
    glCreateTextures(GL_TEXTURE_2D, 1, &target.color);
    glTextureStorage2D(target.color, 1, GL_RGBA8, width, height);
    glCreateRenderbuffers(1, &target.depthStencil);
    glNamedRenderbufferStorage(target.depthStencil, GL_DEPTH24_STENCIL8, width, height);
    glCreateFramebuffers(1, &target.framebuffer);
    glNamedFramebufferTexture(target.framebuffer, GL_COLOR_ATTACHMENT0, target.color, 0);
    glNamedFramebufferRenderbuffer(target.framebuffer, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                   target.depthStencil);
    drawLikeWindows(target.framebuffer);
    if (glCheckNamedFramebufferStatus(target.framebuffer, GL_FRAMEBUFFER) !=
        GL_FRAMEBUFFER_COMPLETE) {
        destroyOffscreenTarget(target);
        error = "the driver cannot make a " + std::to_string(width) + "x" + std::to_string(height) +
                " framebuffer";
        return false;
    }
    // A context without a window starts with an empty viewport.
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, width, height);
    return true;
}

OffscreenTarget sharedTargetView(const OffscreenTarget& target) {
    OffscreenTarget view = target;
    glCreateFramebuffers(1, &view.framebuffer);
    glNamedFramebufferTexture(view.framebuffer, GL_COLOR_ATTACHMENT0, target.color, 0);
    drawLikeWindows(view.framebuffer);
    return view;
}

void destroyOffscreenTarget(OffscreenTarget& target) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &target.framebuffer);
    glDeleteRenderbuffers(1, &target.depthStencil);
    glDeleteTextures(1, &target.color);
    target = OffscreenTarget{};
}

int stripRows(const OffscreenTarget& target) {
    // About 256 KiB a strip.
    const size_t rows = 256 * 1024 / (4 * static_cast<size_t>(target.width));
    return std::max(2, static_cast<int>(rows) & ~1);
}

void readTargetRows(const OffscreenTarget& target, int firstRow, int rowCount,
                    std::vector<uint8_t>& pixels) {
    pixels.resize(4 * static_cast<size_t>(target.width) * static_cast<size_t>(rowCount));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, target.height - firstRow - rowCount, target.width, rowCount, GL_RGBA,
                 GL_UNSIGNED_BYTE, pixels.data());
}
