// The pit window's work per lap of a 60-car race, three hours in: every
// car's recent pace read once (each car completes a lap), the standings read
// and the predictions for one car over the next five laps; and the pit loss
// learnt again from every stop so far.
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

std::unique_ptr<V2DataProvider> raceProvider(QStringList* cars)
{
    SimOptions options;
    QString error;
    SimOptions::parse({QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--classes"), QStringLiteral("4"),
                       QStringLiteral("--duration"), QStringLiteral("21600")},
                      &options, &error);
    const SessionSimulator simulator(options, Q_INT64_C(1767283200000));
    auto provider = makeTestProvider();
    *provider->controller()->getCurrentData() = *simulator.state(3 * 3600 * 1000);
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
    PitLossLearner learner;
    for (auto _ : state)
        learner.learn(*provider);
    state.counters["stops"] = double(learner.samples().size());
}

} // namespace

BENCHMARK(BM_PredictorPerLap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PredictOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LearnAllStops)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
