// Converts a frame to planar 4:2:0 YCbCr on the GPU, so that only 1.5 bytes a pixel are read
// back and the CPU has nothing to convert.
#pragma once

#include <glad/gl.h>

#include <string>

#include "render/offscreen.h"

struct YuvConverter {
    GLuint program = 0;
    GLuint emptyVertexArray = 0;
    GLuint planes[3] = {};       // Y, Cb, Cr: R8 textures
    GLuint framebuffers[2] = {}; // luma; both chroma planes
    GLint planeLocation = -1;
    int width = 0;
    int height = 0;
    int chromaWidth = 0;
    int chromaHeight = 0;
};

bool createYuvConverter(YuvConverter& converter, const OffscreenTarget& target, std::string& error);

// Draws the planes from the target's colour, top row first, then queues their copy into the
// slot's buffer: the bytes of one YUV4MPEG2 frame, in order. Leaves the target bound for drawing.
void readYuvInto(ReadbackRing& ring, int slot, YuvConverter& converter,
                 const OffscreenTarget& target);

void destroyYuvConverter(YuvConverter& converter);
