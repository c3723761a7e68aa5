// The pit window's work per lap of a 60-car race, three hours in: every
// car's recent pace read once (each car completes a lap), the standings read
// and the predictions for one car over the next five laps; and the pit loss
// learnt from every stop so far; late in a 24-hour race, the learning a
// stop's news costs (the stops of the last five minutes are new).
#include "ClientV2Controller.h"
#include "PitLossLearner.h"
#include "PitWindowPredictor.h"
#include "SessionSimulator.h"
#include "SimOptions.h"
#include "TestProvider.h"
#include "V2_Data.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<V2DataProvider> raceProvider(QStringList* cars, int hours = 6, qint64 atMs = 3 * 3600 * 1000)
{
    SimOptions options;
    QString error;
    SimOptions::parse({QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--classes"), QStringLiteral("4"),
                       QStringLiteral("--duration"), QString::number(hours * 3600)},
                      &options, &error);
    const SessionSimulator simulator(options, Q_INT64_C(1767283200000));
    auto provider = makeTestProvider();
    *provider->controller()->getCurrentData() = *simulator.state(atMs);
    emit provider->controller()->analysisPitIn();
    *cars = simulator.participants();
    return provider;
}

void BM_PredictorPerLap(benchmark::State& state)
{
    QStringList cars;
    auto provider = raceProvider(&cars);
    PitWindowPredictor predictor;
    const QString chosen = provider->getParticipantAtPosition(10, QString());
    for (auto _ : state) {
        for (const QString& car : cars)
            predictor.refreshPace(*provider, car);
        predictor.refreshField(*provider);
        benchmark::DoNotOptimize(predictor.predict(chosen, 40000, 5, 30000));
    }
    state.counters["cars"] = double(predictor.field().size());
}

void BM_PredictOnly(benchmark::State& state)
{
    QStringList cars;
    auto provider = raceProvider(&cars);
    PitWindowPredictor predictor;
    predictor.refreshField(*provider);
    const QString chosen = provider->getParticipantAtPosition(10, QString());
    for (auto _ : state)
        benchmark::DoNotOptimize(predictor.predict(chosen, 40000, 5, 30000));
}

void BM_LearnAllStops(benchmark::State& state)
{
    QStringList cars;
    auto provider = raceProvider(&cars);
    int stops = 0;
    for (auto _ : state) {
        PitLossLearner learner; // from nothing: every stop is new
        learner.learn(*provider);
        stops = learner.samples().size();
    }
    state.counters["stops"] = double(stops);
}

// 23 hours into a 24-hour race: the learner knows every stop to five
// minutes ago and hears of the stops since.
void BM_LearnStopNewsLate(benchmark::State& state)
{
    QStringList cars;
    const qint64 late = 23LL * 3600 * 1000;
    auto before = raceProvider(&cars, 24, late - 5 * 60 * 1000);
    auto now = raceProvider(&cars, 24, late);
    PitLossLearner learnt;
    learnt.learn(*before);
    const int known = learnt.samples().size();
    PitLossLearner learner;
    for (auto _ : state) {
        state.PauseTiming();
        learner = learnt;
        state.ResumeTiming();
        learner.learn(*now);
    }
    state.counters["stops"] = double(learner.samples().size());
    state.counters["new"] = double(learner.samples().size() - known);
}

} // namespace

BENCHMARK(BM_PredictorPerLap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PredictOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnAllStops)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnStopNewsLate)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
