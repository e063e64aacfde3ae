// Paces a replay: each sample is let through when as much time has passed since the first as
// the trace's times say, divided by a speed-up factor.
#pragma once

#include <chrono>

namespace korvale_tool {

class ReplayClock {
public:
    // speedup: how many times faster than the trace; finite and above zero.
    explicit ReplayClock(double factor);

    // Waits until the sample at trace time t is due. The first call starts the clock and
    // returns at once; a sample that is late already is let through at once.
    void wait_for_sample(double t);

private:
    double speedup;
    bool started = false;
    double first_t = 0.0;
    std::chrono::steady_clock::time_point start;
};

} // namespace korvale_tool
