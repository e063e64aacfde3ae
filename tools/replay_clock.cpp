#include "replay_clock.h"

#include <cmath>
#include <stdexcept>
#include <string>
#include <thread>

namespace korvale_tool {

ReplayClock::ReplayClock(double speedup) : speedup_(speedup) {
    if (!std::isfinite(speedup) || !(speedup > 0.0)) {
        throw std::runtime_error("--speedup: " + std::to_string(speedup) +
                                 " is not a number above 0");
    }
}

void ReplayClock::wait_for_sample(double t) {
    if (!started_) {
        started_ = true;
        first_t_ = t;
        start_ = std::chrono::steady_clock::now();
        return;
    }
    const std::chrono::duration<double> after((t - first_t_) / speedup_);
    std::this_thread::sleep_until(start_ +
                                  std::chrono::duration_cast<std::chrono::nanoseconds>(after));
}

} // namespace korvale_tool
