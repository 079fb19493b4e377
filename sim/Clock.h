// Monotonic time in microseconds: the one clock of the simulated unit and of its report.
#pragma once
#include <cstdint>
#include <ctime>
#include <initializer_list>

inline uint64_t monotonicUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

// The earliest of some planned times, where 0 stands for nothing planned (0: none at all).
inline uint64_t earliestWake(std::initializer_list<uint64_t> times)
{
    uint64_t wake = 0;
    for (uint64_t at : times) {
        if (at && (!wake || at < wake)) {
            wake = at;
        }
    }
    return wake;
}
