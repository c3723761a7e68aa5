// The lap tables in a 24-hour race (60 cars × 380 laps = 22 800 laps): a
// full load of the all-laps model, one new lap from the provider's signal
// to the follow table and the sector table being told, and the frame time
// of scrolling the all-laps table from top to bottom offscreen.
#include "ClientV2Controller.h"
#include "ModelSessionLap.h"
#include "ModelSessionSector.h"
#include "RaceTree.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "WidgetBenchMain.h"
#include "V2_Data.h"
#include "WidgetCarFollow.h"
#include "WidgetTimingInfo.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

std::unique_ptr<V2DataProvider> raceProvider()
{
    auto provider = makeTestProvider();
    RaceTree::fill(provider->controller()->getCurrentData());
    emit provider->controller()->analysisLaps();
    return provider;
}

void BM_LapModelFullLoad(benchmark::State& state)
{
    auto provider = raceProvider();
    ModelSessionLap model(provider.get(), QStringLiteral("Dark"), false);
    for (auto _ : state)
        model.processAnalysis();
    state.counters["rows"] = model.rowCount();
}

// A car completes a lap: the provider files it and announces it; the
// follow block (following that car) and the sector table take it.
void BM_NewLapToFollowAndSector(benchmark::State& state)
{
    auto provider = raceProvider();
    ClientV2Controller* controller = provider->controller();
    WidgetCarFollow follow(provider.get(), 0);
    follow.setParticipant(QStringLiteral("17"));
    ModelSessionSector sector(provider.get(), QStringLiteral("Dark"), 2);
    sector.processAnalysis();
    // With the sector information panel open too, every cache is held by a model.
    std::unique_ptr<WidgetTimingInfo> info;
    if (state.range(0) == 1)
        info = std::make_unique<WidgetTimingInfo>(provider.get());
    V2_Data* laps = controller->getCurrentData()->getV2_Data(QStringLiteral("timing.analysis.laps.17.laps"));
    const QString lapKey = QString::number(RaceTree::kLaps + 1);
    for (auto _ : state) {
        state.PauseTiming();
        RaceTree::addLap(laps, 16, RaceTree::kLaps + 1);
        state.ResumeTiming();
        emit controller->analysisLapsByPnumAndLap(QStringLiteral("17"), lapKey);
        emit controller->analysisLapsEnd();
        state.PauseTiming();
        laps->deleteKey(lapKey);
        emit controller->deleteLapAnalysisData(QStringLiteral("17"), lapKey);
        state.ResumeTiming();
    }
    state.counters["followRows"] = follow.table()->model()->rowCount();
}

// One frame per step while the all-laps table scrolls from top to bottom.
void BM_ScrollAllLaps(benchmark::State& state)
{
    auto provider = raceProvider();
    WidgetTimingInfo panel(provider.get());
    panel.resize(1200, 900);
    panel.show();
    QApplication::processEvents();
    QTableView* table = panel.table(WidgetTimingInfo::Laps);
    QScrollBar* bar = table->verticalScrollBar();
    QImage image(table->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const int step = qMax(1, bar->maximum() / 200);
    int at = 0;
    for (auto _ : state) {
        at = at + step > bar->maximum() ? 0 : at + step;
        bar->setValue(at);
        QPainter painter(&image);
        table->viewport()->render(&painter);
    }
    state.counters["rows"] = table->model()->rowCount();
}

BENCHMARK(BM_LapModelFullLoad)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NewLapToFollowAndSector)->Unit(benchmark::kMicrosecond)->Arg(0)->Arg(1);
BENCHMARK(BM_ScrollAllLaps)->Unit(benchmark::kMillisecond);

} // namespace

LANTERRA_WIDGET_BENCHMARK_MAIN()
