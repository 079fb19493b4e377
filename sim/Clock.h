// Monotonic time in microseconds: the one clock of the simulated unit and of its report.
#pragma once
#include <cstdint>
#include <ctime>

inline uint64_t monotonicUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}
