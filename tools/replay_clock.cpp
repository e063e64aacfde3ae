#include "replay_clock.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>

namespace korvale_tool {

ReplayClock::ReplayClock(double factor) : speedup(factor) {
    if (!std::isfinite(factor) || !(factor > 0.0)) {
        char text[96];
        std::snprintf(text, sizeof text, "--speedup: '%g' is not a finite number above 0", factor);
        throw std::runtime_error(text);
    }
}

void ReplayClock::wait_for_sample(double t) {
    if (!started) {
        started = true;
        first_t = t;
        start = std::chrono::steady_clock::now();
        return;
    }
    const std::chrono::duration<double> after((t - first_t) / speedup);
    std::this_thread::sleep_until(start +
                                  std::chrono::duration_cast<std::chrono::nanoseconds>(after));
}

} // namespace korvale_tool
