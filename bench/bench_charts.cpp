// The charts of a 24-hour race: a full lap chart rebuild (60 cars × 380
// laps), one car's line after a new lap, a weather refresh over two hours of
// 10-second samples, and the gap chart's rebuild and lap update (the update
// also a tenth of the way in, to show that it does not grow with the race).
#include "ClientV2Controller.h"
#include "GapChartView.h"
#include "LapChartView.h"
#include "MeteoGraphicsView.h"
#include "RaceTree.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "WidgetBenchMain.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<V2DataProvider> raceProvider()
{
    auto provider = makeTestProvider();
    V2_Data* root = provider->controller()->getCurrentData();
    RaceTree::fill(root);
    root->getOrCreateDataPointer(QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    root->getOrCreateDataPointer(QStringLiteral("timing.session.status"))->insertData(QStringLiteral("elapsedLaps"), RaceTree::kLaps);
    for (int car = 0; car < RaceTree::kCars; ++car)
        root->getOrCreateDataPointer(QStringLiteral("timing.session.startingGrid.positions.%1").arg(car + 1))
            ->insertData(QStringLiteral("participant"), QString::number(car + 1));
    // Two hours of weather, a sample every ten seconds.
    for (int i = 0; i < 720; ++i) {
        V2_Data* sample = root->getOrCreateDataPointer(QStringLiteral("weather.sessionData.%1").arg(RaceTree::kRaceStart + quint64(i) * 10000));
        sample->insertData(QStringLiteral("trackTemperature"), 30.0 + i % 7);
        sample->insertData(QStringLiteral("pressure"), 1010.0 + i % 5);
    }
    emit provider->controller()->analysisPitIn();
    return provider;
}

void BM_LapChartRebuild(benchmark::State& state)
{
    auto provider = raceProvider();
    LapChartView view;
    view.setProvider(provider.get());
    for (auto _ : state)
        view.refreshAll();
    state.counters["cars"] = view.cars().size();
}

void BM_LapChartCarUpdate(benchmark::State& state)
{
    auto provider = raceProvider();
    LapChartView view;
    view.setProvider(provider.get());
    for (auto _ : state)
        view.update(QStringLiteral("17"));
}

void BM_WeatherRefresh(benchmark::State& state)
{
    auto provider = raceProvider();
    MeteoGraphicsView view(provider.get());
    for (auto _ : state)
        emit provider->controller()->weather();
}

// Six cars drawn, as a team follows them.
const QStringList kDrawn
    = { QStringLiteral("1"), QStringLiteral("17"), QStringLiteral("30"), QStringLiteral("45"), QStringLiteral("59"), QStringLiteral("60") };

// The race cut to its first `laps` laps.
std::unique_ptr<V2DataProvider> raceProvider(int laps)
{
    auto provider = raceProvider();
    V2_Data* root = provider->controller()->getCurrentData();
    for (int car = 1; car <= RaceTree::kCars; ++car) {
        V2_Data* carLaps = root->getV2_Data(QStringLiteral("timing.analysis.laps.%1.laps").arg(car));
        for (int lap = laps + 1; lap <= RaceTree::kLaps; ++lap)
            carLaps->deleteKey(QString::number(lap));
    }
    return provider;
}

void BM_GapChartRebuild(benchmark::State& state)
{
    auto provider = raceProvider();
    GapChartView view;
    view.setChosenCars(kDrawn);
    view.setProvider(provider.get());
    for (auto _ : state)
        view.refreshAll();
    state.counters["cars"] = view.cars().size();
}

// One car's newest lap, as analysisLapsByPnumAndLap brings it.
void BM_GapChartLapUpdate(benchmark::State& state)
{
    const int laps = int(state.range(0));
    auto provider = raceProvider(laps);
    GapChartView view;
    view.setChosenCars(kDrawn);
    view.setProvider(provider.get());
    const QString lap = QString::number(laps);
    for (auto _ : state)
        view.updateLap(QStringLiteral("17"), lap);
}

BENCHMARK(BM_GapChartRebuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GapChartLapUpdate)->Arg(38)->Arg(380)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LapChartRebuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LapChartCarUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeatherRefresh)->Unit(benchmark::kMicrosecond);

} // namespace

LANTERRA_WIDGET_BENCHMARK_MAIN()
