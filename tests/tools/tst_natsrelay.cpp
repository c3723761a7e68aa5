#include "LanterraChannels.h"
#include "NatsConnection.h"
#include "NatsEdge.h"
#include "NatsOrigin.h"
#include "Relay.h"
#include "RelayFeed.h"
#include "RandomWeather.h"
#include "RelayNotice.h"
#include "RelayOptions.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_Server.h"

#include <QDateTime>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kTls = QStringLiteral(LANTERRA_TEST_TLS_DIR);

// The timing server: the simulator on the library's server, TLS.
struct Upstream
{
    Upstream()
    {
        QString error;
        if (!SimOptions::parse(
                { QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("8"), QStringLiteral("--elapsed"), QStringLiteral("600") }, &options,
                &error))
            qFatal("bad simulator options: %s", qPrintable(error));
        SimAccounts::addDemoUser(server);
        server.startServer(0);
        publisher = std::make_unique<SimPublisher>(&server, options, QDateTime::currentMSecsSinceEpoch() - 600000);
        publisher->publishAt(600000);
    }
    SimOptions options;
    V2_Server server;
    std::unique_ptr<SimPublisher> publisher;
};

// A private NATS server on a loopback port, stopped by its process id.
class NatsServer final
{
public:
    ~NatsServer() { stop(); }
    bool start(QString* error)
    {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("nats-server"));
        if (program.isEmpty()) {
            *error = QStringLiteral("nats-server is not installed (scripts/install-deps.sh installs it)");
            return false;
        }
        if (m_port == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            m_port = probe.serverPort();
        }
        m_process.start(program, { QStringLiteral("-a"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port) });
        const bool up = m_process.waitForStarted(3000)
            && QTest::qWaitFor(
                            [this] {
                                QTcpSocket probe;
                                probe.connectToHost(QHostAddress::LocalHost, m_port);
                                return probe.waitForConnected(100);
                            },
                            5000);
        if (!up)
            *error = QStringLiteral("nats-server did not start on port %1: %2").arg(m_port).arg(QString::fromUtf8(m_process.readAllStandardError()));
        return up;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    QString url() const { return QStringLiteral("nats://127.0.0.1:%1").arg(m_port); }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

std::unique_ptr<Relay> relay(const QStringList& arguments)
{
    RelayOptions options;
    QString error;
    if (!RelayOptions::parse(QStringList{ QStringLiteral("lanterra-relay"), QStringLiteral("--certificate"), kTls + QStringLiteral("/test-cert.pem"),
                                          QStringLiteral("--key"), kTls + QStringLiteral("/test-key.pem") }
                                 + arguments,
                             QStringLiteral("demo"), &options, &error))
        qFatal("bad relay options: %s", qPrintable(error));
    auto result = std::make_unique<Relay>(options);
    int exitCode = 0;
    if (!result->setUp(&error, &exitCode))
        qFatal("relay not set up: %s", qPrintable(error));
    result->feed()->setSettleMs(150);
    result->start();
    return result;
}

std::unique_ptr<Relay> origin(const Upstream& upstream, const NatsServer& nats)
{
    std::unique_ptr<Relay> result = relay({ QStringLiteral("--upstream"), QStringLiteral("127.0.0.1:%1").arg(upstream.server.serverPort()),
                                            QStringLiteral("--user"), QStringLiteral("demo"), QStringLiteral("--nats-publish"), nats.url() });
    // Snapshots in several parts, as a long race's are.
    result->origin()->setPartBytes(4096);
    return result;
}

std::unique_ptr<Relay> edge(const NatsServer& nats)
{
    return relay({ QStringLiteral("--nats-subscribe"), nats.url(), QStringLiteral("--port"), QStringLiteral("0") });
}

// A seat: the library's client over TLS, joining every channel at each login.
struct Seat
{
    explicit Seat(quint16 port)
        : client(QStringLiteral("test"), QStringLiteral("1"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"), port, QStringLiteral("demo"),
                 QStringLiteral("demo"), QStringLiteral("127.0.0.1"))
        , logins(&client, &V2_Client::onLoginDone)
        , notices(&client, &V2_Client::errorReceived)
    {
        client.setSsl(true);
        QObject::connect(&client, &V2_Client::onLoginDone, &client, [this] {
            for (const QString& channel : lanterraChannels())
                client.joinChannel(channel, QString());
        });
        client.setActive(true);
    }
    bool told(const QString& reason) const
    {
        for (const QList<QVariant>& notice : notices) {
            if (notice.at(0).toString().contains(reason))
                return true;
        }
        return false;
    }
    V2_Client client;
    QSignalSpy logins;
    QSignalSpy notices;
};

QByteArray channelJson(const V2_Data* tree, const QString& channel)
{
    const V2_Data* node = tree->getV2_Data(channel);
    return node ? node->getJsonUtf8(true) : QByteArray("(none)");
}

// Every channel of the seat equals the origin's.
bool sameAs(const V2_Data* seat, const V2_Data* reference, QByteArray* fault)
{
    for (const QString& channel : lanterraChannels()) {
        const QByteArray expected = channelJson(reference, channel);
        const QByteArray actual = channelJson(seat, channel);
        if (actual != expected) {
            *fault = channel.toUtf8() + ": " + actual.left(300) + "\n  expected " + expected.left(300);
            return false;
        }
    }
    return true;
}

// The origin's side of NATS played by hand on the test's own connection, with
// weather.natsTest.value standing for the tree.
struct ScriptedOrigin
{
    struct Request
    {
        QByteArray replyTo;
        QByteArray number;
    };

    explicit ScriptedOrigin(const QString& url)
        : nats(url, QStringLiteral("scripted origin"))
    {
        QObject::connect(&nats, &NatsConnection::received, &nats, [this](int id, const QByteArray&, const QByteArray& replyTo, const QByteArray& data) {
            if (id == subscription)
                requests.append({ replyTo, data });
        });
    }
    bool open(QString* error)
    {
        subscription = nats.open(error) ? nats.subscribe("lanterra.snapshot") : -1;
        return subscription >= 0;
    }
    static QByteArray header(const QByteArray& base, quint64 sequence) { return base + ' ' + QByteArray::number(sequence) + " 1\n"; }
    static QByteArray tree(int value) { return R"({"weather":{"natsTest":{"value":)" + QByteArray::number(value) + "}}}"; }
    void change(const QByteArray& base, quint64 sequence, int value) { nats.publish("lanterra.tree.ch.weather", header(base, sequence) + tree(value)); }
    void announce(const QByteArray& base, quint64 sequence) { nats.publish("lanterra.tree.base", header(base, sequence)); }
    // The messages answering request with the tree at sequence, in parts.
    QList<QByteArray> answer(const Request& request, const QByteArray& base, quint64 sequence, int value, int parts = 1) const
    {
        const QByteArray compressed = qCompress(tree(value));
        const int size = (compressed.size() + parts - 1) / parts;
        QList<QByteArray> messages;
        for (int index = 0; index < parts; ++index)
            messages << header(base, sequence) + QByteArray::number(index) + ' ' + QByteArray::number(parts) + ' ' + request.number + '\n'
                    + compressed.mid(index * size, size);
        return messages;
    }
    void send(const Request& request, const QList<QByteArray>& messages)
    {
        for (const QByteArray& message : messages)
            nats.publish(request.replyTo, message);
    }

    NatsConnection nats;
    int subscription = -1;
    QVector<Request> requests;
};

} // namespace

class TestNatsRelay final : public QObject
{
    Q_OBJECT

public:
    enum class Event { LateEdge, EdgeRestarted, DroppedMessage, NatsRestarted, OriginRestarted };
    Q_ENUM(Event)
    enum class Script { StaleAnswer, OlderAnswer, SlowAnswer, WaitingOverflow };
    Q_ENUM(Script)

private slots:
    void initTestCase();
    void edgesConverge_data();
    void edgesConverge();
    void scriptedOrigin_data();
    void scriptedOrigin();
    void badOptions_data();
    void badOptions();

private:
    QTemporaryDir m_dir;
    // Shared by the rows (it takes most of a second to set up); each row
    // carries the session on from where the last one left it.
    std::unique_ptr<Upstream> m_upstream;
    qint64 m_at = 600000;
};

void TestNatsRelay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    m_upstream = std::make_unique<Upstream>();
}

void TestNatsRelay::edgesConverge_data()
{
    QTest::addColumn<Event>("event");
    QTest::newRow("an edge started late") << Event::LateEdge;
    QTest::newRow("an edge killed and restarted") << Event::EdgeRestarted;
    QTest::newRow("a dropped message repaired by a snapshot") << Event::DroppedMessage;
    QTest::newRow("the NATS server restarted mid-stream") << Event::NatsRestarted;
    QTest::newRow("the origin restarted") << Event::OriginRestarted;
}

void TestNatsRelay::edgesConverge()
{
    QFETCH(Event, event);
    Upstream& upstream = *m_upstream;
    NatsServer nats;
    QString error;
    QVERIFY2(nats.start(&error), qPrintable(error));
    std::unique_ptr<Relay> source = origin(upstream, nats);
    std::vector<std::unique_ptr<Relay>> edges(3);
    std::vector<std::unique_ptr<Seat>> seats(3);
    const auto startEdge = [&](size_t i) {
        edges[i] = edge(nats);
        seats[i] = std::make_unique<Seat>(edges[i]->server()->serverPort());
    };
    for (size_t i = 0; i < edges.size(); ++i) {
        if (event != Event::LateEdge || i < 2)
            startEdge(i);
    }
    const auto converged = [&](QByteArray* fault) {
        if (!source->feed()->isLive())
            return false;
        for (size_t i = 0; i < edges.size(); ++i) {
            if (!edges[i])
                continue;
            if (!edges[i]->edge()->isLive() || seats[i]->client.joinedChannels().size() < lanterraChannels().size()
                || !sameAs(seats[i]->client.getCurrentData(), source->feed()->client()->getCurrentData(), fault))
                return false;
        }
        return true;
    };
    QByteArray fault;
    QTRY_VERIFY2_WITH_TIMEOUT(converged(&fault), fault.constData(), 10000);
    const QByteArray firstBase = source->origin()->base();
    quint64 snapshots = edges[1]->edge()->snapshotsTaken();

    // Random steps of the session, and random keys set and deleted.
    QRandomGenerator random(38);
    qint64& at = m_at;
    RandomWeather weather(QStringLiteral("natsTest"));
    for (int step = 0; step < 10; ++step) {
        if (step == 4) {
            switch (event) {
            case Event::LateEdge:
                startEdge(2);
                break;
            case Event::EdgeRestarted:
                seats[2].reset();
                edges[2].reset();
                startEdge(2);
                break;
            case Event::DroppedMessage:
                edges[1]->edge()->dropNextChange();
                break;
            case Event::NatsRestarted:
                // The notices at the first sync are not the ones looked for.
                seats[0]->notices.clear();
                nats.stop();
                break;
            case Event::OriginRestarted:
                source.reset();
                source = origin(upstream, nats);
                QTRY_VERIFY_WITH_TIMEOUT(source->feed()->isLive(), 5000);
                break;
            }
        }
        if (step == 6 && event == Event::NatsRestarted) {
            // The seats were told, and kept their data meanwhile.
            QTRY_VERIFY_WITH_TIMEOUT(!edges[0]->edge()->isLive() && seats[0]->told(relayUpstreamLostReason()), 3000);
            QVERIFY(!seats[0]->told(relayUpstreamBackReason()));
            QVERIFY2(nats.start(&error), qPrintable(error));
        }
        at += random.bounded(200, 20000);
        upstream.publisher->publishAt(at);
        weather.send(upstream.server, random, step);
        const V2_Data* truth = source->feed()->client()->getCurrentData();
        QTRY_VERIFY_WITH_TIMEOUT(weather.takenBy(truth), 3000);
    }
    QTRY_VERIFY2_WITH_TIMEOUT(converged(&fault), fault.constData(), 10000);
    for (size_t i = 0; i < edges.size(); ++i)
        QCOMPARE(edges[i]->edge()->base(), source->origin()->base());

    switch (event) {
    case Event::LateEdge:
    case Event::EdgeRestarted:
        break;
    case Event::DroppedMessage:
        QVERIFY(edges[1]->edge()->snapshotsTaken() > snapshots);
        break;
    case Event::NatsRestarted:
        // Brought back without reconnecting.
        QCOMPARE(seats[0]->logins.count(), 1);
        QVERIFY(seats[0]->told(relayUpstreamBackReason()));
        break;
    case Event::OriginRestarted:
        QVERIFY(source->origin()->base() != firstBase);
        break;
    }
}

void TestNatsRelay::scriptedOrigin_data()
{
    QTest::addColumn<Script>("script");
    QTest::newRow("an answer of the previous base to an earlier request") << Script::StaleAnswer;
    QTest::newRow("the request answered from an older point") << Script::OlderAnswer;
    QTest::newRow("a slow answer, announcements meanwhile") << Script::SlowAnswer;
    QTest::newRow("changes waiting past the byte cap") << Script::WaitingOverflow;
}

void TestNatsRelay::scriptedOrigin()
{
    QFETCH(Script, script);
    NatsServer server;
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    ScriptedOrigin origin(server.url());
    QVERIFY2(origin.open(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(origin.nats.isConnected(), 3000);
    std::unique_ptr<Relay> relayed = edge(server);
    NatsEdge* edge = relayed->edge();
    edge->setRequestTimeout(600);
    Seat seat(relayed->server()->serverPort());
    // Every value the seat held, in turn.
    QVector<int> seen;
    const auto value = [&seat] {
        const V2_Data* tree = seat.client.getCurrentData();
        return tree->getV2_Data(QStringLiteral("weather.natsTest")) ? tree->getInt(QStringLiteral("weather.natsTest.value")) : -1;
    };
    QObject::connect(&seat.client, &V2_Client::dataReceived, &seat.client, [&] {
        if (value() >= 0 && (seen.isEmpty() || seen.last() != value()))
            seen << value();
    });
    QTRY_VERIFY_WITH_TIMEOUT(seat.client.joinedChannels().contains(QStringLiteral("weather")) && origin.requests.size() == 1, 5000);

    if (script == Script::SlowAnswer) {
        // Asked while the origin was not heard: its first announcement asks again.
        origin.announce("b1", 5);
        QTRY_COMPARE_WITH_TIMEOUT(origin.requests.size(), 2, 3000);
        // Each part comes well within the timeout, the whole well past it.
        for (const QByteArray& part : origin.answer(origin.requests.at(1), "b1", 5, 5, 4)) {
            origin.announce("b1", 5);
            origin.send(origin.requests.at(1), { part });
            QTest::qWait(200);
        }
        QTRY_VERIFY_WITH_TIMEOUT(value() == 5 && edge->sequence() == 5, 3000);
        QCOMPARE(origin.requests.size(), 2);
        QCOMPARE(edge->snapshotsTaken(), quint64(1));
        return;
    }

    origin.send(origin.requests.at(0), origin.answer(origin.requests.at(0), "b1", 5, 5));
    QTRY_COMPARE_WITH_TIMEOUT(value(), 5, 3000);
    if (script == Script::WaitingOverflow) {
        // Three changes of 36 bytes wait past a gap; the third overflows the
        // cap, so the answer under way would leave a hole: a fresh request.
        edge->setMaxWaitingBytes(100);
        // Well past the wait below: only the overflow asks again.
        edge->setRequestTimeout(10000);
        for (int sequence = 7; sequence <= 9; ++sequence)
            origin.change("b1", sequence, sequence);
        QTRY_COMPARE_WITH_TIMEOUT(origin.requests.size(), 3, 2000);
        // Change 9 waited again and follows the snapshot.
        origin.send(origin.requests.at(2), origin.answer(origin.requests.at(2), "b1", 8, 8));
        QTRY_VERIFY_WITH_TIMEOUT(value() == 9 && edge->sequence() == 9, 3000);
        QCOMPARE(seen, QVector<int>({ 5, 8, 9 }));
        return;
    }
    origin.announce("b2", 7);
    QTRY_COMPARE_WITH_TIMEOUT(origin.requests.size(), 2, 3000);
    origin.send(origin.requests.at(1), origin.answer(origin.requests.at(1), "b2", 7, 7));
    QTRY_COMPARE_WITH_TIMEOUT(value(), 7, 3000);
    // Change 8 lost: a new request.
    origin.change("b2", 9, 9);
    QTRY_COMPARE_WITH_TIMEOUT(origin.requests.size(), 3, 3000);
    if (script == Script::StaleAnswer) {
        origin.send(origin.requests.at(0), origin.answer(origin.requests.at(0), "b1", 5, 5));
    } else {
        origin.send(origin.requests.at(2), origin.answer(origin.requests.at(2), "b2", 6, 6));
        QTRY_COMPARE_WITH_TIMEOUT(origin.requests.size(), 4, 3000);
    }
    origin.send(origin.requests.last(), origin.answer(origin.requests.last(), "b2", 9, 9));
    QTRY_VERIFY_WITH_TIMEOUT(value() == 9 && edge->sequence() == 9, 3000);
    QCOMPARE(edge->base(), QByteArray("b2"));
    QCOMPARE(seen, QVector<int>({ 5, 7, 9 }));
}

void TestNatsRelay::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    const QString url = QStringLiteral("nats://127.0.0.1:4222");
    const QStringList upstream = { QStringLiteral("--upstream"), QStringLiteral("127.0.0.1:11001"), QStringLiteral("--user"), QStringLiteral("team") };
    QTest::newRow("both roles") << upstream + QStringList{ QStringLiteral("--nats-publish"), url, QStringLiteral("--nats-subscribe"), url }
                                << QStringLiteral("exclude each other");
    QTest::newRow("edge with an upstream") << upstream + QStringList{ QStringLiteral("--nats-subscribe"), url }
                                           << QStringLiteral("--upstream is no option of an edge");
    QTest::newRow("edge recording") << QStringList{ QStringLiteral("--nats-subscribe"), url, QStringLiteral("--record"), QStringLiteral("x.lrec") }
                                    << QStringLiteral("--record is no option of an edge");
    QTest::newRow("URL without a port") << QStringList{ QStringLiteral("--nats-subscribe"), QStringLiteral("nats://host") }
                                        << QStringLiteral("is no NATS server");
    QTest::newRow("URL of another scheme") << upstream + QStringList{ QStringLiteral("--nats-publish"), QStringLiteral("http://host:4222") }
                                           << QStringLiteral("is no NATS server");
    QTest::newRow("port out of range") << QStringList{ QStringLiteral("--nats-subscribe"), QStringLiteral("nats://host:70000") }
                                       << QStringLiteral("is no NATS server");
    QTest::newRow("prefix alone") << upstream + QStringList{ QStringLiteral("--nats-prefix"), QStringLiteral("team") }
                                  << QStringLiteral("needs --nats-publish");
    QTest::newRow("prefix with a wildcard") << QStringList{ QStringLiteral("--nats-subscribe"), url, QStringLiteral("--nats-prefix"), QStringLiteral("a.*") }
                                            << QStringLiteral("--nats-prefix must be");
    QTest::newRow("origin without upstream") << QStringList{ QStringLiteral("--nats-publish"), url } << QStringLiteral("--upstream is missing");
}

void TestNatsRelay::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    RelayOptions options;
    QString message;
    QVERIFY(!RelayOptions::parse(QStringList{ QStringLiteral("lanterra-relay") } + arguments, QStringLiteral("secret"), &options, &message));
    QVERIFY2(message.contains(error), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestNatsRelay)
#include "tst_natsrelay.moc"
