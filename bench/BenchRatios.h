#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Console reporter that also prints, after the run, the ratio of named
// benchmark pairs (numerator / denominator of the real time per iteration).
// With --benchmark_repetitions the fastest repetition counts: on a shared
// machine it is the one least disturbed by others.
class BenchRatios final : public benchmark::ConsoleReporter
{
public:
    explicit BenchRatios(std::vector<std::pair<std::string, std::string>> pairs)
        : m_pairs(std::move(pairs))
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred)
                continue;
            const double time = run.GetAdjustedRealTime();
            const auto known = m_times.find(run.benchmark_name());
            if (known == m_times.end() || time < known->second)
                m_times[run.benchmark_name()] = time;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatios() const
    {
        std::printf("\nratios (fastest real time per iteration):\n");
        for (const auto& pair : m_pairs) {
            const auto a = m_times.find(pair.first);
            const auto b = m_times.find(pair.second);
            if (a == m_times.end() || b == m_times.end() || b->second <= 0)
                continue;
            std::printf("  %-45s / %-35s = %.2f\n", pair.first.c_str(), pair.second.c_str(), a->second / b->second);
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> m_pairs;
    std::map<std::string, double> m_times;
};
