// Logging in to a 24-hour race (60 cars, 23.5 hours run): the snapshots of
// all thirteen channels arrive at once. Measures their bytes, rapidjson's
// DOM parse of them, the time from the first byte to the standings filled
// and the lap analysis caches rebuilt (the program's client path, events
// included), the ratio of the two, the heap memory that the mirror and the
// caches hold, and the process's resident memory at the end of the login.
#include "ResidentMemory.h"
#include "ClientV2Controller.h"
#include "SessionSimulator.h"
#include "SimOptions.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <memory>

#include <malloc.h>

namespace {

constexpr qint64 kElapsedMs = 84600000;

// One snapshot line per channel, as the server writes them.
QByteArray snapshotBytes(QVector<QByteArray>* payloads)
{
    SimOptions options;
    QString error;
    SimOptions::parse({ "lanterra-sim", "--cars", "60", "--endurance", "--duration", "86400", "--elapsed", "84600" }, &options, &error);
    const SessionSimulator simulator(options, QDateTime::currentMSecsSinceEpoch() - kElapsedMs);
    const std::unique_ptr<V2_Data> state = simulator.state(kElapsedMs);
    QByteArray bytes;
    int counter = 1;
    for (const QString& channel : SessionSimulator::channels()) {
        const V2_Data* node = state->getV2_Data(channel);
        if (!node)
            continue;
        V2_Data snapshot(QStringLiteral("ROOT"));
        snapshot.setRoot(true);
        const int dot = channel.lastIndexOf(QLatin1Char('.'));
        V2_Data* parent = dot < 0 ? &snapshot : snapshot.getOrCreateDataPointer(channel.left(dot));
        parent->insertData(channel.mid(dot + 1), new V2_Data(node));
        const QByteArray payload = snapshot.getJsonUtf8();
        payloads->append(payload);
        bytes += "JSON:" + QByteArray::number(counter++) + "::" + payload + "\r\n\r\n";
    }
    return bytes;
}

// Bytes the heap has handed out and not taken back: what the mirror and
// the caches hold, whatever memory earlier work left behind for reuse.
double heapMiB()
{
    return mallinfo2().uordblks / 1048576.0;
}

void BM_LoginInto24HourRace(benchmark::State& state)
{
    QVector<QByteArray> payloads;
    const QByteArray bytes = snapshotBytes(&payloads);
    // rapidjson's DOM parse of the same payloads, the yardstick.
    QElapsedTimer timer;
    double parseMs = 1e9;
    for (int round = 0; round < 3; ++round) {
        timer.start();
        for (const QByteArray& payload : payloads) {
            rapidjson::Document document;
            document.Parse(payload.constData(), static_cast<size_t>(payload.size()));
            benchmark::DoNotOptimize(document.IsObject());
        }
        parseMs = std::min(parseMs, timer.nsecsElapsed() / 1e6);
    }

    bool first = true;
    for (auto _ : state) {
        const double heapBefore = heapMiB();
        auto provider = makeTestProvider();
        int rebuilds = 0;
        QObject::connect(provider.get(), &V2DataProvider::analysisProcessed, [&rebuilds] { ++rebuilds; });
        timer.start();
        provider->controller()->receiveBytes(bytes);
        const qint64 receiveNs = timer.nsecsElapsed();
        // The heap once the lines are merged: the mirror (outside the clock).
        const double mirrorMiB = heapMiB() - heapBefore;
        timer.start();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        const double loginMs = (receiveNs + timer.nsecsElapsed()) / 1e6;
        state.SetIterationTime(loginMs / 1000.0);
        if (provider->getParticipantAtPosition(1, QString()).isEmpty() || provider->getLapRows().size() < 20000) {
            state.SkipWithError("the standings or the lap caches are not filled");
            return;
        }
        if (first) {
            const double heldMiB = heapMiB() - heapBefore;
            state.counters["heap_MiB"] = heldMiB;
            state.counters["mirror_MiB"] = mirrorMiB;
            state.counters["mirror_per_json_byte"] = mirrorMiB * 1048576 / bytes.size();
            state.counters["heap_per_json_byte"] = heldMiB * 1048576 / bytes.size();
            state.counters["resident_MiB"] = residentKiB() / 1024.0;
            first = false;
        }
        state.counters["snapshot_MiB"] = bytes.size() / 1048576.0;
        state.counters["rapidjson_parse_ms"] = parseMs;
        state.counters["login_ms"] = loginMs;
        state.counters["ratio"] = loginMs / parseMs;
        state.counters["lap_rows"] = double(provider->getLapRows().size());
        state.counters["analysis_announcements"] = rebuilds;
        state.PauseTiming();
        provider.reset();
        state.ResumeTiming();
    }
}

BENCHMARK(BM_LoginInto24HourRace)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // The allocator as the program sets it up.
    StartUp::tuneAllocator();
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
