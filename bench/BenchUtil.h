#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>
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

// Wall and CPU time (user and system, every thread of this process) of one piece of work.
struct Cost {
    double wallMs = 0, cpuMs = 0;
};

inline double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The CPU time of the waited-for children of this process so far (a reference program run
// with QProcess or system()).
inline double childrenCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) * 1e3 + static_cast<double>(tv.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Median wall and median CPU time of repeated runs, each after an untimed preparation; with
// children set, the CPU time is that of the child processes the work waited for.
inline Cost medianCost(int runs, const std::function<void()>& work,
                       const std::function<void()>& prepare = {}, bool children = false) {
    std::vector<double> walls, cpus;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        const double cpu0 = children ? childrenCpuMs() : processCpuMs();
        QElapsedTimer t;
        t.start();
        work();
        walls.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        cpus.push_back((children ? childrenCpuMs() : processCpuMs()) - cpu0);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

// One figure beside its reference doing the same work: wall and CPU time of each, the ratios
// and the goal (a ratio), checked on both; with wallOnly, for a reference whose work is done
// mostly by a database server, which neither CPU time counts, on wall time only.
inline void compareCost(const char* what, Cost ours, const char* reference, Cost theirs,
                        double goalRatio, bool wallOnly = false) {
    const double wall = ours.wallMs / theirs.wallMs, cpu = ours.cpuMs / theirs.cpuMs;
    const bool met = wall <= goalRatio && (wallOnly || cpu <= goalRatio);
    std::printf("%-44s wall %9.1f | cpu %9.1f ms   %-28s wall %9.1f | cpu %9.1f ms   %5.2fx | "
                "%5.2fx (goal <= %.1fx%s)%s\n",
                what, ours.wallMs, ours.cpuMs, reference, theirs.wallMs, theirs.cpuMs, wall, cpu,
                goalRatio, wallOnly ? " on wall; cpu: client side only" : "", met ? "" : "   OVER");
}

// One figure against an absolute goal, wall and CPU time.
inline void reportCost(const char* what, Cost cost, double goalMs) {
    std::printf("%-48s wall %9.3f | cpu %9.3f ms   (goal < %g ms)%s\n", what, cost.wallMs,
                cost.cpuMs, goalMs, cost.wallMs < goalMs && cost.cpuMs < goalMs ? "" : "   OVER");
}

// A figure and its reference taken in turn, round by round, so that both meet the same load
// of a shared machine: the medians of each. The reference is a child process (sqlite3,
// psql): its CPU time is the child's.
inline std::pair<Cost, Cost> medianCostsInTurn(int runs, const std::function<void()>& ours,
                                               const std::function<void()>& reference) {
    std::vector<double> walls[2], cpus[2];
    for (int i = 0; i < runs; ++i)
        for (int side = 0; side < 2; ++side) {
            const bool child = side == 1;
            const double cpu0 = child ? childrenCpuMs() : processCpuMs();
            QElapsedTimer t;
            t.start();
            (child ? reference : ours)();
            walls[side].push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            cpus[side].push_back((child ? childrenCpuMs() : processCpuMs()) - cpu0);
        }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    return {{median(walls[0]), median(cpus[0])}, {median(walls[1]), median(cpus[1])}};
}

// Counts the paints of the widgets it is installed on.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};
