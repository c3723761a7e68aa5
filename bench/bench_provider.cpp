// The data provider at the heaviest moment of a session: a login into a
// 24-hour race brings every lap of every car at once (60 cars × 380 laps,
// full lap nodes), and the analysis caches are rebuilt from scratch. Also
// measured: one live lap update with its batch end, and one getter call.
#include "ClientV2Controller.h"
#include "RaceTree.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using RaceTree::kCars;
using RaceTree::kLaps;
using RaceTree::addLap;

// A provider whose mirror holds a 24-hour race, caches built.
std::unique_ptr<V2DataProvider> raceProvider()
{
    auto provider = makeTestProvider();
    RaceTree::fill(provider->controller()->getCurrentData());
    emit provider->controller()->analysisLaps();
    return provider;
}

void BM_FullRebuild(benchmark::State& state)
{
    auto provider = raceProvider();
    for (auto _ : state)
        emit provider->controller()->analysisLaps();
    state.counters["laps"] = double(provider->getLapRows().size());
}

// A car completes a new lap: filed in every kind, announced, batch ended.
// The lap is taken away again outside the timing.
void BM_NewLap(benchmark::State& state)
{
    auto provider = raceProvider();
    ClientV2Controller* controller = provider->controller();
    V2_Data* laps = controller->getCurrentData()->getV2_Data(QStringLiteral("timing.analysis.laps.17.laps"));
    const QString pNum = QStringLiteral("17");
    const QString lapKey = QString::number(kLaps + 1);
    for (auto _ : state) {
        state.PauseTiming();
        addLap(laps, 16, kLaps + 1);
        state.ResumeTiming();
        emit controller->analysisLapsByPnumAndLap(pNum, lapKey);
        emit controller->analysisLapsEnd();
        state.PauseTiming();
        laps->deleteKey(lapKey);
        emit controller->deleteLapAnalysisData(pNum, lapKey);
        state.ResumeTiming();
    }
}

// A known lap changes in place (a late validity decision) and the batch ends.
void BM_KnownLapUpdate(benchmark::State& state)
{
    auto provider = raceProvider();
    ClientV2Controller* controller = provider->controller();
    V2_Data* lap = controller->getCurrentData()->getV2_Data(QStringLiteral("timing.analysis.laps.17.laps.200"));
    bool valid = false;
    for (auto _ : state) {
        lap->insertData(QStringLiteral("isValid"), valid);
        valid = !valid;
        emit controller->analysisLapsByPnumAndLap(QStringLiteral("17"), QStringLiteral("200"));
        emit controller->analysisLapsEnd();
    }
}

// A lap moves to another key (its time is corrected): the batch end renumbers.
void BM_MovedLapUpdate(benchmark::State& state)
{
    auto provider = raceProvider();
    ClientV2Controller* controller = provider->controller();
    V2_Data* lap = controller->getCurrentData()->getV2_Data(QStringLiteral("timing.analysis.laps.17.laps.200"));
    const int time = lap->getInt(QStringLiteral("time"));
    int shift = 1;
    for (auto _ : state) {
        lap->insertData(QStringLiteral("time"), time + shift);
        shift = -shift;
        emit controller->analysisLapsByPnumAndLap(QStringLiteral("17"), QStringLiteral("200"));
        emit controller->analysisLapsEnd();
    }
}

void BM_GetParticipantAtPosition(benchmark::State& state)
{
    auto provider = raceProvider();
    int position = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(provider->getParticipantAtPosition(1 + position, QString()));
        position = (position + 1) % kCars;
    }
}

BENCHMARK(BM_FullRebuild)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_NewLap)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KnownLapUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MovedLapUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetParticipantAtPosition)->Unit(benchmark::kNanosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
