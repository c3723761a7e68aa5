// Strangers against the publishing server over TLS, measured by hand (not a
// timed test). The strangers run in a child process (this program started
// with --strangers) so that the server's memory is its own.
//   bench_strangers flood [strangers] [seconds]   (64, 30)
//     the strangers write bad lines ("x") as fast as they can and never read;
//     dropped ones come back. Reports the server process's peak and last
//     resident and heap memory, sampled every 250 ms.
//   bench_strangers login [strangers]   (64)
//     the strangers hold connections open, a line every 2 s, reconnecting
//     when closed. Reports how long a real client takes to log in.
#include "ResidentMemory.h"
#include "V2_Client.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTest>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The measuring machine is shared: a server past this is stopped, not measured further.
constexpr long kResidentLimitKiB = 3L * 1024 * 1024;

long heapKiB()
{
    return long(mallinfo2().uordblks / 1024);
}

// One stranger: connects over TLS, never reads (a 1 KiB read buffer), and
// either floods bad lines or sends one every 2 s; comes back when closed.
void startStranger(quint16 port, bool flood)
{
    auto* socket = new QSslSocket;
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    // Small only once encrypted: the handshake must be read whole.
    QObject::connect(socket, &QSslSocket::encrypted, socket, [=] { socket->setReadBufferSize(1024); });
    QObject::connect(socket, &QSslSocket::disconnected, socket, [=] { socket->setReadBufferSize(0); });
    const QByteArray block = QByteArray("x\r\n").repeated(20000);
    auto* ticker = new QTimer(socket);
    QObject::connect(ticker, &QTimer::timeout, socket, [=] {
        if (!socket->isEncrypted())
            return;
        if (!flood) {
            socket->write("x\r\n");
            return;
        }
        while (socket->bytesToWrite() + socket->encryptedBytesToWrite() < 256 * 1024)
            socket->write(block);
    });
    QObject::connect(socket, &QSslSocket::disconnected, socket, [=] {
        QTimer::singleShot(100, socket, [=] { socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port); });
    });
    ticker->start(flood ? 5 : 2000);
    socket->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
}

int runStrangers(int count, quint16 port, bool flood)
{
    for (int i = 0; i < count; ++i)
        startStranger(port, flood);
    std::printf("READY\n");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

void setUpServer(V2_Server& server)
{
    auto* profile = new V2_Profile(QStringLiteral("Team"));
    profile->keyList()->insert(QStringLiteral("weather"), 2);
    server.addProfile(profile->name(), profile);
    server.addUser(new V2_User(QStringLiteral("Team"), QStringLiteral("team"), QStringLiteral("pw"), 5, profile));
}

QProcess* startChild(const char* mode, int strangers, quint16 port)
{
    auto* child = new QProcess;
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--strangers"), QLatin1String(mode), QString::number(strangers), QString::number(port)});
    child->waitForReadyRead(10000);
    return child;
}

int flood(int strangers, int seconds)
{
    V2_Server server;
    setUpServer(server);
    if (!server.startServer(0))
        return 1;
    int dropped = 0;
    QObject::connect(&server, &V2_Server::onClientDisconnected, [&] { ++dropped; });
    const long startResident = residentKiB();
    QProcess* child = startChild("flood", strangers, server.serverPort());
    long peakResident = 0;
    long peakHeap = 0;
    QElapsedTimer clock;
    clock.start();
    bool stopped = false;
    while (clock.elapsed() < seconds * 1000LL) {
        QTest::qWait(250);
        peakResident = std::max(peakResident, residentKiB());
        peakHeap = std::max(peakHeap, heapKiB());
        if (residentKiB() > kResidentLimitKiB) {
            stopped = true;
            break;
        }
    }
    std::printf("flood: %d strangers, %.1f s%s: resident at start %ld MiB, peak %ld MiB, last %ld MiB; heap peak %ld MiB, last %ld MiB; "
                "%d connections dropped\n",
                strangers, clock.elapsed() / 1000.0, stopped ? " (stopped at the memory limit)" : "", startResident / 1024, peakResident / 1024,
                residentKiB() / 1024, peakHeap / 1024, heapKiB() / 1024, dropped);
    child->kill();
    child->waitForFinished();
    delete child;
    return 0;
}

int login(int strangers)
{
    V2_Server server;
    setUpServer(server);
    if (!server.startServer(0))
        return 1;
    QProcess* child = startChild("login", strangers, server.serverPort());
    QTest::qWait(3000); // the strangers are in
    const int held = server.clientsConnected();
    V2_Client client(QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), server.serverPort(), QStringLiteral("pw"),
                     QStringLiteral("team"), QStringLiteral("127.0.0.1"));
    client.setSsl(true);
    QSignalSpy done(&client, &V2_Client::onLoginDone);
    QElapsedTimer clock;
    clock.start();
    client.setActive(true);
    const bool in = QTest::qWaitFor([&] { return done.count() > 0; }, 30000);
    if (in)
        std::printf("login: %d strangers (%d connections held): logged in after %lld ms\n", strangers, held, clock.elapsed());
    else
        std::printf("login: %d strangers (%d connections held): not logged in after %lld ms\n", strangers, held, clock.elapsed());
    client.setActive(false);
    child->kill();
    child->waitForFinished();
    delete child;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Thousands of refused lines and connections would drown the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    const QStringList args = app.arguments();
    if (args.size() >= 5 && args.at(1) == QLatin1String("--strangers"))
        return runStrangers(args.at(3).toInt(), quint16(args.at(4).toInt()), args.at(2) == QLatin1String("flood"));
    const QString mode = args.value(1, QStringLiteral("flood"));
    if (mode == QLatin1String("login"))
        return login(args.value(2, QStringLiteral("64")).toInt());
    return flood(args.value(2, QStringLiteral("64")).toInt(), args.value(3, QStringLiteral("30")).toInt());
}
