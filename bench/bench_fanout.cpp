// Fan-out of the publishing server: one server publishes a 60-car standings
// update at a steady rate to N logged-in TLS clients on loopback. The clients
// run in a child process (this program started with --clients), so that the
// server's CPU time is its own. Reports delivered updates/s, publish-to-
// onChannelChange latency (p50, p99), server CPU per delivered update and the
// server's CPU use while the N clients sit idle.
#include "SampleLines.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kUpdates = 100;
constexpr int kRateHz = 10;
constexpr int kIdleMs = 3000;

qint64 wallMicros()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---------------------------------------------------------------------------
// Client side (child process)

int runClients(int count, quint16 port, int updates)
{
    std::vector<std::unique_ptr<V2_Client>> clients;
    std::vector<qint64> latencies;
    latencies.reserve(static_cast<size_t>(count * updates));
    int joined = 0;
    int received = 0;
    for (int i = 0; i < count; ++i) {
        auto* client = new V2_Client(QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), port,
                                     QStringLiteral("bench"), QStringLiteral("bench"), QStringLiteral("127.0.0.1"));
        QObject::connect(client, &V2_Client::onLoginDone, client, [client] { client->joinChannel(QStringLiteral("timing.session"), QStringLiteral("1")); });
        QObject::connect(client, &V2_Client::onChannelJoin, client, [&joined] { ++joined; });
        QObject::connect(client, &V2_Client::onChannelChange, client, [client, &latencies, &received] {
            // The first line after connecting becomes the mirror itself.
            const V2_Data* line = client->getRxData()->datas()->isEmpty() ? client->getCurrentData() : client->getRxData();
            const qint64 sentAt = line->getLongLong(QStringLiteral("timing.session.bench.sentAt"), -1);
            if (sentAt < 0)
                return;
            latencies.push_back(wallMicros() - sentAt);
            ++received;
        });
        client->setActive(true);
        clients.emplace_back(client);
    }
    if (!QTest::qWaitFor([&] { return joined == count; }, 60000)) {
        std::printf("FAILED joined %d of %d\n", joined, count);
        return 1;
    }
    std::printf("READY\n");
    std::fflush(stdout);
    if (!QTest::qWaitFor([&] { return received == count * updates; }, 60000))
        std::fprintf(stderr, "clients: %d of %d updates arrived\n", received, count * updates);
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&latencies](double q) { return latencies.empty() ? -1 : latencies[static_cast<size_t>(q * (latencies.size() - 1))]; };
    std::printf("RESULT %d %lld %lld\n", received, static_cast<long long>(at(0.5)), static_cast<long long>(at(0.99)));
    std::fflush(stdout);
    return 0;
}

// ---------------------------------------------------------------------------
// Server side (benchmark)

void setUpServer(V2_Server& server)
{
    auto* profile = new V2_Profile(QStringLiteral("bench"));
    profile->keyList()->insert(QStringLiteral("timing"), 2);
    profile->keyList()->insert(QStringLiteral("timing.session"), 2);
    server.addProfile(profile->name(), profile);
    server.addUser(new V2_User(QStringLiteral("bench"), QStringLiteral("bench"), QStringLiteral("bench"), 100000, profile));
}

std::unique_ptr<V2_Data> standingsTree(int variant)
{
    const QByteArray line = SampleLines::standings(60, variant);
    V2_message message;
    message.parseMessage(line);
    std::unique_ptr<V2_Data> tree(new V2_Data(QStringLiteral("ROOT")));
    tree->setRoot(true);
    tree->fromRapidJson(*message.rapidJsonDocument(), nullptr);
    return tree;
}

void BM_FanOut(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    for (auto _ : state) {
        V2_Server server;
        setUpServer(server);
        if (!server.startServer(0)) {
            state.SkipWithError("no port");
            return;
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--clients"), QString::number(clients), QString::number(server.serverPort()), QString::number(kUpdates)});
        QByteArray output;
        auto readChild = [&] {
            output += child.readAllStandardOutput();
            return output;
        };
        if (!QTest::qWaitFor([&] { return readChild().contains("READY") || child.state() == QProcess::NotRunning; }, 90000) || !output.contains("READY")) {
            state.SkipWithError("clients did not log in");
            return;
        }

        // Idle: N logged-in clients, nothing published (the poll loops only).
        const double idleStart = processCpuSeconds();
        QTest::qWait(kIdleMs);
        const double idleCpu = processCpuSeconds() - idleStart;

        std::vector<std::unique_ptr<V2_Data>> trees;
        for (int v = 0; v < 16; ++v)
            trees.push_back(standingsTree(v));
        int published = 0;
        QElapsedTimer wall;
        wall.start();
        const double cpuStart = processCpuSeconds();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            V2_Data* tree = trees[static_cast<size_t>(published % 16)].get();
            tree->getOrCreateDataPointer(QStringLiteral("timing.session.bench"))->insertData(QStringLiteral("sentAt"), wallMicros());
            server.sendV2Data(tree);
            if (++published == kUpdates)
                ticker.stop();
        });
        ticker.start(1000 / kRateHz);
        if (!QTest::qWaitFor([&] { return readChild().contains("RESULT") || child.state() == QProcess::NotRunning; }, 90000))
            std::fprintf(stderr, "no result from the clients in time\n");
        const double seconds = wall.elapsed() / 1000.0;
        const double cpu = processCpuSeconds() - cpuStart;
        child.waitForFinished(5000);

        int received = 0;
        long long p50 = -1;
        long long p99 = -1;
        const int at = output.indexOf("RESULT");
        if (at < 0 || std::sscanf(output.constData() + at, "RESULT %d %lld %lld", &received, &p50, &p99) != 3) {
            state.SkipWithError("no result from the clients");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["clients"] = clients;
        state.counters["delivered"] = received;
        state.counters["lost"] = clients * kUpdates - received;
        state.counters["delivered_per_s"] = received / seconds;
        state.counters["p50_ms"] = p50 / 1000.0;
        state.counters["p99_ms"] = p99 / 1000.0;
        state.counters["server_cpu_us_per_delivery"] = received ? cpu * 1e6 / received : 0;
        state.counters["idle_cpu_percent"] = 100.0 * idleCpu / (kIdleMs / 1000.0);
    }
}

BENCHMARK(BM_FanOut)->Arg(1)->Arg(10)->Arg(100)->Arg(500)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    // Connection and TLS chatter would drown the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    if (argc >= 5 && QByteArray(argv[1]) == "--clients")
        return runClients(QByteArray(argv[2]).toInt(), static_cast<quint16>(QByteArray(argv[3]).toInt()), QByteArray(argv[4]).toInt());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
