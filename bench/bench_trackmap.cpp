// The track map of a 60-car race at 1920 x 1080 on the plain viewport: a
// whole repaint (what every positions update costs, since the cars' item
// covers the scene), the same without the cars, and reading one positions
// update into the map's state.
#include "ClientV2Controller.h"
#include "PositioningController.h"
#include "PositioningGraphicsViewPromote.h"
#include "Scene.h"
#include "SimulatedRace.h"
#include "TestProvider.h"
#include "WidgetBenchMain.h"
#include "WidgetPositioning.h"

#include <QCoreApplication>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct RaceMap {
    RaceMap()
        : provider(makeTestProvider())
    {
        state = simulatedRaceState();
        V2_Data* root = provider->controller()->getCurrentData();
        root->insertData(QStringLiteral("positioning"), new V2_Data(state->getV2_Data(QStringLiteral("positioning"))));
        root->insertData(QStringLiteral("timing"), new V2_Data(state->getV2_Data(QStringLiteral("timing"))));
        panel = std::make_unique<WidgetPositioning>(provider.get());
        participants = root->getV2_Data(QStringLiteral("positioning.participants"));
        panel->positioningController()->onUpdateParticipants(participants);
        // The panel's own view is laid out inside the hidden panel; a view
        // of the scene on its own gets the full size.
        view = std::make_unique<PositioningGraphicsViewPromote>();
        view->setUseOpenGL(false);
        view->setScene(panel->scene());
        view->resize(1920, 1080);
        view->show();
        QCoreApplication::processEvents();
    }
    std::unique_ptr<V2DataProvider> provider;
    std::unique_ptr<V2_Data> state;
    std::unique_ptr<WidgetPositioning> panel;
    std::unique_ptr<PositioningGraphicsViewPromote> view;
    V2_Data* participants = nullptr;
};

void BM_MapRepaint(benchmark::State& state)
{
    RaceMap map;
    QPixmap target(1920, 1080);
    for (auto _ : state)
        map.view->viewport()->render(&target);
    state.counters["cars"] = map.panel->positioningController()->participants().size();
    if (!qEnvironmentVariableIsEmpty("LANTERRA_BENCH_GRAB"))
        target.save(qEnvironmentVariable("LANTERRA_BENCH_GRAB"));
}

void BM_MapRepaintWithoutCars(benchmark::State& state)
{
    RaceMap map;
    map.panel->scene()->setVisibleNumbers({});
    map.panel->scene()->setShowUnknown(false);
    QPixmap target(1920, 1080);
    for (auto _ : state)
        map.view->viewport()->render(&target);
}

void BM_PositionsUpdate(benchmark::State& state)
{
    RaceMap map;
    for (auto _ : state)
        map.panel->positioningController()->onUpdateParticipants(map.participants);
}

} // namespace

BENCHMARK(BM_MapRepaint)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MapRepaintWithoutCars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PositionsUpdate)->Unit(benchmark::kMicrosecond);

LANTERRA_WIDGET_BENCHMARK_MAIN();
