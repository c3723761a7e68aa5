// The team relay's added latency and cost: a simulated 60-car race at speed 5
// on the library's server (the timing server), lanterra-relay in a child
// process logged in to it, ten seats (V2_Clients, TLS) on the relay and one
// client on the timing server directly, all seats on a thread of their own.
// After every simulator tick (200 ms, one second of the race) the timing
// server publishes a stamp line (wall time in µs, in "weather"); each client
// notes when it arrives. Reports the stamp's latency to the direct client and
// to the seats (p50, p99, max) — the difference is what the relay adds —,
// the relay's CPU time per relayed line (from /proc), and how many
// connections the timing server had logged in with the relay's ten seats on.
//
//     bench_relay [--seconds 120] [--relay path/to/lanterra-relay]
#include "ProcessCpu.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_Server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int kSeats = 10;
constexpr int kTickMs = 200;
constexpr double kSpeed = 5.0;
const QString kStampPath = QStringLiteral("weather.benchStamp");

qint64 wallMicros()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The latencies of the stamp lines, per client kind.
struct Latencies {
    QMutex mutex;
    std::vector<qint64> direct;
    std::vector<qint64> seats;
};

V2_Client* newClient(quint16 port, QObject* parent)
{
    auto* client = new V2_Client(QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"), port,
                                 QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("127.0.0.1"), parent);
    QObject::connect(client, &V2_Client::onLoginDone, client, [client] { client->joinChannel(QStringLiteral("weather"), QString()); });
    return client;
}

void listen(V2_Client* client, Latencies* latencies, bool direct, const std::atomic<bool>* measuring)
{
    QObject::connect(client, &V2_Client::dataReceived, client, [client, latencies, direct, measuring] {
        if (!*measuring || !client->rxKeys(QStringLiteral("weather")).contains(QStringLiteral("benchStamp")))
            return;
        const qint64 latency = wallMicros() - client->getCurrentData()->getLongLong(kStampPath);
        QMutexLocker locker(&latencies->mutex);
        (direct ? latencies->direct : latencies->seats).push_back(latency);
    });
}

void report(const char* name, std::vector<qint64> values)
{
    if (values.empty()) {
        std::printf("%-28s no samples\n", name);
        return;
    }
    std::sort(values.begin(), values.end());
    const auto at = [&](double q) { return values[std::min(values.size() - 1, static_cast<size_t>(q * values.size()))] / 1000.0; };
    std::printf("%-28s %6zu samples  p50 %7.2f ms  p99 %7.2f ms  max %7.2f ms\n", name, values.size(), at(0.5), at(0.99), values.back() / 1000.0);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 120;
    QString relayPath = QStringLiteral(LANTERRA_RELAY_PATH);
    const QStringList arguments = QCoreApplication::arguments();
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        if (arguments.at(i) == QLatin1String("--seconds"))
            seconds = arguments.at(i + 1).toInt();
        else if (arguments.at(i) == QLatin1String("--relay"))
            relayPath = arguments.at(i + 1);
    }

    // The timing server.
    SimOptions options;
    QString error;
    SimOptions::parse({QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("60"), QStringLiteral("--elapsed"), QStringLiteral("1200"),
                       QStringLiteral("--speed"), QString::number(kSpeed)},
                      &options, &error);
    V2_Server upstream;
    SimAccounts::addDemoUser(upstream);
    upstream.startServer(0);
    SimPublisher publisher(&upstream, options, QDateTime::currentMSecsSinceEpoch() - 1200000);
    publisher.publishAt(1200000);

    // The relay, its own process and configuration folder.
    QTemporaryDir dir;
    const quint16 relayPort = freePort();
    QProcess relay;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LANTERRA_RELAY_PASSWORD"), QStringLiteral("demo"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    relay.setProcessEnvironment(environment);
    relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    relay.start(relayPath, {QStringLiteral("--upstream"), QStringLiteral("127.0.0.1:%1").arg(upstream.serverPort()), QStringLiteral("--user"),
                            QStringLiteral("demo"), QStringLiteral("--port"), QString::number(relayPort)});
    if (!relay.waitForStarted(5000)) {
        std::fprintf(stderr, "bench_relay: cannot start %s\n", qPrintable(relayPath));
        return 1;
    }

    // The clients, on their own thread.
    Latencies latencies;
    std::atomic<bool> measuring{false};
    QThread seatThread;
    seatThread.start();
    auto* seatRoot = new QObject;
    seatRoot->moveToThread(&seatThread);
    std::vector<V2_Client*> seats;
    V2_Client* direct = nullptr;
    QMetaObject::invokeMethod(
        seatRoot,
        [&] {
            for (int i = 0; i < kSeats; ++i) {
                V2_Client* seat = newClient(relayPort, seatRoot);
                listen(seat, &latencies, false, &measuring);
                seats.push_back(seat);
                seat->setActive(true);
            }
        },
        Qt::BlockingQueuedConnection);

    // Until every seat has the weather.
    const auto seatsFed = [&] {
        bool fed = true;
        QMetaObject::invokeMethod(
            seatRoot,
            [&] {
                for (V2_Client* seat : seats)
                    fed = fed && seat->getCurrentData()->getV2_Data(QStringLiteral("weather"));
            },
            Qt::BlockingQueuedConnection);
        return fed;
    };
    QElapsedTimer wait;
    wait.start();
    while (!seatsFed() && wait.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const int upstreamLogins = upstream.clientsLogged();
    QMetaObject::invokeMethod(
        seatRoot,
        [&] {
            direct = newClient(upstream.serverPort(), seatRoot);
            listen(direct, &latencies, true, &measuring);
            direct->setActive(true);
        },
        Qt::BlockingQueuedConnection);
    wait.restart();
    while (wait.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // The race at speed 5, a stamp after every tick.
    const double cpuBefore = processCpuSeconds(relay.processId());
    measuring = true;
    QElapsedTimer run;
    run.start();
    int lines = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        publisher.publishAt(1200000 + static_cast<qint64>(run.elapsed() * kSpeed));
        V2_Data stamp(QStringLiteral("ROOT"));
        stamp.setRoot(true);
        stamp.getOrCreateDataPointer(QStringLiteral("weather"))->insertData(QStringLiteral("benchStamp"), wallMicros());
        upstream.sendV2Data(&stamp);
        lines += 2;
        if (run.elapsed() >= seconds * 1000LL)
            app.quit();
    });
    tick.start(kTickMs);
    app.exec();
    QThread::msleep(500);
    measuring = false;
    const double cpu = processCpuSeconds(relay.processId()) - cpuBefore;

    std::printf("bench_relay: %d s of a 60-car race at speed %g, %d seats on the relay, one client on the timing server\n", seconds, kSpeed, kSeats);
    std::printf("timing server logins with the relay's %d seats on: %d\n", kSeats, upstreamLogins);
    {
        QMutexLocker locker(&latencies.mutex);
        report("timing server -> direct", latencies.direct);
        report("timing server -> relay seat", latencies.seats);
    }
    std::printf("relay CPU: %.2f s for %d upstream lines (%d simulator ticks, %d stamps): %.0f µs per line\n", cpu, lines, lines / 2, lines / 2,
                lines ? cpu * 1e6 / lines : 0.0);

    QMetaObject::invokeMethod(
        seatRoot,
        [&] {
            for (V2_Client* seat : seats)
                seat->setActive(false);
            if (direct)
                direct->setActive(false);
            delete seatRoot;
        },
        Qt::BlockingQueuedConnection);
    seatThread.quit();
    seatThread.wait();
    relay.terminate();
    relay.waitForFinished(5000);
    return 0;
}
