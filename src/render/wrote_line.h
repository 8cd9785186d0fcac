// The line a finished render ends with, saying where and what it wrote (GL-free).
#pragma once

#include <cstdint>
#include <string>

#include "render/options.h"

// "60 fps", "29.97 fps", "29.97 fps (30000/1001)": a rate that no short decimal gives exactly is
// named as the fraction it is too.
std::string frameRateText(double fps);

// "Wrote demo.mp4: 6000 frames, 100.000 s, 1920x1080 at 60 fps"; a PNG sequence names its
// pattern and the frames, a still the frame and its second (as the live preview does), "-"
// standard output.
std::string wroteLine(const RenderOptions& options, int64_t first, int64_t count);
