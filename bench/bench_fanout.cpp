// Fan-out of the publishing server: one server publishes a 60-car standings
// update at a steady rate to N logged-in TLS clients on loopback, logged in
// with one or three profiles (so one or three audiences). The clients run in
// child processes of at most kClientsPerProcess each (this program started
// with --clients), so that the server's CPU time is its own and no single
// client process is the bottleneck: each reports its CPU use, which stays
// well below a core. Reports delivered updates/s, publish-to-onChannelChange
// latency (p50, p99), server CPU per delivered update and the server's CPU
// use while the N clients sit idle.
#include "BareReader.h"
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
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kUpdates = 100;
constexpr int kRateHz = 10;
constexpr int kIdleMs = 3000;
constexpr int kClientsPerProcess = 100;

double processCpuSeconds(bool kernelOnly = false)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double kernel = usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    return kernelOnly ? kernel : kernel + usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6;
}

// ---------------------------------------------------------------------------
// Client side (child process)

int runClients(int count, quint16 port, int updates, int profiles, int firstIndex, bool raw)
{
    QElapsedTimer wall;
    std::vector<std::unique_ptr<QObject>> clients;
    std::vector<qint64> latencies;
    latencies.reserve(static_cast<size_t>(count * updates));
    int joined = 0;
    int received = 0;
    for (int i = 0; i < count; ++i) {
        const QString user = QStringLiteral("bench%1").arg((firstIndex + i) % profiles);
        if (raw) {
            clients.emplace_back(new RawReader(
                port, user, [&joined] { ++joined; },
                [&latencies, &received](qint64 sentAt) {
                    latencies.push_back(wallMicros() - sentAt);
                    ++received;
                }));
            continue;
        }
        auto* client = new V2_Client(QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), port,
                                     QStringLiteral("bench"), user, QStringLiteral("127.0.0.1"));
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
    const double busyStart = processCpuSeconds();
    wall.start();
    if (!QTest::qWaitFor([&] { return received == count * updates; }, 60000))
        std::fprintf(stderr, "clients: %d of %d updates arrived\n", received, count * updates);
    const double busyPercent = 100.0 * (processCpuSeconds() - busyStart) / std::max(0.001, wall.elapsed() / 1000.0);
    // Every latency, for the server side to merge the processes' figures.
    std::printf("RESULT %d %.1f\nL", received, busyPercent);
    for (const qint64 latency : latencies)
        std::printf(" %lld", static_cast<long long>(latency));
    std::printf("\nEND\n");
    std::fflush(stdout);
    return 0;
}

// ---------------------------------------------------------------------------
// Server side (benchmark)

// Equal profiles under different names: each is an audience of its own.
void setUpServer(V2_Server& server, int profiles)
{
    for (int i = 0; i < profiles; ++i) {
        auto* profile = new V2_Profile(QStringLiteral("bench%1").arg(i));
        profile->keyList()->insert(QStringLiteral("timing"), 2);
        profile->keyList()->insert(QStringLiteral("timing.session"), 2);
        server.addProfile(profile->name(), profile);
        server.addUser(new V2_User(profile->name(), profile->name(), QStringLiteral("bench"), 100000, profile));
    }
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

struct ClientProcess {
    std::unique_ptr<QProcess> process{new QProcess};
    QByteArray output;

    const QByteArray& read()
    {
        output += process->readAllStandardOutput();
        return output;
    }
    bool has(const char* word) { return read().contains(word) || process->state() == QProcess::NotRunning; }
};

void BM_FanOut(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    const int profiles = static_cast<int>(state.range(1));
    const bool raw = state.range(2) != 0;
    for (auto _ : state) {
        V2_Server server;
        setUpServer(server, profiles);
        if (!server.startServer(0)) {
            state.SkipWithError("no port");
            return;
        }
        std::vector<ClientProcess> children((clients + kClientsPerProcess - 1) / kClientsPerProcess);
        for (size_t c = 0; c < children.size(); ++c) {
            const int first = static_cast<int>(c) * kClientsPerProcess;
            const int count = std::min(kClientsPerProcess, clients - first);
            children[c].process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            children[c].process->start(QCoreApplication::applicationFilePath(),
                                       {QStringLiteral("--clients"), QString::number(count), QString::number(server.serverPort()), QString::number(kUpdates),
                                        QString::number(profiles), QString::number(first), QString::number(raw)});
        }
        for (ClientProcess& child : children) {
            if (!QTest::qWaitFor([&] { return child.has("READY"); }, 120000) || !child.output.contains("READY")) {
                state.SkipWithError("clients did not log in");
                return;
            }
        }

        // Idle: N logged-in clients, nothing published.
        const double idleStart = processCpuSeconds();
        QTest::qWait(kIdleMs);
        const double idleCpu = processCpuSeconds() - idleStart;

        std::vector<std::unique_ptr<V2_Data>> trees;
        for (int v = 0; v < 16; ++v)
            trees.push_back(standingsTree(v));
        state.counters["line_bytes"] = trees.front()->getJsonUtf8().size();
        int published = 0;
        QElapsedTimer wall;
        wall.start();
        const double cpuStart = processCpuSeconds();
        const double kernelStart = processCpuSeconds(true);
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            V2_Data* tree = trees[static_cast<size_t>(published % 16)].get();
            tree->getOrCreateDataPointer(QStringLiteral("timing.session.bench"))->insertData(QStringLiteral("sentAt"), wallMicros());
            server.sendV2Data(tree);
            if (++published == kUpdates)
                ticker.stop();
        });
        ticker.start(1000 / kRateHz);
        int received = 0;
        double busiestClientProcess = 0;
        std::vector<long long> latencies;
        for (ClientProcess& child : children) {
            if (!QTest::qWaitFor([&] { return child.has("END"); }, 120000))
                std::fprintf(stderr, "no result from the clients in time\n");
            const int at = child.output.indexOf("RESULT");
            int childReceived = 0;
            double childBusy = 0;
            if (at < 0 || std::sscanf(child.output.constData() + at, "RESULT %d %lf", &childReceived, &childBusy) != 2) {
                state.SkipWithError("no result from the clients");
                return;
            }
            received += childReceived;
            busiestClientProcess = std::max(busiestClientProcess, childBusy);
            const int list = child.output.indexOf("\nL", at);
            const int listEnd = child.output.indexOf("\nEND", list);
            for (const QByteArray& item : child.output.mid(list + 2, listEnd - list - 2).split(' ')) {
                if (!item.isEmpty())
                    latencies.push_back(item.toLongLong());
            }
        }
        const double seconds = wall.elapsed() / 1000.0;
        const double cpu = processCpuSeconds() - cpuStart;
        const double kernel = processCpuSeconds(true) - kernelStart;
        for (ClientProcess& child : children)
            child.process->waitForFinished(10000);

        std::sort(latencies.begin(), latencies.end());
        const auto quantile = [&latencies](double q) { return latencies.empty() ? -1.0 : latencies[static_cast<size_t>(q * (latencies.size() - 1))] / 1000.0; };
        state.SetIterationTime(seconds);
        state.counters["clients"] = clients;
        state.counters["audiences"] = profiles;
        state.counters["bare_clients"] = raw;
        state.counters["delivered"] = received;
        state.counters["lost"] = clients * kUpdates - received;
        state.counters["delivered_per_s"] = received / seconds;
        state.counters["p50_ms"] = quantile(0.5);
        state.counters["p99_ms"] = quantile(0.99);
        state.counters["server_cpu_us_per_delivery"] = received ? cpu * 1e6 / received : 0;
        state.counters["of_which_kernel_us"] = received ? kernel * 1e6 / received : 0;
        state.counters["idle_cpu_percent"] = 100.0 * idleCpu / (kIdleMs / 1000.0);
        state.counters["busiest_client_process_cpu_percent"] = busiestClientProcess;
    }
}

// Arguments: clients, profiles, bare readers (1) or V2_Clients with their mirrors (0).
BENCHMARK(BM_FanOut)
    ->Args({1, 1, 0})
    ->Args({10, 1, 0})
    ->Args({100, 1, 0})
    ->Args({100, 1, 1})
    ->Args({500, 1, 1})
    ->Args({500, 3, 1})
    ->Args({500, 1, 0})
    ->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

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
    if (argc >= 8 && QByteArray(argv[1]) == "--clients")
        return runClients(QByteArray(argv[2]).toInt(), static_cast<quint16>(QByteArray(argv[3]).toInt()), QByteArray(argv[4]).toInt(),
                          QByteArray(argv[5]).toInt(), QByteArray(argv[6]).toInt(), QByteArray(argv[7]).toInt() != 0);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
