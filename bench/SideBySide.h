#pragma once
// A benchmark main that prints, after the usual table, each measurement next
// to its baseline from the same run: the best time of each over the
// repetitions (on a busy machine run with --benchmark_repetitions=5).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

struct SideBySide {
    const char* measured; // benchmark function names
    const char* baseline;
    const char* what; // what is measured ...
    const char* baselineWhat; // ... and what it is compared with
};

class SideBySideReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double ms = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e3;
            auto [it, added] = best_.emplace(run.run_name.function_name, ms);
            if (!added && ms < it->second)
                it->second = ms;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printPairs(const std::vector<SideBySide>& pairs) const
    {
        bool header = false;
        for (const auto& pair : pairs) {
            const auto m = best_.find(pair.measured), b = best_.find(pair.baseline);
            if (m == best_.end() || b == best_.end())
                continue;
            if (!header)
                std::printf("\nSide by side, best of each in this run:\n");
            header = true;
            std::printf("  %s: %.3f ms; %s: %.3f ms; %.2f times %s\n", pair.what, m->second, pair.baselineWhat,
                        b->second, m->second < b->second ? b->second / m->second : m->second / b->second,
                        m->second < b->second ? "faster" : "slower");
        }
    }

private:
    std::map<std::string, double> best_;
};

inline int runSideBySide(int argc, char** argv, const std::vector<SideBySide>& pairs)
{
    // Another output format than the console's goes to the library's own reporter.
    bool console = true;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--benchmark_format=", 19) == 0)
            console = std::strcmp(argv[i] + 19, "console") == 0;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!console) {
        benchmark::RunSpecifiedBenchmarks();
    } else {
        SideBySideReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        reporter.printPairs(pairs);
    }
    benchmark::Shutdown();
    return 0;
}
