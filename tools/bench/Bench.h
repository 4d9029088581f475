#pragma once

#include <QElapsedTimer>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

// Times scenarios and prints one line each: name, records, median
// milliseconds over the runs, the median processor time spent (this process
// on all its threads, and the programs it started): on a busy machine the
// wall time says little, and the process's peak resident memory so far.
struct Bench {
    int records = 0;
    int runs = 5;

    static double peakResidentMB()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return double(usage.ru_maxrss) / 1024.0;
    }

    // What the process holds in memory right now.
    static double residentMB()
    {
        long pages = 0;
        long resident = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
                resident = 0;
            std::fclose(statm);
        }
        return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
    }

    // Processor time of this process and of its children that ended, in ms.
    static double cpuMs()
    {
        timespec own{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &own);
        rusage children{};
        getrusage(RUSAGE_CHILDREN, &children);
        const auto ms = [](const timeval &t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
        return double(own.tv_sec) * 1e3 + double(own.tv_nsec) / 1e6 + ms(children.ru_utime) + ms(children.ru_stime);
    }

    static void header()
    {
        std::printf("%-36s %9s %13s %11s %11s\n", "scenario", "records", "median", "peak RSS", "cpu");
    }

    // prepare runs untimed before each timed run of body. Gives the median.
    double scenario(const char *name, const std::function<void()> &prepare, const std::function<void()> &body) const
    {
        std::vector<double> times;
        std::vector<double> cpu;
        for (int run = 0; run < runs; ++run) {
            if (prepare)
                prepare();
            const double cpuBefore = cpuMs();
            QElapsedTimer timer;
            timer.start();
            body();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            cpu.push_back(cpuMs() - cpuBefore);
        }
        return report(name, times, cpu);
    }

    // For scenarios that time many steps of one run themselves.
    double report(const char *name, std::vector<double> times, std::vector<double> cpu = {}) const
    {
        const double middle = median(std::move(times));
        std::printf("%-36s %9d %10.2f ms %8.1f MB", name, records, middle, peakResidentMB());
        if (!cpu.empty())
            std::printf(" %8.1f ms", median(std::move(cpu)));
        std::printf("\n");
        std::fflush(stdout);
        return middle;
    }

    // A line that gives a measure other than a time.
    void measure(const char *name, double value, const char *unit) const
    {
        std::printf("%-36s %9d %10.2f %-2s %8.1f MB\n", name, records, value, unit, peakResidentMB());
        std::fflush(stdout);
    }

    static double median(std::vector<double> values)
    {
        if (values.empty())
            return 0.0;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }
};

[[noreturn]] void benchFailed(const QString &message);
