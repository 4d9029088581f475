#pragma once

#include <QElapsedTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Times scenarios and prints one line each: name, records, median
// milliseconds over the runs, and the process's peak resident memory so far.
struct Bench {
    int records = 0;
    int runs = 5;

    static double peakResidentMB()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_maxrss) / 1024.0;
    }

    static void header()
    {
        std::printf("%-36s %9s %13s %11s\n", "scenario", "records", "median", "peak RSS");
    }

    // prepare runs untimed before each timed run of body.
    void scenario(const char *name, const std::function<void()> &prepare, const std::function<void()> &body) const
    {
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            if (prepare)
                prepare();
            QElapsedTimer timer;
            timer.start();
            body();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        report(name, times);
    }

    // For scenarios that time many steps of one run themselves.
    void report(const char *name, std::vector<double> times) const
    {
        std::sort(times.begin(), times.end());
        std::printf("%-36s %9d %10.2f ms %8.1f MB\n", name, records, times.empty() ? 0.0 : times[times.size() / 2],
                    peakResidentMB());
        std::fflush(stdout);
    }
};

[[noreturn]] void benchFailed(const QString &message);
