// --join: the parts of one render checked against each other and joined without re-encoding.
#pragma once

#include "render/options.h"

// Checks that options.parts are the N parts of one render, each complete, and joins them into
// options.output: YUV4MPEG2 by concatenation, finished video by ffmpeg's stream copy with the
// soundtrack put on once, a PNG sequence only checked. Returns the exit status; a refusal names
// each part at fault on a line of its own and writes nothing.
int joinParts(const RenderOptions& options, const char* programName);
