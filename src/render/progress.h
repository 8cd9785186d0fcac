// The one-line progress display of a render (GL-free).
#pragma once

#include <cstdint>
#include <string>

// "frame 120/600  58.3 fps  0:08 left", from frames done so far and the seconds they took.
std::string progressLine(int64_t done, int64_t total, double secondsSpent);
