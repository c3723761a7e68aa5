// The standings of a 60-car race: one position update (rebuild one row and
// announce it), a full refresh, and painting the standings panel at
// 1920 × 1080 offscreen. The tree is the session simulator's, 40 minutes in.
#include "ClientV2Controller.h"
#include "ModelSessionStandingBySector.h"
#include "SimulatedRace.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "WidgetBenchMain.h"
#include "V2_Data.h"
#include "WidgetStanding.h"

#include <QApplication>
#include <QDateTime>
#include <QImage>
#include <QPainter>
#include <QTableView>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

// The simulator marks row nodes with an "ignorePath" member, which a client
// turns into the node's flag when the data arrives; the copy here does too.
void dropRowMarks(V2_Data* node)
{
    node->deleteKey(QStringLiteral("ignorePath"));
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        if (V2_Data* child = V2_Data::nodeOf(it.value()))
            dropRowMarks(child);
    }
}

std::unique_ptr<V2DataProvider> raceProvider()
{
    auto provider = makeTestProvider();
    const std::unique_ptr<V2_Data> state = simulatedRaceState();
    V2_Data* root = provider->controller()->getCurrentData();
    for (auto it = state->datas()->cbegin(); it != state->datas()->cend(); ++it) {
        if (const V2_Data* child = V2_Data::nodeOf(it.value()))
            root->insertData(it.key(), new V2_Data(child));
    }
    dropRowMarks(root);
    return provider;
}

void BM_PositionUpdate(benchmark::State& state)
{
    auto provider = raceProvider();
    ModelSessionStandingBySector model(provider.get(), QStringLiteral("Dark"));
    model.processRefresh();
    int position = 0;
    for (auto _ : state) {
        model.processUpdateOverall(1 + position);
        position = (position + 1) % 60;
    }
    state.counters["rows"] = model.rowCount();
}

void BM_FullRefresh(benchmark::State& state)
{
    auto provider = raceProvider();
    ModelSessionStandingBySector model(provider.get(), QStringLiteral("Dark"));
    for (auto _ : state)
        model.processRefresh();
    state.counters["rows"] = model.rowCount();
}

void BM_PaintStandings(benchmark::State& state)
{
    auto provider = raceProvider();
    WidgetStanding panel(provider.get());
    emit provider->controller()->trackInfo();
    emit provider->controller()->standingsOverall();
    panel.resize(1920, 1080);
    panel.show();
    QApplication::processEvents();
    QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter painter(&image);
        panel.render(&painter);
    }
    state.counters["rows"] = panel.table(panel.currentPage())->model()->rowCount();
}

BENCHMARK(BM_PositionUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullRefresh)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintStandings)->Unit(benchmark::kMillisecond);

} // namespace

LANTERRA_WIDGET_BENCHMARK_MAIN()
