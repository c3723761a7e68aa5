// The event tables at their largest: a car's stints table with 40 stints
// (a refresh rebuilds every total), and the pit exit table of 60 cars with
// 30 stops each (a refresh reads and orders all 1 800 stops). Both run on
// every notification of their channel and must stay far below a frame.
#include "ClientV2Controller.h"
#include "ModelSessionPitOut.h"
#include "ModelSessionStints.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "WidgetBenchMain.h"
#include "V2_Data.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

constexpr quint64 kStart = Q_UINT64_C(1767268800000);

void BM_StintsRefresh(benchmark::State& state)
{
    auto provider = makeTestProvider();
    for (int driver = 1; driver <= 3; ++driver)
        mirrorNode(*provider, QStringLiteral("timing.session.entry.7.drivers.%1").arg(driver))->insertData(QStringLiteral("lastName"), QStringLiteral("D%1").arg(driver));
    for (int i = 0; i < 40; ++i) {
        V2_Data* stint = mirrorNode(*provider, QStringLiteral("timing.analysis.stints.7.stints.%1").arg(i + 1, 3, 10, QLatin1Char('0')));
        stint->insertData(QStringLiteral("driver"), 1 + (i / 2) % 3);
        stint->insertData(QStringLiteral("type"), i % 2 ? QStringLiteral("PIT") : QStringLiteral("RUN"));
        stint->insertData(QStringLiteral("startTime"), kStart + quint64(i) * 1800000);
        stint->insertData(QStringLiteral("finishTime"), kStart + quint64(i + 1) * 1800000);
    }
    ModelSessionStints model(provider.get(), QStringLiteral("Dark"));
    model.setParticipant(QStringLiteral("7"));
    for (auto _ : state)
        model.processRefresh();
    state.counters["rows"] = model.rowCount();
}

void BM_PitTableRefresh(benchmark::State& state)
{
    auto provider = makeTestProvider();
    for (int car = 1; car <= 60; ++car) {
        mirrorNode(*provider, QStringLiteral("timing.session.entry.%1.drivers.1").arg(car))->insertData(QStringLiteral("lastName"), QStringLiteral("Driver"));
        for (int stop = 0; stop < 30; ++stop) {
            V2_Data* pit = mirrorNode(*provider, QStringLiteral("timing.analysis.pitOut.%1.pits.%2").arg(car).arg(kStart + quint64(stop) * 2700000 + quint64(car) * 1000));
            pit->insertData(QStringLiteral("driver"), 1);
            pit->insertData(QStringLiteral("pitTime"), quint64(65000));
        }
    }
    ModelSessionPitOut model(provider.get(), QStringLiteral("Dark"));
    for (auto _ : state)
        model.processRefresh();
    state.counters["rows"] = model.rowCount();
}

BENCHMARK(BM_StintsRefresh)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PitTableRefresh)->Unit(benchmark::kMillisecond);

} // namespace

LANTERRA_WIDGET_BENCHMARK_MAIN()
