#include "replay_clock.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>

namespace korvale_tool {

ReplayClock::ReplayClock(double factor) : speedup(factor) {
    if (!std::isfinite(factor) || !(factor > 0.0)) {
        throw std::runtime_error("--speedup: " + std::to_string(factor) +
                                 " is not a number above 0");
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
