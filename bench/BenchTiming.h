#pragma once

#include <chrono>
#include <ctime>

// Paired measurements: several pieces of work timed inside one benchmark
// iteration, so drifting machine load hits them alike. CPU time is read from
// the given clock: the thread's own when the work stays on it, the process's
// when Qt hands parts of it to its thread pool.
struct Lap
{
    double wall = 0;
    double cpu = 0;
};

inline double cpuMs(clockid_t clock)
{
    timespec now = {};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

template <typename Work>
void timed(Lap &lap, clockid_t clock, Work &&work)
{
    using Clock = std::chrono::steady_clock;
    const auto wall0 = Clock::now();
    const double cpu0 = cpuMs(clock);
    work();
    lap.cpu += cpuMs(clock) - cpu0;
    lap.wall += std::chrono::duration<double, std::milli>(Clock::now() - wall0).count();
}
