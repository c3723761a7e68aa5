#include "ConnectionWatch.h"
#include "LanterraChannels.h"
#include "RandomWeather.h"
#include "RecordingReader.h"
#include "Relay.h"
#include "RelayFeed.h"
#include "RelayOptions.h"
#include "RelayRecorder.h"
#include "ReplayState.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "TeamChannel.h"
#include "TeamFollowSync.h"
#include "V2DataProvider.h"
#include "ClientV2Controller.h"
#include "V2_Data.h"
#include "V2_Server.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTcpServer>
#include <QtTest>

#include <memory>

namespace {

const QString kTls = QStringLiteral(LANTERRA_TEST_TLS_DIR);
// The restricted seat's channels.
const QStringList kLimited = {QStringLiteral("weather"), QStringLiteral("timing.session")};

SimOptions simOptions()
{
    SimOptions options;
    QString error;
    if (!SimOptions::parse({QStringLiteral("lanterra-sim"), QStringLiteral("--cars"), QStringLiteral("8"), QStringLiteral("--classes"), QStringLiteral("2"),
                            QStringLiteral("--elapsed"), QStringLiteral("600")},
                           &options, &error))
        qFatal("bad simulator options: %s", qPrintable(error));
    return options;
}

// The timing server: the simulator on the library's server, TLS, on a given port (0: any).
struct Upstream {
    explicit Upstream(quint16 port, qint64 elapsedMs)
    {
        SimAccounts::addDemoUser(server);
        server.startServer(port);
        publisher = std::make_unique<SimPublisher>(&server, options, QDateTime::currentMSecsSinceEpoch() - elapsedMs);
        publisher->publishAt(elapsedMs);
    }
    SimOptions options = simOptions();
    V2_Server server;
    std::unique_ptr<SimPublisher> publisher;
};

// One seat: the program's client path, TLS.
std::unique_ptr<V2DataProvider> seat(quint16 port, const QString& user, const QString& password)
{
    return std::make_unique<V2DataProvider>(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"),
                                            port, password, user, QStringLiteral("127.0.0.1"));
}

const V2_Data* mirror(V2DataProvider* seat)
{
    return seat->controller()->getCurrentData();
}

QByteArray channelJson(const V2_Data* tree, const QString& channel)
{
    const V2_Data* node = tree->getV2_Data(channel);
    return node ? node->getJsonUtf8(true) : QByteArray("(none)");
}

// Every channel of the seat equals the reference's; a channel it may not join is absent.
bool sameAs(const V2_Data* seat, const V2_Data* reference, const QStringList& channels, QByteArray* fault)
{
    for (const QString& channel : lanterraChannels()) {
        const QByteArray expected = channels.contains(channel) ? channelJson(reference, channel) : QByteArray("(none)");
        const QByteArray actual = channelJson(seat, channel);
        if (actual != expected) {
            *fault = channel.toUtf8() + ": " + actual.left(300) + "\n  expected " + expected.left(300);
            return false;
        }
    }
    return true;
}

QJsonObject follow(const QString& block, const QString& car, const QString& color, const QString& user)
{
    return QJsonObject{{QStringLiteral("team"),
                        QJsonObject{{QStringLiteral("follow"),
                                     QJsonObject{{block, QJsonObject{{QStringLiteral("car"), car}, {QStringLiteral("color"), color}, {QStringLiteral("seat"), user}}}}}}}};
}

// Warnings about refused uploads, counted while a test row runs.
int g_refusalWarnings = 0;
QtMessageHandler g_previousHandler = nullptr;

void countRefusals(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("partly or wholly ignored")))
        ++g_refusalWarnings;
    g_previousHandler(type, context, message);
}

} // namespace

class TestRelay final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void seatsMirrorTheUpstream();
    void upstreamRestartConverges_data();
    void upstreamRestartConverges();
    void teamChannel();
    void programSeatsShareFollows();
    void teamUploadsBounded_data();
    void teamUploadsBounded();
    void badOptions_data();
    void badOptions();
    void setUpFailures_data();
    void setUpFailures();
    void programExitCodes();

private:
    // The relay in front of upstream, its seats' accounts in INI files:
    // "demo" (everything, uploads) and "pit" (kLimited only, no uploads).
    std::unique_ptr<Relay> relayFor(quint16 upstreamPort, const QStringList& more = {});
    bool seatsReady(const QList<V2DataProvider*>& seats);

    QTemporaryDir m_dir;
};

void TestRelay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toUtf8());
    QSettings profiles(m_dir.filePath(QStringLiteral("profiles.ini")), QSettings::IniFormat);
    for (const QString& channel : lanterraChannels() + QStringList{QStringLiteral("team")}) {
        const QStringList parts = channel.split(QLatin1Char('.'));
        for (int i = 1; i <= parts.size(); ++i)
            profiles.setValue(QStringLiteral("FULL/") + parts.mid(0, i).join(QLatin1Char('.')), 2);
    }
    profiles.setValue(QStringLiteral("FULL/PROFILE/IS_ALLOWED_TO_SEND_DATA"), true);
    profiles.setValue(QStringLiteral("PIT/weather"), 2);
    profiles.setValue(QStringLiteral("PIT/timing"), 1);
    profiles.setValue(QStringLiteral("PIT/timing.session"), 2);
    profiles.setValue(QStringLiteral("PIT/team"), 2);
    profiles.sync();
    QSettings users(m_dir.filePath(QStringLiteral("users.ini")), QSettings::IniFormat);
    const QList<QStringList> accounts = {{QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("FULL")},
                                         {QStringLiteral("pit"), QStringLiteral("wall"), QStringLiteral("PIT")}};
    for (const QStringList& account : accounts) {
        users.beginGroup(account.at(0));
        users.setValue(QStringLiteral("USER"), account.at(0));
        users.setValue(QStringLiteral("PASSWORD"), account.at(1));
        users.setValue(QStringLiteral("PROFILE"), account.at(2));
        users.setValue(QStringLiteral("MAX_CONNECTIONS"), 10);
        users.endGroup();
    }
    users.sync();
}

std::unique_ptr<Relay> TestRelay::relayFor(quint16 upstreamPort, const QStringList& more)
{
    RelayOptions options;
    QString error;
    const bool parsed = RelayOptions::parse(QStringList{QStringLiteral("lanterra-relay"), QStringLiteral("--upstream"), QStringLiteral("127.0.0.1:%1").arg(upstreamPort),
                                             QStringLiteral("--user"), QStringLiteral("demo"), QStringLiteral("--port"), QStringLiteral("0"),
                                             QStringLiteral("--users"), m_dir.filePath(QStringLiteral("users.ini")), QStringLiteral("--profiles"),
                                             m_dir.filePath(QStringLiteral("profiles.ini")), QStringLiteral("--certificate"),
                                             kTls + QStringLiteral("/test-cert.pem"), QStringLiteral("--key"), kTls + QStringLiteral("/test-key.pem")}
                                                + more,
                                            QStringLiteral("demo"), &options, &error);
    if (!parsed)
        qFatal("bad relay options: %s", qPrintable(error));
    auto relay = std::make_unique<Relay>(options);
    int exitCode = 0;
    if (!relay->setUp(&error, &exitCode))
        qFatal("relay not set up: %s", qPrintable(error));
    relay->feed()->setSettleMs(150);
    relay->start();
    return relay;
}

bool TestRelay::seatsReady(const QList<V2DataProvider*>& seats)
{
    for (V2DataProvider* seat : seats) {
        if (seat->controller()->joinedChannels().size() < 2 || mirror(seat)->datas()->isEmpty())
            return false;
    }
    return true;
}

void TestRelay::seatsMirrorTheUpstream()
{
    Upstream upstream(0, 600000);
    const QString recording = m_dir.filePath(QStringLiteral("relay.lrec.gz"));
    // An earlier recording of that name is kept.
    QFile earlier(recording);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier");
    earlier.close();
    // Without a pin the operator learns which one to give.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("Upstream certificate taken unchecked .* --upstream-pin [0-9A-Fa-f:]{64,}")));
    std::unique_ptr<Relay> relay = relayFor(upstream.server.serverPort(), {QStringLiteral("--record"), recording});
    const quint16 port = relay->server()->serverPort();
    // The truth: the program connected to the timing server itself.
    std::unique_ptr<V2DataProvider> direct = seat(upstream.server.serverPort(), QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> a = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> b = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> pit = seat(port, QStringLiteral("pit"), QStringLiteral("wall"));
    QTRY_VERIFY_WITH_TIMEOUT(relay->feed()->isLive() && seatsReady({direct.get(), a.get(), b.get(), pit.get()}), 8000);
    QCOMPARE(upstream.server.clientsLogged(), 2);

    // Random steps of the session, and random keys set and deleted.
    QRandomGenerator random(37);
    qint64 at = 600000;
    RandomWeather weather(QStringLiteral("relayTest"));
    for (int step = 0; step < 12; ++step) {
        at += random.bounded(200, 20000);
        upstream.publisher->publishAt(at);
        weather.send(upstream.server, random, step);
        // The direct client has both lines: the seats must come to the same.
        QTRY_VERIFY_WITH_TIMEOUT(weather.takenBy(mirror(direct.get())), 3000);
        QByteArray fault;
        QTRY_VERIFY2_WITH_TIMEOUT(sameAs(mirror(a.get()), mirror(direct.get()), lanterraChannels(), &fault)
                                      && sameAs(mirror(b.get()), mirror(direct.get()), lanterraChannels(), &fault)
                                      && sameAs(mirror(pit.get()), mirror(direct.get()), kLimited, &fault),
                                  fault.constData(), 3000);
    }
    QVERIFY(relay->feed()->linesRelayed() >= 12);
    // The timing server saw the relay once, and the direct client.
    QCOMPARE(upstream.server.clientsLogged(), 2);

    // The recording replays to what the relay received.
    const QByteArray received = relay->feed()->client()->getCurrentData()->getJsonUtf8(true);
    const QString recorded = relay->recorder()->path();
    relay.reset();
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("earlier"));
    QVERIFY2(recorded.startsWith(m_dir.filePath(QStringLiteral("relay-"))) && recorded.endsWith(QLatin1String("Z.lrec.gz")), qPrintable(recorded));
    RecordingReader reader;
    QString error;
    QVERIFY2(reader.open(recorded, &error), qPrintable(error));
    QCOMPARE(reader.port(), int(upstream.server.serverPort()));
    ReplayState replay;
    qint64 ms = 0;
    QByteArray line;
    int records = 0;
    while (reader.next(&ms, &line) == RecordingReader::Status::Record) {
        replay.apply(line);
        ++records;
    }
    QVERIFY(records >= 24);
    QCOMPARE(replay.tree()->getJsonUtf8(true), received);
}

enum class Late { None, DuringOutage, BeforeCatchUp };
Q_DECLARE_METATYPE(Late)

void TestRelay::upstreamRestartConverges_data()
{
    QTest::addColumn<int>("settleMs");
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("teamUpload");
    QTest::addColumn<Late>("late");
    QTest::newRow("snapshots in before catching up") << 150 << false << false << Late::None;
    // Catching up would come before the login's first line, which then
    // replaces the relay's mirror whole.
    QTest::newRow("catching up due at once") << 0 << false << false << Late::None;
    // Nothing changed: no data line, yet the seats go live.
    QTest::newRow("quiet outage") << 150 << true << false << Late::None;
    // A team line is no word from the timing server.
    // A team line is no word from the timing server, and a seat connecting
    // meanwhile is stale from the start.
    QTest::newRow("team upload, seat connecting during the outage") << 150 << false << true << Late::DuringOutage;
    // Joined after the new login's first line: answered from what the seats
    // hold, not from the new, partial mirror.
    QTest::newRow("seat joining before catching up") << 1000 << false << false << Late::BeforeCatchUp;
}

void TestRelay::upstreamRestartConverges()
{
    QFETCH(int, settleMs);
    QFETCH(bool, quiet);
    QFETCH(bool, teamUpload);
    QFETCH(Late, late);
    auto upstream = std::make_unique<Upstream>(0, 600000);
    const quint16 upstreamPort = upstream->server.serverPort();
    std::unique_ptr<Relay> relay = relayFor(upstreamPort);
    relay->feed()->setSettleMs(settleMs);
    std::unique_ptr<V2DataProvider> a = seat(relay->server()->serverPort(), QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> pit = seat(relay->server()->serverPort(), QStringLiteral("pit"), QStringLiteral("wall"));
    QTRY_VERIFY_WITH_TIMEOUT(relay->feed()->isLive() && seatsReady({a.get(), pit.get()}), 8000);
    if (teamUpload) {
        a->teamFollow()->setEnabled(true); // joins the team channel (a seat not sharing leaves it)
        QTRY_VERIFY_WITH_TIMEOUT(a->controller()->joinedChannels().contains(QStringLiteral("team")), 2000);
    }
    // The program's watch counts from the next data line.
    ConnectionWatch watch(a->controller());
    QSignalSpy stale(&watch, &ConnectionWatch::staleChanged);
    QSignalSpy logins(a->controller(), &V2_Client::onLoginDone);
    QSignalSpy pitLogins(pit->controller(), &V2_Client::onLoginDone);
    // Nodes that the restarted server will not have (or only later).
    V2_Data extra(QStringLiteral("ROOT"));
    extra.setRoot(true);
    extra.getOrCreateDataPointer(QStringLiteral("weather.gone"))->insertData(QStringLiteral("value"), 1);
    extra.getOrCreateDataPointer(QStringLiteral("weather.kept"))->insertData(QStringLiteral("value"), 2);
    V2_Data kept(QStringLiteral("ROOT"));
    kept.setRoot(true);
    kept.getOrCreateDataPointer(QStringLiteral("weather.kept"))->insertData(QStringLiteral("value"), 2);
    QSignalSpy relayLines(relay->feed()->client(), &V2_Client::dataReceived);
    if (!quiet) {
        upstream->server.sendV2Data(&extra);
        QTRY_VERIFY_WITH_TIMEOUT(mirror(a.get())->getV2_Data(QStringLiteral("weather.gone")) && mirror(pit.get())->getV2_Data(QStringLiteral("weather.gone")),
                                 2000);
        upstream.reset();
    } else {
        // A step of the session, which the timing server's snapshot keeps.
        QSignalSpy lines(a->controller(), &V2_Client::dataReceived);
        upstream->publisher->publishAt(601000);
        QTRY_VERIFY_WITH_TIMEOUT(!lines.isEmpty(), 2000);
        // The relay drops its login; the timing server goes on unchanged.
        relay->feed()->stop();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!relay->feed()->isLive(), 3000);
    relayLines.clear();
    // The seats are told, and keep what they had.
    QTRY_COMPARE_WITH_TIMEOUT(stale.count(), 1, 2000);
    QCOMPARE(stale.at(0).at(0).toBool(), true);
    QCOMPARE(bool(mirror(a.get())->getV2_Data(QStringLiteral("weather.gone"))), !quiet);
    if (teamUpload) {
        QJsonObject upload = follow(QStringLiteral("1"), QStringLiteral("12"), QStringLiteral("#ff0000"), QStringLiteral("demo"));
        a->controller()->sendMessage(&upload, QStringLiteral("1"), QStringLiteral("team"), QStringLiteral("follow"));
        QTRY_COMPARE_WITH_TIMEOUT(mirror(a.get())->getString(QStringLiteral("team.follow.1.car")), QStringLiteral("12"), 2000);
        QVERIFY(watch.isStale());
    }
    std::unique_ptr<V2DataProvider> third;
    std::unique_ptr<ConnectionWatch> thirdWatch;
    const auto connectThird = [&] {
        third = seat(relay->server()->serverPort(), QStringLiteral("demo"), QStringLiteral("demo"));
        thirdWatch = std::make_unique<ConnectionWatch>(third->controller());
    };
    if (late == Late::DuringOutage) {
        connectThird();
        QTRY_VERIFY_WITH_TIMEOUT(seatsReady({third.get()}), 4000);
        QTRY_VERIFY_WITH_TIMEOUT(thirdWatch->isStale(), 2000);
        QVERIFY(third->controller()->getCurrentData()->getV2_Data(QStringLiteral("weather.kept")));
        // Its last line is a snapshot, the team's: still stale.
        third->teamFollow()->setEnabled(true); // joins the team channel (a seat not sharing leaves it)
        QTRY_COMPARE_WITH_TIMEOUT(mirror(third.get())->getString(QStringLiteral("team.follow.1.car")), QStringLiteral("12"), 2000);
        QVERIFY(thirdWatch->isStale());
    }

    // The session went on meanwhile: the new server is 40 s further.
    std::unique_ptr<V2DataProvider> direct;
    if (!quiet) {
        upstream = std::make_unique<Upstream>(upstreamPort, 640000);
        QVERIFY(upstream->server.started());
        direct = seat(upstreamPort, QStringLiteral("demo"), QStringLiteral("demo"));
    } else {
        direct = seat(upstreamPort, QStringLiteral("demo"), QStringLiteral("demo"));
        relay->feed()->start();
    }
    if (late == Late::BeforeCatchUp) {
        QTRY_VERIFY_WITH_TIMEOUT(!relayLines.isEmpty(), 4000);
        connectThird();
        QTRY_VERIFY_WITH_TIMEOUT(seatsReady({third.get()}), 4000);
        // The node comes back upstream, unchanged, while the relay still waits.
        upstream->server.sendV2Data(&kept);
        QTRY_VERIFY_WITH_TIMEOUT(relay->feed()->client()->getCurrentData()->getV2_Data(QStringLiteral("weather.kept")), 1000);
        QVERIFY2(!relay->feed()->isLive(), "the seat joined after catching up: raise the settle time");
    }
    QTRY_VERIFY_WITH_TIMEOUT(relay->feed()->isLive() && seatsReady({direct.get()}), 8000);
    QByteArray fault;
    QTRY_VERIFY2_WITH_TIMEOUT(sameAs(mirror(a.get()), mirror(direct.get()), lanterraChannels(), &fault)
                                  && sameAs(mirror(pit.get()), mirror(direct.get()), kLimited, &fault)
                                  && (!third || sameAs(mirror(third.get()), mirror(direct.get()), lanterraChannels(), &fault)),
                              fault.constData(), 3000);
    QVERIFY(!mirror(a.get())->getV2_Data(QStringLiteral("weather.gone")));
    QVERIFY(!mirror(pit.get())->getV2_Data(QStringLiteral("weather.gone")));
    // Live again, at every seat.
    QTRY_COMPARE_WITH_TIMEOUT(stale.count(), 2, 2000);
    QCOMPARE(stale.at(1).at(0).toBool(), false);
    if (thirdWatch)
        QTRY_VERIFY_WITH_TIMEOUT(!thirdWatch->isStale(), 2000);
    QCOMPARE(logins.count(), 0);
    QCOMPARE(pitLogins.count(), 0);
}

void TestRelay::teamChannel()
{
    Upstream upstream(0, 600000);
    std::unique_ptr<Relay> relay = relayFor(upstream.server.serverPort());
    const quint16 port = relay->server()->serverPort();
    std::unique_ptr<V2DataProvider> a = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> b = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> pit = seat(port, QStringLiteral("pit"), QStringLiteral("wall"));
    QTRY_VERIFY_WITH_TIMEOUT(relay->feed()->isLive() && seatsReady({a.get(), b.get(), pit.get()}), 8000);
    for (V2DataProvider* s : {a.get(), b.get(), pit.get()})
        s->teamFollow()->setEnabled(true); // joins the team channel (a seat not sharing leaves it)
    QTRY_VERIFY_WITH_TIMEOUT(a->controller()->joinedChannels().contains(QStringLiteral("team"))
                                 && b->controller()->joinedChannels().contains(QStringLiteral("team"))
                                 && pit->controller()->joinedChannels().contains(QStringLiteral("team")),
                             2000);

    // A follows car 12 in block 1: B has it within a second.
    QJsonObject upload = follow(QStringLiteral("1"), QStringLiteral("12"), QStringLiteral("#ff0000"), QStringLiteral("demo"));
    a->controller()->sendMessage(&upload, QStringLiteral("1"), QStringLiteral("team"), QStringLiteral("follow"));
    QTRY_COMPARE_WITH_TIMEOUT(mirror(b.get())->getString(QStringLiteral("team.follow.1.car")), QStringLiteral("12"), 1000);
    QCOMPARE(mirror(b.get())->getString(QStringLiteral("team.follow.1.color")), QStringLiteral("#ff0000"));
    QTRY_COMPARE_WITH_TIMEOUT(mirror(pit.get())->getString(QStringLiteral("team.follow.1.seat")), QStringLiteral("demo"), 1000);

    // B then follows another car in that block: the later change wins everywhere.
    upload = follow(QStringLiteral("1"), QStringLiteral("7"), QStringLiteral("#00ff00"), QStringLiteral("demo"));
    b->controller()->sendMessage(&upload, QStringLiteral("2"), QStringLiteral("team"), QStringLiteral("follow"));
    QTRY_COMPARE_WITH_TIMEOUT(mirror(a.get())->getString(QStringLiteral("team.follow.1.car")), QStringLiteral("7"), 1000);
    QCOMPARE(relay->team()->node()->getString(QStringLiteral("follow.1.car")), QStringLiteral("7"));

    // The pit seat may not upload: it is told, and nothing changes.
    QSignalSpy errors(pit->controller(), &V2_Client::errorReceived);
    upload = follow(QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("#0000ff"), QStringLiteral("pit"));
    pit->controller()->sendMessage(&upload, QStringLiteral("3"), QStringLiteral("team"), QStringLiteral("follow"));
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty(), 2000);
    QVERIFY2(errors.at(0).at(0).toString().contains(QStringLiteral("You are not allowed to send data")), qPrintable(errors.at(0).at(0).toString()));

    // What an upload holds outside the team node is not taken; the rest is.
    QJsonObject mixed = follow(QStringLiteral("3"), QString(), QStringLiteral("#123456"), QStringLiteral("demo"));
    mixed.insert(QStringLiteral("weather"), QJsonObject{{QStringLiteral("forged"), 1}});
    QJsonObject team = mixed.value(QStringLiteral("team")).toObject();
    team.insert(QStringLiteral("alertRules"), QJsonObject{{QStringLiteral("pitLoss"), 25}});
    mixed.insert(QStringLiteral("team"), team);
    a->controller()->sendMessage(&mixed, QStringLiteral("4"), QStringLiteral("team"), QStringLiteral("follow"));
    QTRY_COMPARE_WITH_TIMEOUT(mirror(b.get())->getInt(QStringLiteral("team.alertRules.pitLoss")), 25, 1000);
    QVERIFY(mirror(b.get())->getV2_Data(QStringLiteral("team.follow.3")));
    QCOMPARE(mirror(b.get())->getString(QStringLiteral("team.follow.3.car"), QStringLiteral("x")), QString());
    QCOMPARE(relay->feed()->client()->getCurrentData()->getInt(QStringLiteral("weather.forged"), -1), -1);
    QCOMPARE(mirror(b.get())->getInt(QStringLiteral("weather.forged"), -1), -1);
    // Alert rules are replaced whole.
    QJsonObject rules{{QStringLiteral("team"), QJsonObject{{QStringLiteral("alertRules"), QJsonObject{{QStringLiteral("gap"), 2}}}}}};
    a->controller()->sendMessage(&rules, QStringLiteral("5"), QStringLiteral("team"), QStringLiteral("follow"));
    QTRY_COMPARE_WITH_TIMEOUT(mirror(b.get())->getInt(QStringLiteral("team.alertRules.gap")), 2, 1000);
    QCOMPARE(mirror(b.get())->getInt(QStringLiteral("team.alertRules.pitLoss"), -1), -1);

    // A seat joining later gets the team node whole.
    std::unique_ptr<V2DataProvider> late = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    QTRY_VERIFY_WITH_TIMEOUT(seatsReady({late.get()}), 4000);
    late->teamFollow()->setEnabled(true); // joins the team channel (a seat not sharing leaves it)
    QTRY_COMPARE_WITH_TIMEOUT(mirror(late.get())->getString(QStringLiteral("team.follow.1.car")), QStringLiteral("7"), 2000);
    QCOMPARE(mirror(late.get())->getInt(QStringLiteral("team.alertRules.gap")), 2);

    // A line past the relay's cap is refused before it is parsed.
    QSignalSpy lateErrors(late->controller(), &V2_Client::errorReceived);
    QJsonObject huge{{QStringLiteral("team"), QJsonObject{{QStringLiteral("alertRules"), QJsonObject{{QStringLiteral("x"), QString(Relay::MAX_LINE_BYTES, QLatin1Char('x'))}}}}}};
    late->controller()->sendMessage(&huge, QStringLiteral("6"), QStringLiteral("team"), QStringLiteral("follow"));
    QTRY_VERIFY_WITH_TIMEOUT(!lateErrors.isEmpty(), 2000);
    QVERIFY2(lateErrors.at(0).at(0).toString().contains(QStringLiteral("Line longer than 65536 bytes")), qPrintable(lateErrors.at(0).at(0).toString()));
    QCOMPARE(relay->team()->node()->getInt(QStringLiteral("alertRules.gap")), 2);
}

void TestRelay::teamUploadsBounded_data()
{
    QTest::addColumn<QVariantMap>("parameters");
    QTest::addColumn<QByteArray>("node");
    QTest::addColumn<int>("refused");
    const auto upload = [](const QByteArray& json) { return QVariantMap{{QStringLiteral("data"), QString::fromUtf8(json)}, {QStringLiteral("name"), QStringLiteral("follow")}}; };
    QTest::newRow("follow entry") << upload(R"({"team":{"follow":{"1":{"car":"12","color":"#ff0000","seat":"demo"}}}})")
                                  << QByteArray(R"({"follow":{"1":{"car":"12","color":"#ff0000","seat":"demo"}}})") << 0;
    QTest::newRow("team not an object") << upload(R"({"team":5})") << QByteArray() << 1;
    QTest::newRow("data not JSON") << upload("{not json") << QByteArray() << 1;
    QTest::newRow("data neither text nor object") << QVariantMap{{QStringLiteral("data"), 5}} << QByteArray() << 1;
    QTest::newRow("unknown team key") << upload(R"({"team":{"junk":{"a":1},"follow":{"2":{"car":"3"}}}})") << QByteArray(R"({"follow":{"2":{"car":"3"}}})")
                                      << 1;
    QTest::newRow("path flag under team") << upload(R"({"team":{"ignorePath":true}})") << QByteArray() << 1;
    QTest::newRow("block not a small number") << upload(R"({"team":{"follow":{"123":{"car":"1"},"x":{"car":"1"},"4":"7"}}})") << QByteArray() << 3;
    QTest::newRow("unknown field, long text, number") << upload(R"({"team":{"follow":{"1":{"car":")" + QByteArray(65, '9') + R"(","lap":"3","seat":4,"color":"#fff"}}}})")
                                                      << QByteArray(R"({"follow":{"1":{"color":"#fff"}}})") << 3;
    QTest::newRow("oversized alert rules") << upload(R"({"team":{"alertRules":{"big":")" + QByteArray(17000, 'x') + R"("}}})") << QByteArray() << 1;
    QTest::newRow("alert rules not an object") << upload(R"({"team":{"alertRules":[1]}})") << QByteArray() << 1;
    QTest::newRow("outside team") << upload(R"({"weather":{"x":1},"team":{"alertRules":{"gap":2}}})") << QByteArray(R"({"alertRules":{"gap":2}})") << 1;
}

void TestRelay::teamUploadsBounded()
{
    QFETCH(QVariantMap, parameters);
    QFETCH(QByteArray, node);
    QFETCH(int, refused);
    V2_Server server;
    TeamChannel team(&server);
    g_refusalWarnings = 0;
    g_previousHandler = qInstallMessageHandler(countRefusals);
    // The same upload twice from one connection: logged once.
    const int first = team.applyUpload(parameters, 7);
    const int second = team.applyUpload(parameters, 7);
    qInstallMessageHandler(g_previousHandler);
    QCOMPARE(first, refused);
    QCOMPARE(second, refused);
    QCOMPARE(g_refusalWarnings, refused > 0 ? 1 : 0);
    const QByteArray actual = team.node() ? team.node()->getJsonUtf8() : QByteArray();
    QCOMPARE(QJsonDocument::fromJson(actual), QJsonDocument::fromJson(node));
}

// The program's own sharing, end to end through the relay: what one seat
// follows reaches the other's blocks; the pit seat, refused, says so.
void TestRelay::programSeatsShareFollows()
{
    Upstream upstream(0, 600000);
    std::unique_ptr<Relay> relay = relayFor(upstream.server.serverPort());
    const quint16 port = relay->server()->serverPort();
    std::unique_ptr<V2DataProvider> a = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> b = seat(port, QStringLiteral("demo"), QStringLiteral("demo"));
    std::unique_ptr<V2DataProvider> pit = seat(port, QStringLiteral("pit"), QStringLiteral("wall"));
    QSignalSpy pitNotice(pit->teamFollow(), &TeamFollowSync::notice);
    for (V2DataProvider* s : {a.get(), b.get(), pit.get()})
        s->teamFollow()->setEnabled(true);
    QTRY_VERIFY_WITH_TIMEOUT(a->teamFollow()->state() == TeamFollowSync::State::Sharing
                                 && b->teamFollow()->state() == TeamFollowSync::State::Sharing
                                 && pit->teamFollow()->state() == TeamFollowSync::State::Sharing,
                             8000);

    QSignalSpy shared(b->teamFollow(), &TeamFollowSync::blockShared);
    a->teamFollow()->share(0, QStringLiteral("12"), QColor(QStringLiteral("#ff0000")));
    QTRY_VERIFY_WITH_TIMEOUT(!shared.isEmpty(), 1000);
    QCOMPARE(shared.last().at(0).toInt(), 0);
    QCOMPARE(shared.last().at(1).toString(), QStringLiteral("12"));
    QCOMPARE(shared.last().at(2).value<QColor>(), QColor(QStringLiteral("#ff0000")));
    QCOMPARE(relay->team()->node()->getString(QStringLiteral("follow.1.car")), QStringLiteral("12"));

    pit->teamFollow()->share(1, QStringLiteral("3"), QColor(QStringLiteral("#0000ff")));
    QTRY_COMPARE_WITH_TIMEOUT(pit->teamFollow()->state(), TeamFollowSync::State::ReceiveOnly, 2000);
    QCOMPARE(pitNotice.count(), 1);
    QVERIFY(!relay->team()->node()->getV2_Data(QStringLiteral("follow.2")));
    // Refused, it still shows what the team follows.
    QCOMPARE(pit->teamFollow()->sharedBlocks().value(0).car, QStringLiteral("12"));
}

void TestRelay::badOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("error");
    const QString missing = m_dir.filePath(QStringLiteral("missing.ini"));
    const QString users = m_dir.filePath(QStringLiteral("users.ini"));
    const QString emptyPassword = m_dir.filePath(QStringLiteral("empty.txt"));
    const QStringList base = {QStringLiteral("--upstream"), QStringLiteral("timing.example:11001"), QStringLiteral("--user"), QStringLiteral("team")};
    QTest::newRow("no upstream") << QStringList{QStringLiteral("--user"), QStringLiteral("team")} << "pw" << "--upstream is missing";
    QTest::newRow("upstream without port") << QStringList{QStringLiteral("--upstream"), QStringLiteral("timing.example"), QStringLiteral("--user"), QStringLiteral("t")}
                                           << "pw" << "--upstream must be host:port";
    QTest::newRow("upstream port 0") << QStringList{QStringLiteral("--upstream"), QStringLiteral("h:0"), QStringLiteral("--user"), QStringLiteral("t")} << "pw"
                                     << "--upstream must be host:port";
    QTest::newRow("no user") << QStringList{QStringLiteral("--upstream"), QStringLiteral("h:1")} << "pw" << "--user is missing";
    QTest::newRow("no password") << base << "" << "No password";
    QTest::newRow("password on the command line") << base + QStringList{QStringLiteral("--password"), QStringLiteral("x")} << "pw" << "Unknown option 'password'";
    QTest::newRow("unreadable password file") << base + QStringList{QStringLiteral("--password-file"), missing} << "pw" << "Cannot read the password file";
    QTest::newRow("overlong password file") << base + QStringList{QStringLiteral("--password-file"), m_dir.filePath(QStringLiteral("long.txt"))} << "pw"
                                            << "first line longer than 4095 bytes";
    QTest::newRow("empty password file") << base + QStringList{QStringLiteral("--password-file"), emptyPassword} << "pw" << "is empty";
    QTest::newRow("bad pin") << base + QStringList{QStringLiteral("--upstream-pin"), QStringLiteral("abc")} << "pw" << "64 hexadecimal digits";
    QTest::newRow("pin without TLS") << base + QStringList{QStringLiteral("--upstream-pin"), QString(64, QLatin1Char('a')), QStringLiteral("--upstream-no-tls")}
                                     << "pw" << "needs TLS";
    QTest::newRow("bad port") << base + QStringList{QStringLiteral("--port"), QStringLiteral("70000")} << "pw" << "--port must be a number";
    QTest::newRow("users without profiles") << base + QStringList{QStringLiteral("--users"), users} << "pw" << "go together";
    QTest::newRow("missing users file") << base + QStringList{QStringLiteral("--users"), missing, QStringLiteral("--profiles"), users} << "pw" << "Cannot read";
    QTest::newRow("certificate without key") << base + QStringList{QStringLiteral("--certificate"), kTls + QStringLiteral("/test-cert.pem")} << "pw"
                                             << "--certificate and --key go together";
    QTest::newRow("team is no upstream channel") << base + QStringList{QStringLiteral("--channels"), QStringLiteral("weather,team")} << "pw" << "no channel";
    QTest::newRow("missing config") << base + QStringList{QStringLiteral("--config"), missing} << "pw" << "Cannot read";
    QTest::newRow("unknown option") << base + QStringList{QStringLiteral("--speed"), QStringLiteral("2")} << "pw" << "Unknown option 'speed'";
    QTest::newRow("stray argument") << base + QStringList{QStringLiteral("extra")} << "pw" << "Unexpected argument: extra";
}

void TestRelay::badOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(QString, error);
    QFile empty(m_dir.filePath(QStringLiteral("empty.txt")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QFile longLine(m_dir.filePath(QStringLiteral("long.txt")));
    QVERIFY(longLine.open(QIODevice::WriteOnly));
    longLine.write(QByteArray(5000, 'x') + "\n");
    longLine.close();
    RelayOptions options;
    QString message;
    QVERIFY(!RelayOptions::parse(QStringList{QStringLiteral("lanterra-relay")} + arguments, environment, &options, &message));
    QVERIFY2(message.contains(error), qPrintable(message));
}

// Files that parse but cannot serve: a clear reason and the exit code, nothing started.
void TestRelay::setUpFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reason");
    const QString noUsers = m_dir.filePath(QStringLiteral("no-users.ini"));
    QFile(noUsers).open(QIODevice::WriteOnly);
    const QString nobody = m_dir.filePath(QStringLiteral("nobody.ini"));
    QSettings(nobody, QSettings::IniFormat).setValue(QStringLiteral("ghost/USER"), QStringLiteral("ghost"));
    const QString garbage = m_dir.filePath(QStringLiteral("garbage.pem"));
    QFile file(garbage);
    if (file.open(QIODevice::WriteOnly))
        file.write("-----BEGIN CERTIFICATE-----\nnot a certificate\n-----END CERTIFICATE-----\n");
    const QString key = kTls + QStringLiteral("/test-key.pem");
    QTest::newRow("users file naming no user") << QStringList{"--users", noUsers, "--profiles", m_dir.filePath(QStringLiteral("profiles.ini"))} << 2
                                               << "names no user who may log in";
    QTest::newRow("users file whose user has no connections")
        << QStringList{"--users", nobody, "--profiles", m_dir.filePath(QStringLiteral("profiles.ini"))} << 2 << "names no user who may log in";
    QTest::newRow("broken certificate") << QStringList{"--certificate", garbage, "--key", key} << 2 << "no TLS pair";
    QTest::newRow("unwritable recording") << QStringList{"--record", m_dir.filePath(QStringLiteral("no/such/dir/race.lrec"))} << 2 << "race.lrec";
    QTest::newRow("port in use, recording asked") << QStringList{"--port", "PORT", "--record", m_dir.filePath(QStringLiteral("never.lrec"))} << 3
                                                  << "cannot listen on port";
}

void TestRelay::setUpFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, reason);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    arguments.replaceInStrings(QStringLiteral("PORT"), QString::number(taken.serverPort()));
    RelayOptions options;
    QString error;
    QVERIFY2(RelayOptions::parse(QStringList{"lanterra-relay", "--upstream", "127.0.0.1:1", "--user", "demo", "--port", "0", "--certificate",
                                             kTls + QStringLiteral("/test-cert.pem"), "--key", kTls + QStringLiteral("/test-key.pem")}
                                     + arguments,
                                 QStringLiteral("demo"), &options, &error),
             qPrintable(error));
    Relay relay(options);
    int code = 0;
    QVERIFY(!relay.setUp(&error, &code));
    QCOMPARE(code, exitCode);
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(!relay.server()->started());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("never.lrec"))));
}

void TestRelay::programExitCodes()
{
    // What the options take: the password file's first line, the INI file
    // under the command line, and the defaults.
    const QString passwordFile = m_dir.filePath(QStringLiteral("password.txt"));
    QFile password(passwordFile);
    QVERIFY(password.open(QIODevice::WriteOnly));
    password.write("s3cret word\r\nignored\n");
    password.close();
    const QString config = m_dir.filePath(QStringLiteral("relay.ini"));
    {
        QSettings ini(config, QSettings::IniFormat);
        ini.setValue(QStringLiteral("upstream/address"), QStringLiteral("timing.example:12000"));
        ini.setValue(QStringLiteral("upstream/user"), QStringLiteral("team"));
        ini.setValue(QStringLiteral("upstream/passwordFile"), passwordFile);
        ini.setValue(QStringLiteral("relay/port"), 12002);
    }
    RelayOptions options;
    QString message;
    QVERIFY2(RelayOptions::parse({QStringLiteral("lanterra-relay"), QStringLiteral("--config"), config, QStringLiteral("--port"), QStringLiteral("12003")},
                                 QStringLiteral("env"), &options, &message),
             qPrintable(message));
    QCOMPARE(options.upstreamHost, QStringLiteral("timing.example"));
    QCOMPARE(options.upstreamPort, quint16(12000));
    QCOMPARE(options.password, QStringLiteral("s3cret word"));
    QCOMPARE(options.port, quint16(12003));
    QCOMPARE(options.channels.size(), 13);
    QVERIFY(options.upstreamTls && options.tls);
    QVERIFY2(RelayOptions::parse({QStringLiteral("lanterra-relay"), QStringLiteral("--upstream"), QStringLiteral("[::1]:11001"), QStringLiteral("--user"),
                                  QStringLiteral("t")},
                                 QStringLiteral("from env"), &options, &message),
             qPrintable(message));
    QCOMPARE(options.upstreamHost, QStringLiteral("::1"));
    QCOMPARE(options.password, QStringLiteral("from env"));
    QCOMPARE(options.port, quint16(11002));

    // The program itself: 2 and a message for a bad option, 0 for --help.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(RelayOptions::PASSWORD_VARIABLE);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(LANTERRA_RELAY_PATH), {QStringLiteral("--upstream"), QStringLiteral("h:1"), QStringLiteral("--user"), QStringLiteral("t")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 2);
    QVERIFY(process.readAllStandardError().contains("lanterra-relay: No password"));
    process.start(QStringLiteral(LANTERRA_RELAY_PATH), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitCode(), 0);
    const QByteArray help = process.readAllStandardOutput();
    for (const char* option : {"--upstream", "--user", "--password-file", "--upstream-no-tls", "--upstream-pin", "--port", "--no-tls", "--users", "--profiles",
                               "--record", "--certificate", "--key", "--config", "LANTERRA_RELAY_PASSWORD"})
        QVERIFY2(help.contains(option), option);
}

QTEST_MAIN(TestRelay)
#include "tst_relay.moc"
