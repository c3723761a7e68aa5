#pragma once

#include "SampleLines.h"

#include <QByteArray>
#include <QVector>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

// The three realistic line kinds that the ingest benchmarks share, and the
// reference they are measured against: rapidjson's DOM parse of the payload.
namespace BenchLines {

enum Kind {
    Standings,
    Participant,
    Lap,
};

inline const char* name(int kind)
{
    static const char* const names[] = {"standings60", "participant", "lap"};
    return names[kind];
}

constexpr int kVariants = 16;

inline QVector<QByteArray> linesOf(int kind)
{
    QVector<QByteArray> lines;
    for (int v = 0; v < kVariants; ++v) {
        if (kind == Standings)
            lines.append(SampleLines::standings(60, v));
        else if (kind == Participant)
            lines.append(SampleLines::participantDetails(v));
        else
            lines.append(SampleLines::analysisLap(v));
    }
    return lines;
}

inline void rapidDom(benchmark::State& state)
{
    const QVector<QByteArray> lines = linesOf(static_cast<int>(state.range(0)));
    int i = 0;
    for (auto _ : state) {
        const QByteArray& line = lines.at(i++ % kVariants);
        const int brace = line.indexOf('{');
        rapidjson::Document document;
        document.Parse(line.constData() + brace, static_cast<size_t>(line.size() - brace));
        benchmark::DoNotOptimize(document.IsObject());
    }
    state.SetLabel(name(static_cast<int>(state.range(0))));
}

} // namespace BenchLines
