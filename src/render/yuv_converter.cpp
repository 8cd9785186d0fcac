// Converts a frame to planar 4:2:0 YCbCr on the GPU, so that only 1.5 bytes a pixel are read
// back and the CPU has nothing to convert.
#include "render/yuv_converter.h"

#include "scene/scene.h"

// One triangle that covers the viewport, from the vertex index alone.
static const char* const vertexSource = R"(#version 450 core
void main() {
    vec2 corner = vec2((gl_VertexID << 1) & 2, gl_VertexID & 2);
    gl_Position = vec4(corner * 2.0 - 1.0, 0.0, 1.0);
}
)";

// BT.601, limited range, in the same 8-bit fixed point as the reference conversion, so that
// every byte matches it exactly. Rows are flipped: OpenGL's bottom row is the picture's last.
static const char* const fragmentSource = R"(#version 450 core
uniform sampler2D frame;
uniform int plane; // 0: luma, 1: both chroma planes
layout(location = 0) out float first;
layout(location = 1) out float second;

ivec3 pixel(ivec2 p) {
    ivec2 size = textureSize(frame, 0);
    p = min(p, size - 1);
    return ivec3(round(texelFetch(frame, ivec2(p.x, size.y - 1 - p.y), 0).rgb * 255.0));
}

void main() {
    ivec2 p = ivec2(gl_FragCoord.xy);
    if (plane == 0) {
        ivec3 c = pixel(p);
        first = float(((66 * c.r + 129 * c.g + 25 * c.b + 128) >> 8) + 16) / 255.0;
        second = 0.0;
        return;
    }
    ivec3 sum = pixel(2 * p) + pixel(2 * p + ivec2(1, 0)) + pixel(2 * p + ivec2(0, 1)) + pixel(2 * p + ivec2(1, 1));
    ivec3 c = (sum + 2) >> 2;
    first = float(((-38 * c.r - 74 * c.g + 112 * c.b + 128) >> 8) + 128) / 255.0;
    second = float(((112 * c.r - 94 * c.g - 18 * c.b + 128) >> 8) + 128) / 255.0;
}
)";

bool createYuvConverter(YuvConverter& converter, const OffscreenTarget& target,
                        std::string& error) {
    converter.width = target.width;
    converter.height = target.height;
    converter.chromaWidth = (target.width + 1) / 2;
    converter.chromaHeight = (target.height + 1) / 2;

    converter.program = buildProgram(vertexSource, fragmentSource);
    GLint linked = GL_FALSE;
    glGetProgramiv(converter.program, GL_LINK_STATUS, &linked);
    if (!linked) {
        glDeleteProgram(converter.program);
        converter.program = 0;
        error = "the driver cannot build the video's colour conversion";
        return false;
    }
    converter.planeLocation = glGetUniformLocation(converter.program, "plane");
    glCreateVertexArrays(1, &converter.emptyVertexArray);

    glCreateTextures(GL_TEXTURE_2D, 3, converter.planes);
    glTextureStorage2D(converter.planes[0], 1, GL_R8, converter.width, converter.height);
    glTextureStorage2D(converter.planes[1], 1, GL_R8, converter.chromaWidth,
                       converter.chromaHeight);
    glTextureStorage2D(converter.planes[2], 1, GL_R8, converter.chromaWidth,
                       converter.chromaHeight);
    glCreateFramebuffers(2, converter.framebuffers);
    glNamedFramebufferTexture(converter.framebuffers[0], GL_COLOR_ATTACHMENT0, converter.planes[0],
                              0);
    glNamedFramebufferTexture(converter.framebuffers[1], GL_COLOR_ATTACHMENT0, converter.planes[1],
                              0);
    glNamedFramebufferTexture(converter.framebuffers[1], GL_COLOR_ATTACHMENT1, converter.planes[2],
                              0);
    static const GLenum both[] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
    glNamedFramebufferDrawBuffers(converter.framebuffers[1], 2, both);
    for (GLuint framebuffer : converter.framebuffers) {
        if (glCheckNamedFramebufferStatus(framebuffer, GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            destroyYuvConverter(converter);
            error = "the driver cannot make the video's colour planes";
            return false;
        }
    }
    return true;
}

void readYuvInto(ReadbackRing& ring, int slot, YuvConverter& converter,
                 const OffscreenTarget& target) {
    glUseProgram(converter.program);
    glBindVertexArray(converter.emptyVertexArray);
    glBindTextureUnit(0, target.color);

    glBindFramebuffer(GL_FRAMEBUFFER, converter.framebuffers[0]);
    glViewport(0, 0, converter.width, converter.height);
    glUniform1i(converter.planeLocation, 0);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindFramebuffer(GL_FRAMEBUFFER, converter.framebuffers[1]);
    glViewport(0, 0, converter.chromaWidth, converter.chromaHeight);
    glUniform1i(converter.planeLocation, 1);
    glDrawArrays(GL_TRIANGLES, 0, 3);

    // Y, then Cb, then Cr, back to back in the slot.
    const uintptr_t lumaBytes =
        static_cast<uintptr_t>(converter.width) * static_cast<uintptr_t>(converter.height);
    const uintptr_t chromaBytes = static_cast<uintptr_t>(converter.chromaWidth) *
                                  static_cast<uintptr_t>(converter.chromaHeight);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, ring.buffers[slot]);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, converter.framebuffers[0]);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, converter.width, converter.height, GL_RED, GL_UNSIGNED_BYTE, nullptr);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, converter.framebuffers[1]);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(0, 0, converter.chromaWidth, converter.chromaHeight, GL_RED, GL_UNSIGNED_BYTE,
                 reinterpret_cast<void*>(lumaBytes));
    glReadBuffer(GL_COLOR_ATTACHMENT1);
    glReadPixels(0, 0, converter.chromaWidth, converter.chromaHeight, GL_RED, GL_UNSIGNED_BYTE,
                 reinterpret_cast<void*>(lumaBytes + chromaBytes));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    fenceReadback(ring, slot);

    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, target.width, target.height);
}

void destroyYuvConverter(YuvConverter& converter) {
    glDeleteFramebuffers(2, converter.framebuffers);
    glDeleteTextures(3, converter.planes);
    glDeleteVertexArrays(1, &converter.emptyVertexArray);
    glDeleteProgram(converter.program);
    converter = YuvConverter{};
}
