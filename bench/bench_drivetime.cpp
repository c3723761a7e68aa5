// The drive-time panel's refresh on a 24-hour race of 60 cars, 30 minutes
// before its end (some 40 stints a car) and at half time: every second it
// re-reads the stints of the cars it shows, works out each driver's times
// and takes each car's feasibility from its cache; as the race's minute or
// the server's turns (up to twice a minute), it searches every car's
// schedule afresh. Run with
// three followed cars (a team's) and with all sixty, both ways.
#include "ClientV2Controller.h"
#include "DriveTimeCalculator.h"
#include "DriveTimeRules.h"
#include "ModelDriveTime.h"
#include "SessionClock.h"
#include "SessionSimulator.h"
#include "SimOptions.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "WidgetBenchMain.h"
#include "WidgetDriveTime.h"

#include <QDateTime>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr qint64 kMinute = 60000;
constexpr qint64 kRace = 24LL * 60 * kMinute;

qint64 g_now = 0;
qint64 benchClock()
{
    return g_now;
}

// range(0): cars shown; range(1): minutes left; range(2): 1 when every
// refresh comes at a new minute, so every car is searched again.
void BM_DriveTimeRefresh(benchmark::State& state)
{
    const qint64 elapsed = kRace - state.range(1) * kMinute;
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - elapsed;
    g_now = start + elapsed;
    SessionClock::setClock(&benchClock);
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    StartUp::setApplicationIdentity();
    DriveTimeRules rules;
    rules.limits = DriveTimeLimits{240 * kMinute, 840 * kMinute, 120 * kMinute, 60 * kMinute};
    rules.save();
    SessionClock::setFinalType(QStringLiteral("BY_TIME"));
    SessionClock::setFinalTime(86400);
    SessionClock::setStartTime(start / 1000);
    SessionClock::setRunning(true);

    SimOptions options;
    QString error;
    SimOptions::parse({"lanterra-sim", "--cars", "60", "--endurance", "--duration", "86400"}, &options, &error);
    const SessionSimulator simulator(options, start);
    auto provider = makeTestProvider();
    provider->controller()->replaceTree(simulator.state(elapsed, false).release());
    const QStringList cars = simulator.participants();
    for (int i = 0; i < state.range(0); ++i)
        provider->setCarToFollow(i + 1, cars.at(i));
    WidgetDriveTime panel(provider.get());
    panel.resize(900, 600);
    panel.show();
    QCoreApplication::processEvents();
    int stints = 0;
    for (const QString& car : provider->getFollowedCars())
        stints += provider->getStintKeys(car).size();
    const bool newMinute = state.range(2) != 0;
    qint64 step = kMinute;
    for (auto _ : state) {
        if (newMinute) {
            // Back and forth across a minute: the race stays where it is.
            g_now += step;
            step = -step;
        }
        panel.model()->processRefresh();
        // The repaint the refresh asked for.
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = panel.model()->rowCount();
    state.counters["stints"] = stints;
    SessionClock::setClock(nullptr);
}

BENCHMARK(BM_DriveTimeRefresh)
    ->Args({3, 30, 0})
    ->Args({60, 30, 0})
    ->Args({3, 30, 1})
    ->Args({60, 30, 1})
    ->Args({3, 720, 0})
    ->Args({60, 720, 0})
    ->Args({3, 720, 1})
    ->Args({60, 720, 1})
    ->Unit(benchmark::kMillisecond);

// The feasibility of one car alone, 24 h before the end: (0) four drivers
// at the start, minimum 5 h, spells of 2 h, rest 1 h: the plan meets the
// bound at once; (1) three drivers with rests longer than two spells
// (spells 81 min, rest 183), the slowest case found: the whole-minute
// phase goes through every plan and the millisecond phase stops at its
// bound, so the slack is a range from the best whole-minute plan; (2) the same with long spells and
// rests (150 min, rest 400): the whole-minute phase stops at its bound
// with a plan, so the slack is a range; (3) (1) with the car's own
// stops without a driver change counted (every 50 min, 65 s each, 20 min
// into a run): more lengths per turn, one where each stop falls due;
// (4) (1) with a stop every minute, 10 s each (the shortest interval
// learnt): hundreds of turn counts per driver in each lower bound; (5)
// (0) with the pit lane counting for a driver: the fill search drives the
// whole race; (6) three drivers needing 0, 20 and 60 min, none in the
// car, spells of 60, rest 120, the pit lane counting: a rotation that
// fills the race once the car is left to the longest rests.
void BM_Feasibility(benchmark::State& state)
{
    const bool hard = state.range(0) >= 1 && state.range(0) <= 4;
    CarDriveTime car;
    const qint64 needs[] = {300, 300, 300, 300};
    const qint64 hardNeeds[] = {320, 400, 350};
    const int drivers = hard ? 3 : 4;
    for (int i = 0; i < drivers; ++i) {
        DriverDriveTime d;
        d.driver = i + 1;
        d.toMinMs = (hard ? hardNeeds[i] : needs[i]) * kMinute;
        d.inCar = i == 0;
        car.drivers.append(d);
    }
    car.currentDriver = 1;
    if (state.range(0) == 6) {
        car.drivers.removeLast();
        car.drivers[0].toMinMs = 0;
        car.drivers[0].inCar = false;
        car.drivers[1].toMinMs = 20 * kMinute;
        car.drivers[2].toMinMs = 60 * kMinute;
        car.currentDriver = 0;
    }
    if (state.range(0) == 3) {
        car.stopStaysMs = {65000, 65000, 65000};
        car.runsToStopMs = {50 * kMinute, 50 * kMinute, 50 * kMinute};
        car.runMs = 20 * kMinute;
    }
    if (state.range(0) == 4) {
        car.stopStaysMs = {10000, 10000, 10000};
        car.runsToStopMs = {kMinute, kMinute, kMinute};
    }
    const DriveTimeLimits limits = state.range(0) == 6 ? DriveTimeLimits{0, 0, 60 * kMinute, 120 * kMinute}
        : state.range(0) == 2                          ? DriveTimeLimits{0, 0, 150 * kMinute, 400 * kMinute}
        : hard                                         ? DriveTimeLimits{0, 0, 81 * kMinute, 183 * kMinute}
                                                       : DriveTimeLimits{0, 0, 120 * kMinute, 60 * kMinute};
    DriveFeasibility result;
    for (auto _ : state) {
        result = DriveTimeCalculator::feasibility(car, limits, 1440 * kMinute, 2 * kMinute, state.range(0) < 5);
        benchmark::DoNotOptimize(result);
    }
    state.SetLabel(result.text.toStdString());
}

BENCHMARK(BM_Feasibility)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Arg(5)->Arg(6)->Unit(benchmark::kMicrosecond);

} // namespace

LANTERRA_WIDGET_BENCHMARK_MAIN()
