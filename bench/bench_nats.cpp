// Relays over NATS against one publishing server, in one run: the bench's
// publishing server (the timing server) sends a 60-car standings update at
// 10/s, stamped with its wall time, to D bare TLS readers connected to it
// directly and to one lanterra-relay origin (--nats-publish) in a child
// process; a private nats-server carries the changes to E edges
// (lanterra-relay --nats-subscribe, child processes) with R bare readers
// each. Readers run in child processes of at most 100. Reports the stamp's
// latency (p50, p99) to the direct readers and through the edges, the
// origin's CPU per upstream line, each edge's CPU per delivered line, the
// nats-server's CPU, and the messages per second it carried (its /varz).
//
//     bench_nats [--benchmark_filter=...]
#include "BareReader.h"
#include "ProcessCpu.h"
#include "SampleLines.h"
#include "SessionSimulator.h"
#include "SimOptions.h"
#include "V2_Data.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kUpdates = 100;
constexpr int kRateHz = 10;
constexpr int kReadersPerProcess = 100;

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool portOpen(quint16 port)
{
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    return probe.waitForConnected(200);
}

// A relay's log (in the program's log folder under its XDG_CONFIG_HOME).
QByteArray relayLog(const QTemporaryDir& dir, const QString& name)
{
    QFile log(dir.filePath(name + QStringLiteral("/Veltrano Systems/lanterra-relay/console.log")));
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

// ---------------------------------------------------------------------------
// Reader side (child process)

int runReaders(int count, quint16 port, int updates)
{
    std::vector<std::unique_ptr<RawReader>> readers;
    std::vector<qint64> latencies;
    latencies.reserve(static_cast<size_t>(count * updates));
    int joined = 0;
    for (int i = 0; i < count; ++i)
        readers.emplace_back(new RawReader(
            port, QStringLiteral("bench"), [&joined] { ++joined; }, [&latencies](qint64 sentAt) { latencies.push_back(wallMicros() - sentAt); }));
    if (!QTest::qWaitFor([&] { return joined == count; }, 120000)) {
        std::printf("FAILED joined %d of %d\n", joined, count);
        return 1;
    }
    std::printf("READY\n");
    std::fflush(stdout);
    if (!QTest::qWaitFor([&] { return latencies.size() >= static_cast<size_t>(count * updates); }, 60000))
        std::fprintf(stderr, "readers: %zu of %d updates arrived\n", latencies.size(), count * updates);
    std::printf("RESULT %zu\nL", latencies.size());
    for (const qint64 latency : latencies)
        std::printf(" %lld", static_cast<long long>(latency));
    std::printf("\nEND\n");
    std::fflush(stdout);
    return 0;
}

// ---------------------------------------------------------------------------
// Publisher side (benchmark)

struct Child
{
    std::unique_ptr<QProcess> process{ new QProcess };
    QByteArray output;
    const QByteArray& read()
    {
        output += process->readAllStandardOutput();
        return output;
    }
    bool has(const char* word) { return read().contains(word) || process->state() == QProcess::NotRunning; }
};

// Readers on port, in processes of at most kReadersPerProcess.
void startReaders(std::vector<Child>& children, int count, quint16 port)
{
    for (int first = 0; first < count; first += kReadersPerProcess) {
        children.emplace_back();
        Child& child = children.back();
        child.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.process->start(
            QCoreApplication::applicationFilePath(),
            { QStringLiteral("--readers"), QString::number(std::min(kReadersPerProcess, count - first)), QString::number(port), QString::number(kUpdates) });
    }
}

// The latencies the children report, in µs.
bool collect(std::vector<Child>& children, std::vector<long long>* latencies)
{
    for (Child& child : children) {
        if (!QTest::qWaitFor([&] { return child.has("END"); }, 120000))
            return false;
        const int at = child.output.indexOf("\nL");
        const int end = child.output.indexOf("\nEND", at);
        if (at < 0 || end < 0)
            return false;
        for (const QByteArray& item : child.output.mid(at + 2, end - at - 2).split(' ')) {
            if (!item.isEmpty())
                latencies->push_back(item.toLongLong());
        }
        child.process->waitForFinished(10000);
    }
    std::sort(latencies->begin(), latencies->end());
    return true;
}

double quantile(const std::vector<long long>& sorted, double q)
{
    return sorted.empty() ? -1.0 : sorted[static_cast<size_t>(q * (sorted.size() - 1))] / 1000.0;
}

// in_msgs and out_msgs of the nats-server's monitoring page.
bool natsCounters(quint16 monitorPort, double* in, double* out)
{
    QTcpSocket http;
    http.connectToHost(QHostAddress::LocalHost, monitorPort);
    if (!http.waitForConnected(2000))
        return false;
    http.write("GET /varz HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    QByteArray response;
    while (http.waitForReadyRead(2000))
        response += http.readAll();
    const QJsonObject varz = QJsonDocument::fromJson(response.mid(response.indexOf("\r\n\r\n") + 4)).object();
    *in = varz.value(QStringLiteral("in_msgs")).toDouble();
    *out = varz.value(QStringLiteral("out_msgs")).toDouble();
    return varz.contains(QStringLiteral("in_msgs"));
}

std::unique_ptr<V2_Data> standingsTree(int variant)
{
    V2_message message;
    message.parseMessage(SampleLines::standings(60, variant));
    std::unique_ptr<V2_Data> tree(new V2_Data(QStringLiteral("ROOT")));
    tree->setRoot(true);
    tree->fromRapidJson(*message.rapidJsonDocument(), nullptr);
    return tree;
}

void BM_NatsEdges(benchmark::State& state)
{
    const int edges = static_cast<int>(state.range(0));
    const int perEdge = static_cast<int>(state.range(1));
    const int direct = static_cast<int>(state.range(2));
    const QString relayPath = QStringLiteral(LANTERRA_RELAY_PATH);
    const QString natsPath = QStandardPaths::findExecutable(QStringLiteral("nats-server"));
    if (natsPath.isEmpty()) {
        state.SkipWithError("nats-server is not installed");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir dir;
        // Accounts of the readers (on the timing server and the edges) and of the origin.
        QSettings profiles(dir.filePath(QStringLiteral("profiles.ini")), QSettings::IniFormat);
        profiles.setValue(QStringLiteral("BENCH/timing"), 2);
        profiles.setValue(QStringLiteral("BENCH/timing.session"), 2);
        profiles.sync();
        QSettings users(dir.filePath(QStringLiteral("users.ini")), QSettings::IniFormat);
        users.setValue(QStringLiteral("bench/USER"), QStringLiteral("bench"));
        users.setValue(QStringLiteral("bench/PASSWORD"), QStringLiteral("bench"));
        users.setValue(QStringLiteral("bench/PROFILE"), QStringLiteral("BENCH"));
        users.setValue(QStringLiteral("bench/MAX_CONNECTIONS"), 100000);
        users.sync();
        QFile password(dir.filePath(QStringLiteral("password")));
        password.open(QIODevice::WriteOnly);
        password.write("bench\n");
        password.close();

        V2_Server server;
        auto* profile = new V2_Profile(QStringLiteral("BENCH"));
        profile->keyList()->insert(QStringLiteral("timing"), 2);
        profile->keyList()->insert(QStringLiteral("timing.session"), 2);
        server.addProfile(profile->name(), profile);
        server.addUser(new V2_User(QStringLiteral("bench"), QStringLiteral("bench"), QStringLiteral("bench"), 100000, profile));
        server.startServer(0);

        const quint16 natsPort = freePort();
        const quint16 monitorPort = freePort();
        const QString url = QStringLiteral("nats://127.0.0.1:%1").arg(natsPort);
        Child nats;
        nats.process->start(natsPath,
                            { QStringLiteral("-a"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(natsPort), QStringLiteral("-m"),
                              QString::number(monitorPort) });
        if (!QTest::qWaitFor([&] { return portOpen(natsPort); }, 5000)) {
            state.SkipWithError("nats-server did not start");
            return;
        }
        const auto relayEnvironment = [&dir](const QString& name) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(name));
            return environment;
        };
        Child origin;
        origin.process->setProcessEnvironment(relayEnvironment(QStringLiteral("origin")));
        origin.process->start(relayPath,
                              { QStringLiteral("--upstream"), QStringLiteral("127.0.0.1:%1").arg(server.serverPort()), QStringLiteral("--user"),
                                QStringLiteral("bench"), QStringLiteral("--password-file"), password.fileName(), QStringLiteral("--channels"),
                                QStringLiteral("timing.session"), QStringLiteral("--nats-publish"), url });
        std::vector<Child> edgeProcesses(static_cast<size_t>(edges));
        std::vector<quint16> edgePorts;
        for (int e = 0; e < edges; ++e) {
            edgePorts.push_back(freePort());
            Child& edge = edgeProcesses[static_cast<size_t>(e)];
            edge.process->setProcessEnvironment(relayEnvironment(QStringLiteral("edge%1").arg(e)));
            edge.process->start(relayPath,
                                { QStringLiteral("--nats-subscribe"), url, QStringLiteral("--port"), QString::number(edgePorts.back()),
                                  QStringLiteral("--channels"), QStringLiteral("timing.session"), QStringLiteral("--users"),
                                  dir.filePath(QStringLiteral("users.ini")), QStringLiteral("--profiles"), dir.filePath(QStringLiteral("profiles.ini")) });
        }
        for (const quint16 port : edgePorts) {
            if (!QTest::qWaitFor([&] { return portOpen(port); }, 20000)) {
                state.SkipWithError("an edge did not start");
                return;
            }
        }
        // The origin follows its upstream from the first data line on, and
        // then announces its base: the edges take their snapshots of it.
        std::vector<std::unique_ptr<V2_Data>> trees;
        for (int v = 0; v < 16; ++v)
            trees.push_back(standingsTree(v));
        QTimer warmUp;
        QObject::connect(&warmUp, &QTimer::timeout, [&] { server.sendV2Data(trees.front().get()); });
        warmUp.start(200);
        QByteArray base;
        const bool followed = QTest::qWaitFor(
            [&] {
                const QByteArray log = relayLog(dir, QStringLiteral("origin"));
                const int at = log.indexOf("New base ");
                if (at >= 0)
                    base = log.mid(at + 9, log.indexOf(' ', at + 9) - at - 9);
                return !base.isEmpty();
            },
            20000);
        const bool synced = followed
            && QTest::qWaitFor(
                                [&] {
                                    for (int e = 0; e < edges; ++e) {
                                        if (!relayLog(dir, QStringLiteral("edge%1").arg(e)).contains("Snapshot of the origin taken (base " + base))
                                            return false;
                                    }
                                    return true;
                                },
                                20000);
        warmUp.stop();
        if (!synced) {
            state.SkipWithError("the edges did not follow the origin");
            return;
        }
        std::vector<Child> directReaders;
        std::vector<Child> edgeReaders;
        startReaders(directReaders, direct, server.serverPort());
        for (const quint16 port : edgePorts)
            startReaders(edgeReaders, perEdge, port);
        for (std::vector<Child>* group : { &directReaders, &edgeReaders }) {
            for (Child& child : *group) {
                if (!QTest::qWaitFor([&] { return child.has("READY"); }, 180000) || !child.output.contains("READY")) {
                    state.SkipWithError("readers did not log in");
                    return;
                }
            }
        }
        // The readers' snapshots are in.
        QTest::qWait(1000);
        double natsIn0 = 0, natsOut0 = 0, natsIn1 = 0, natsOut1 = 0;
        natsCounters(monitorPort, &natsIn0, &natsOut0);
        const double originCpu0 = processCpuSeconds(origin.process->processId());
        const double natsCpu0 = processCpuSeconds(nats.process->processId());
        std::vector<double> edgeCpu0;
        for (Child& edge : edgeProcesses)
            edgeCpu0.push_back(processCpuSeconds(edge.process->processId()));
        QElapsedTimer wall;
        wall.start();
        int published = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            V2_Data* tree = trees[static_cast<size_t>(published % 16)].get();
            tree->getOrCreateDataPointer(QStringLiteral("timing.session.bench"))->insertData(QStringLiteral("sentAt"), wallMicros());
            server.sendV2Data(tree);
            if (++published == kUpdates)
                ticker.stop();
        });
        ticker.start(1000 / kRateHz);
        std::vector<long long> directLatencies;
        std::vector<long long> edgeLatencies;
        if (!collect(directReaders, &directLatencies) || !collect(edgeReaders, &edgeLatencies)) {
            state.SkipWithError("no result from the readers");
            return;
        }
        const double seconds = wall.elapsed() / 1000.0;
        natsCounters(monitorPort, &natsIn1, &natsOut1);
        double edgeCpu = 0;
        for (size_t e = 0; e < edgeProcesses.size(); ++e)
            edgeCpu += processCpuSeconds(edgeProcesses[e].process->processId()) - edgeCpu0[e];
        const double originCpu = processCpuSeconds(origin.process->processId()) - originCpu0;
        const double natsCpu = processCpuSeconds(nats.process->processId()) - natsCpu0;

        state.SetIterationTime(seconds);
        state.counters["edges"] = edges;
        state.counters["readers_per_edge"] = perEdge;
        state.counters["direct_readers"] = direct;
        state.counters["direct_p50_ms"] = quantile(directLatencies, 0.5);
        state.counters["direct_p99_ms"] = quantile(directLatencies, 0.99);
        state.counters["edge_p50_ms"] = quantile(edgeLatencies, 0.5);
        state.counters["edge_p99_ms"] = quantile(edgeLatencies, 0.99);
        state.counters["edge_lost"] = double(edges) * perEdge * kUpdates - double(edgeLatencies.size());
        state.counters["origin_cpu_us_per_line"] = originCpu * 1e6 / kUpdates;
        state.counters["edge_cpu_us_per_delivery"] = edgeLatencies.empty() ? 0 : edgeCpu * 1e6 / double(edgeLatencies.size());
        state.counters["nats_cpu_percent"] = 100.0 * natsCpu / seconds;
        state.counters["nats_in_msgs_per_s"] = (natsIn1 - natsIn0) / seconds;
        state.counters["nats_out_msgs_per_s"] = (natsOut1 - natsOut0) / seconds;

        for (Child* child : { &origin, &nats }) {
            child->process->terminate();
            child->process->waitForFinished(5000);
        }
        for (Child& edge : edgeProcesses) {
            edge.process->terminate();
            edge.process->waitForFinished(5000);
        }
    }
}

// Arguments: edges, bare readers per edge, bare readers on the publishing server.
BENCHMARK(BM_NatsEdges)->Args({ 3, 50, 150 })->Args({ 3, 150, 450 })->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The snapshot an origin sends an edge: the simulator's whole tree of a
// 60-car race after the given minutes, as JSON and compressed (NATS'
// default max_payload is 1 MB).
void BM_SnapshotSize(benchmark::State& state)
{
    const int minutes = static_cast<int>(state.range(0));
    SimOptions options;
    QString error;
    SimOptions::parse({ QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--duration"),
                        QString::number(minutes * 60), QStringLiteral("--elapsed"), QString::number(minutes * 60) },
                      &options, &error);
    const SessionSimulator simulator(options, QDateTime::currentMSecsSinceEpoch() - minutes * 60000LL);
    const std::unique_ptr<V2_Data> tree = simulator.state(minutes * 60000LL);
    QByteArray json;
    QByteArray compressed;
    for (auto _ : state) {
        json = tree->getJsonUtf8(false);
        compressed = qCompress(json);
    }
    state.counters["minutes"] = minutes;
    state.counters["json_bytes"] = json.size();
    state.counters["compressed_bytes"] = compressed.size();
}
BENCHMARK(BM_SnapshotSize)->Arg(40)->Arg(180)->Arg(1440)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qputenv("QT_LOGGING_RULES", "*.debug=false");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    if (argc >= 5 && QByteArray(argv[1]) == "--readers")
        return runReaders(QByteArray(argv[2]).toInt(), static_cast<quint16>(QByteArray(argv[3]).toInt()), QByteArray(argv[4]).toInt());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
