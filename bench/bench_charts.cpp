// The charts of a 24-hour race: a full lap chart rebuild (60 cars × 380
// laps), one car's line after a new lap, and a weather refresh over two
// hours of 10-second samples.
#include "ClientV2Controller.h"
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

BENCHMARK(BM_LapChartRebuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LapChartCarUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WeatherRefresh)->Unit(benchmark::kMicrosecond);

} // namespace

LANTERRA_WIDGET_BENCHMARK_MAIN()
