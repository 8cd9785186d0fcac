// The renderer's framebuffer and its asynchronous readback through pixel buffer objects.
#include "render/offscreen.h"

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
    GLint largestRenderbuffer = 0;
    GLint largestViewport[2] = {};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &largestRenderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, largestViewport);
    if (width > largestRenderbuffer || height > largestRenderbuffer || width > largestViewport[0] ||
        height > largestViewport[1]) {
        error = "the frame size is larger than this OpenGL driver draws (at most " +
                std::to_string(largestRenderbuffer) + " pixels a side)";
        return false;
    }
    target.width = width;
    target.height = height;
    glCreateRenderbuffers(1, &target.color);
    glNamedRenderbufferStorage(target.color, GL_RGBA8, width, height);
    glCreateRenderbuffers(1, &target.depthStencil);
    glNamedRenderbufferStorage(target.depthStencil, GL_DEPTH24_STENCIL8, width, height);
    glCreateFramebuffers(1, &target.framebuffer);
    glNamedFramebufferRenderbuffer(target.framebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   target.color);
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
    glNamedFramebufferRenderbuffer(view.framebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   target.color);
    drawLikeWindows(view.framebuffer);
    return view;
}

void destroyOffscreenTarget(OffscreenTarget& target) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &target.framebuffer);
    glDeleteRenderbuffers(1, &target.depthStencil);
    glDeleteRenderbuffers(1, &target.color);
    target = OffscreenTarget{};
}

void createReadbackRing(ReadbackRing& ring, const OffscreenTarget& target, int slotCount) {
    ring.frameBytes = static_cast<size_t>(target.width) * static_cast<size_t>(target.height) * 4;
    ring.buffers.assign(static_cast<size_t>(slotCount), 0);
    ring.pixels.assign(static_cast<size_t>(slotCount), nullptr);
    ring.fences.assign(static_cast<size_t>(slotCount), nullptr);
    const GLbitfield flags = GL_MAP_READ_BIT | GL_MAP_PERSISTENT_BIT | GL_MAP_COHERENT_BIT;
    glCreateBuffers(slotCount, ring.buffers.data());
    for (size_t slot = 0; slot < ring.buffers.size(); ++slot) {
        glNamedBufferStorage(ring.buffers[slot], static_cast<GLsizeiptr>(ring.frameBytes), nullptr,
                             flags | GL_CLIENT_STORAGE_BIT);
        ring.pixels[slot] = static_cast<const uint8_t*>(glMapNamedBufferRange(
            ring.buffers[slot], 0, static_cast<GLsizeiptr>(ring.frameBytes), flags));
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
}

void startReadback(ReadbackRing& ring, int slot, const OffscreenTarget& target) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target.framebuffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, ring.buffers[slot]);
    glReadPixels(0, 0, target.width, target.height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    ring.fences[slot] = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void finishReadback(ReadbackRing& ring, int slot) {
    if (!ring.fences[slot]) {
        return;
    }
    // Flush with the first wait so the fence is sure to be reached.
    GLbitfield waitFlags = GL_SYNC_FLUSH_COMMANDS_BIT;
    while (glClientWaitSync(ring.fences[slot], waitFlags, 1000000000) == GL_TIMEOUT_EXPIRED) {
        waitFlags = 0;
    }
    glDeleteSync(ring.fences[slot]);
    ring.fences[slot] = nullptr;
}

void destroyReadbackRing(ReadbackRing& ring) {
    for (size_t slot = 0; slot < ring.buffers.size(); ++slot) {
        if (ring.fences[slot]) {
            glDeleteSync(ring.fences[slot]);
        }
        glUnmapNamedBuffer(ring.buffers[slot]);
    }
    glDeleteBuffers(static_cast<GLsizei>(ring.buffers.size()), ring.buffers.data());
    ring = ReadbackRing{};
}
