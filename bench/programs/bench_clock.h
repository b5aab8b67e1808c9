// The bench programs' clock and their middle value: the performance counter in milliseconds
// (sub-microsecond steps on Wine), the process's processor time, and the median of a set of times.
#pragma once
#include "framework/winapi.h"

#include <algorithm>
#include <vector>

namespace bench {

// Milliseconds on the performance counter; only differences mean anything.
inline double NowMs() {
    static const double TicksPerMs = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return (double)f.QuadPart / 1000.0;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / TicksPerMs;
}

// User and system time of this process so far, in ms.
inline double ProcessCpuMs() {
    FILETIME created, ended, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user)) return 0;
    auto ms = [](const FILETIME &T) {
        return (double)(((unsigned long long)T.dwHighDateTime << 32) | T.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

// The middle one of the times (the upper of the two middle ones for an even count); 0 for none.
inline double Median(std::vector<double> Times) {
    if (Times.empty()) return 0;
    std::sort(Times.begin(), Times.end());
    return Times[Times.size() / 2];
}

} // namespace bench
