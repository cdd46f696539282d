// Runs the registered benchmarks and then prints, for every benchmark named
// "<case>/<ours>" with a sibling "<case>/<reference>", the time ratio ours / reference (of the
// medians when the cases are repeated). CPU times: both sides run in this one thread, and other
// load on the machine stretches wall time far more than CPU time.
// Below 1.0 means our routine is faster than the reference measured in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>
#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal: output kept in a file stays plain text.
    RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        // With repetitions the median stands for the case; a single run stands for itself.
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times_[name] = run.GetAdjustedCPUTime();
                medians_[name] = true;
            } else if (run.run_type == Run::RT_Iteration && !medians_[name]) {
                times_[name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // ours and references are one path element of the benchmark names, e.g. "gevrast".
    // Returns the largest ratio printed (0 when none).
    double PrintRatios(const std::string& ours, const std::vector<std::string>& references) const
    {
        double worst = 0;
        std::printf("\n%-48s %-12s %10s\n", "case", "reference", "ours/ref");
        for (const auto& [name, time] : times_) {
            std::string suffix = "/" + ours;
            size_t at = name.find(suffix);
            if (at == std::string::npos) continue;
            std::string prefix = name.substr(0, at);
            std::string rest = name.substr(at + suffix.size());  // e.g. "/100000"
            for (const std::string& ref : references) {
                auto other = times_.find(prefix + "/" + ref + rest);
                if (other == times_.end() || other->second <= 0) continue;
                double ratio = time / other->second;
                if (ratio > worst) worst = ratio;
                std::printf("%-48s %-12s %10.3f\n", (prefix + rest).c_str(), ref.c_str(), ratio);
            }
        }
        return worst;
    }

private:
    std::map<std::string, double> times_;
    std::map<std::string, bool> medians_;
};

// Runs the benchmarks and prints the ratios; returns the largest ratio (0 when none).
inline double RunWithRatios(int argc, char** argv, const std::string& ours, const std::vector<std::string>& refs)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 0;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    double worst = reporter.PrintRatios(ours, refs);
    benchmark::Shutdown();
    return worst;
}

}  // namespace bench
