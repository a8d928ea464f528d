#pragma once

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Median wall time in milliseconds of repeated runs, each after an untimed preparation.
inline double medianMs(int runs, const std::function<void()>& work,
                       const std::function<void()>& prepare = {}) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

inline void report(const char* what, double ms, double goalMs) {
    std::printf("%-48s %9.3f ms   (goal < %g ms)%s\n", what, ms, goalMs,
                ms < goalMs ? "" : "   OVER");
}
