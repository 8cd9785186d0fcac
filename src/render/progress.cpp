// The one-line progress display of a render (GL-free).
#include "render/progress.h"

#include <cmath>
#include <cstdio>

std::string progressLine(int64_t done, int64_t total, double secondsSpent) {
    const double rate = secondsSpent > 0 ? static_cast<double>(done) / secondsSpent : 0.0;
    char left[32] = "--:--";
    if (rate > 0) {
        const long long seconds = std::llround(static_cast<double>(total - done) / rate);
        if (seconds >= 3600) {
            std::snprintf(left, sizeof left, "%lld:%02lld:%02lld", seconds / 3600,
                          seconds / 60 % 60, seconds % 60);
        } else {
            std::snprintf(left, sizeof left, "%lld:%02lld", seconds / 60, seconds % 60);
        }
    }
    char line[128];
    std::snprintf(line, sizeof line, "frame %lld/%lld  %.1f fps  %s left",
                  static_cast<long long>(done), static_cast<long long>(total), rate, left);
    return line;
}
