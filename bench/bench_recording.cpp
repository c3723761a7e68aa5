// Session recordings: what recording costs on the client's line path (as a
// ratio to the line's own processing), the file size per hour of a 60-car
// race (plain and gzip), the time a jump takes in the program's player
// into the last minutes of a 24-hour race (panels' caches rebuilt), and the
// memory the broadcast delay holds for its longest delay in such a race.
#include "BenchLines.h"
#include "BenchRatios.h"
#include "BroadcastDelay.h"
#include "ClientV2Controller.h"
#include "RecordingPlayer.h"
#include "ResidentMemory.h"
#include "SessionRecorder.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Client.h"
#include "V2_Server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace BenchLines;

enum Recording {
    Off,
    Plain,
    Gzip,
};

QTemporaryDir& scratch()
{
    static QTemporaryDir dir;
    return dir;
}

QString fileFor(int recording, const QString& stem)
{
    return scratch().filePath(stem + (recording == Gzip ? QStringLiteral(".lrec.gz") : QStringLiteral(".lrec")));
}

// A line through the client's whole read path, with or without a recorder listening.
void BM_ReceiveLine(benchmark::State& state)
{
    const int kind = static_cast<int>(state.range(0));
    const int recording = static_cast<int>(state.range(1));
    QVector<QByteArray> lines = linesOf(kind);
    for (QByteArray& line : lines)
        line += '\n';
    V2_Client client(QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("2"), 1, QString(), QString(),
                     QStringLiteral("127.0.0.1"));
    SessionRecorder recorder(&client);
    QString error;
    if (recording != Off && !recorder.start(fileFor(recording, QStringLiteral("lines")), &error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    for (const QByteArray& line : lines)
        client.receiveBytes(line);
    int i = 0;
    for (auto _ : state)
        client.receiveBytes(lines.at(i++ % kVariants));
    state.SetLabel(std::string(name(kind)) + (recording == Off ? "" : recording == Plain ? " recorded" : " recorded gz"));
}

struct Simulated {
    explicit Simulated(const QStringList& arguments, qint64 elapsedMs)
    {
        QString error;
        SimOptions::parse(QStringList{QStringLiteral("lanterra-sim"), QStringLiteral("--no-tls")} + arguments, &options, &error);
        server.setSsl(false);
        SimAccounts::addDemoUser(server);
        server.startServer(0);
        publisher = std::make_unique<SimPublisher>(&server, options, QDateTime::currentMSecsSinceEpoch() - elapsedMs);
        publisher->publishAt(elapsedMs);
        client = makeTestProvider();
        client->controller()->setSsl(false);
        client->controller()->setPort(server.serverPort());
        client->controller()->setUsername(QStringLiteral("demo"));
        client->controller()->setPassword(QStringLiteral("demo"));
    }
    // Until the client's tree stops changing for a moment.
    void settle()
    {
        int changes = -1;
        int seen = 0;
        QObject::connect(client->controller(), &V2_Client::onChannelChange, [&seen] { ++seen; });
        while (changes != seen) {
            changes = seen;
            QTest::qWait(300);
        }
        QObject::disconnect(client->controller(), &V2_Client::onChannelChange, nullptr, nullptr);
    }

    SimOptions options;
    V2_Server server;
    std::unique_ptr<SimPublisher> publisher;
    std::unique_ptr<V2DataProvider> client;
};

// Ten minutes of a 60-car race at one tick a second, from its first hour,
// recorded both ways at once; sizes scaled to an hour.
void BM_FileSizePerHour(benchmark::State& state)
{
    constexpr int kTicks = 600;
    for (auto _ : state) {
        Simulated race({QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--duration"), QStringLiteral("10800")}, 3600000);
        race.client->setActive(true);
        race.settle();
        // Started on a filled tree: the first record holds it; the hour counts what follows.
        SessionRecorder plain(race.client->controller());
        SessionRecorder gzip(race.client->controller());
        QString error;
        plain.start(fileFor(Plain, QStringLiteral("hour")), &error);
        gzip.start(fileFor(Gzip, QStringLiteral("hour")), &error);
        QTest::qWait(1200);
        const qint64 snapshotPlain = QFileInfo(plain.path()).size();
        const qint64 snapshotGzip = QFileInfo(gzip.path()).size();
        for (int tick = 1; tick <= kTicks; ++tick) {
            race.publisher->publishAt(3600000 + tick * 1000LL);
            QCoreApplication::processEvents();
        }
        race.settle();
        plain.stop();
        gzip.stop();
        const double scale = 3600.0 / kTicks;
        state.counters["snapshot_MiB"] = snapshotPlain / 1048576.0;
        state.counters["plain_MiB_per_hour"] = (QFileInfo(plain.path()).size() - snapshotPlain) * scale / 1048576.0;
        state.counters["gzip_MiB_per_hour"] = (QFileInfo(gzip.path()).size() - snapshotGzip) * scale / 1048576.0;
        state.counters["records"] = double(plain.records());
        race.client->setActive(false);
    }
}

// The last ten minutes of a 24-hour race (the recording begins with the
// whole tree, 36 MB); jumps to its middle and its end in the program's
// player, each until the standings and the lap caches are rebuilt.
void BM_JumpInto24HourRace(benchmark::State& state)
{
    constexpr qint64 kFrom = 84600000;
    const QString path = fileFor(Gzip, QStringLiteral("day"));
    {
        Simulated race({QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--endurance"), QStringLiteral("--duration"),
                        QStringLiteral("86400"), QStringLiteral("--elapsed"), QStringLiteral("84600")},
                       kFrom);
        race.server.setTimeout(0);
        race.client->setActive(true);
        // The 36 MB analysis snapshot takes a while to write and to read.
        if (!QTest::qWaitFor([&race] { return race.client->getLapRows().size() > 20000 && !race.client->getParticipantAtPosition(1, QString()).isEmpty(); },
                             60000)) {
            state.SkipWithError("the race did not arrive");
            return;
        }
        race.settle();
        SessionRecorder recorder(race.client->controller());
        QString error;
        recorder.start(path, &error);
        for (int tick = 1; tick <= 120; ++tick) {
            race.publisher->publishAt(kFrom + tick * 5000LL);
            QCoreApplication::processEvents();
        }
        race.settle();
        recorder.stop();
        race.client->setActive(false);
    }
    auto provider = makeTestProvider();
    RecordingPlayer player(provider->controller());
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!player.open(path, &error)) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    QCoreApplication::processEvents();
    state.counters["open_ms"] = timer.nsecsElapsed() / 1e6;
    state.counters["file_MiB"] = QFileInfo(path).size() / 1048576.0;
    int jump = 0;
    for (auto _ : state) {
        const qint64 to = jump++ % 2 ? player.duration() : player.duration() / 2;
        timer.start();
        player.seek(to);
        state.counters["rebuild_ms"] = timer.nsecsElapsed() / 1e6;
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        const double ms = timer.nsecsElapsed() / 1e6;
        state.counters["rebuild_ms"] = ms - state.counters["rebuild_ms"];
        if (provider->getParticipantAtPosition(1, QString()).isEmpty() || provider->getLapRows().size() < 20000) {
            state.SkipWithError("the standings or the lap caches are not filled");
            return;
        }
        state.SetIterationTime(ms / 1000.0);
        // The replaced tree is freed a little later; not in the next jump's time.
        QTest::qWait(3000);
    }
}

// Five minutes of a 60-car race at one tick a second, all held by a delay
// of five minutes (the longest): the bytes held and the resident memory they add.
void BM_DelayHoldsFiveMinutes(benchmark::State& state)
{
    constexpr int kTicks = BroadcastDelay::MaxSeconds;
    for (auto _ : state) {
        Simulated race({QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--duration"), QStringLiteral("10800")}, 3600000);
        race.client->setActive(true);
        race.settle();
        BroadcastDelay* delay = race.client->controller()->delay();
        delay->setSeconds(BroadcastDelay::MaxSeconds);
        const long before = residentKiB();
        for (int tick = 1; tick <= kTicks; ++tick) {
            race.publisher->publishAt(3600000 + tick * 1000LL);
            QCoreApplication::processEvents();
        }
        QTest::qWait(1500);
        state.counters["held_lines"] = delay->heldCount();
        state.counters["held_MiB"] = delay->heldBytes() / 1048576.0;
        state.counters["resident_added_MiB"] = (residentKiB() - before) / 1024.0;
        delay->setSeconds(0);
        race.client->setActive(false);
    }
}

BENCHMARK(BM_ReceiveLine)->ArgsProduct({{Standings, Participant, Lap}, {Off, Plain, Gzip}});
BENCHMARK(BM_FileSizePerHour)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_DelayHoldsFiveMinutes)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_JumpInto24HourRace)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(4);

} // namespace

int main(int argc, char** argv)
{
    // As the program does.
    StartUp::tuneAllocator();
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    benchmark::Initialize(&argc, argv);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int kind = Standings; kind <= Lap; ++kind) {
        for (int recording : {Plain, Gzip})
            pairs.emplace_back("BM_ReceiveLine/" + std::to_string(kind) + "/" + std::to_string(recording), "BM_ReceiveLine/" + std::to_string(kind) + "/0");
    }
    BenchRatios reporter(pairs);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    benchmark::Shutdown();
    return 0;
}
