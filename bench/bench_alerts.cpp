// The team alert engine on a 60-car race: what it adds to one update line
// (every rule on, 20 followed cars, against the same lines with every rule
// off), and the time from a line's arrival to its alert.
#include "AlertRules.h"
#include "ClientV2Controller.h"
#include "SessionSimulator.h"
#include "SimOptions.h"
#include "TeamAlertEngine.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kCars = 60;
constexpr int kFollowed = 20;
constexpr qint64 kFromMs = 2100000; // before the safety car, a retirement and many pit stops
constexpr int kLines = 300; // one a second

struct Race
{
    std::unique_ptr<V2_Data> start;
    QVector<QByteArray> lines;
};

// The simulator's race at kFromMs and the lines of the next kLines seconds.
const Race& race()
{
    static const Race made = [] {
        Race race;
        SimOptions options;
        QString error;
        SimOptions::parse({ QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QString::number(kCars) }, &options, &error);
        const SessionSimulator simulator(options, QDateTime::currentMSecsSinceEpoch() - kFromMs);
        race.start = simulator.state(kFromMs);
        std::unique_ptr<V2_Data> previous(new V2_Data(race.start.get()));
        for (int i = 1; i <= kLines; ++i) {
            std::unique_ptr<V2_Data> next = simulator.state(kFromMs + i * 1000LL);
            std::unique_ptr<V2_Data> change(previous->difference(next.get()));
            change->setRoot(true);
            race.lines.append("JSON:" + QByteArray::number(i) + "::" + change->getJsonUtf8() + "\n");
            previous = std::move(next);
        }
        return race;
    }();
    return made;
}

AlertRules allRules(bool on)
{
    AlertRules rules;
    for (int i = 0; i < AlertRules::catalogue().size(); ++i) {
        AlertRules::Values values = rules.values(i);
        values.enabled = on;
        rules.setValues(i, values);
    }
    return rules;
}

std::unique_ptr<V2DataProvider> raceProvider(bool rulesOn)
{
    auto provider = makeTestProvider();
    provider->teamAlerts()->setRules(allRules(rulesOn));
    for (int car = 1; car <= kFollowed; ++car)
        provider->setCarToFollow(car, QString::number(car * 3));
    provider->controller()->replaceTree(new V2_Data(race().start.get()));
    return provider;
}

// One update line of the race read by the client, the controller, the
// provider and (rules on) the engine.
void BM_UpdateLine(benchmark::State& state)
{
    const bool rulesOn = state.range(0) != 0;
    const Race& lines = race();
    auto provider = raceProvider(rulesOn);
    ClientV2Controller* client = provider->controller();
    int next = 0;
    for (auto _ : state) {
        if (next == lines.lines.size()) {
            state.PauseTiming();
            client->replaceTree(new V2_Data(lines.start.get()));
            next = 0;
            state.ResumeTiming();
        }
        client->receiveBytes(lines.lines.at(next++));
    }
    state.counters["alerts"] = double(provider->teamAlerts()->alerts().size());
    state.SetLabel(rulesOn ? "11 rules on, 20 of 60 cars followed" : "rules off");
}

// From a pit entry line's arrival to its alert being raised.
void BM_LineToAlert(benchmark::State& state)
{
    auto provider = raceProvider(true);
    ClientV2Controller* client = provider->controller();
    QElapsedTimer clock;
    qint64 raisedAt = 0;
    QObject::connect(provider->teamAlerts(), &TeamAlertEngine::alertRaised, [&] { raisedAt = clock.nsecsElapsed(); });
    quint64 key = 1900000000000ULL;
    for (auto _ : state) {
        const QByteArray line
            = "JSON:1::{\"timing\":{\"analysis\":{\"pitIn\":{\"3\":{\"pits\":{\"" + QByteArray::number(++key) + "\":{\"driver\":1,\"lapNumber\":40}}}}}}}\n";
        raisedAt = -1;
        clock.start();
        client->receiveBytes(line);
        if (raisedAt < 0) {
            state.SkipWithError("no alert raised");
            break;
        }
        state.SetIterationTime(double(raisedAt) / 1e9);
    }
}

BENCHMARK(BM_UpdateLine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LineToAlert)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
