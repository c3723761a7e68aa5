#include "ClientV2Controller.h"
#include "ScriptedServer.h"
#include "SessionClock.h"
#include "SimAccounts.h"
#include "SimOptions.h"
#include "SimPublisher.h"
#include "V2_Data.h"
#include "V2_Server.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QtTest>

#include <memory>

namespace {

// Records the names of the controller's own signals in emission order.
class Recorder final : public QObject
{
    Q_OBJECT

public:
    explicit Recorder(ClientV2Controller* controller)
    {
        const QMetaObject* meta = controller->metaObject();
        const QMetaMethod record = metaObject()->method(metaObject()->indexOfSlot("record()"));
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).methodType() == QMetaMethod::Signal)
                connect(controller, meta->method(i), this, record);
        }
    }
    QStringList names;

public slots:
    void record() { names.append(QString::fromLatin1(sender()->metaObject()->method(senderSignalIndex()).name())); }
};

struct Link {
    Link()
        : server(true)
        , controller(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"), 0, QStringLiteral("pw"),
                     QStringLiteral("user"), QStringLiteral("127.0.0.1"))
        , recorder(&controller)
    {
        controller.setPort(server.start());
    }

    bool login()
    {
        controller.setActive(true);
        return server.waitForClient() && !server.acceptLogin().isEmpty() && QTest::qWaitFor([this] { return controller.loginActive(); }, 5000);
    }

    // Sends one data line and waits until the controller has handled it.
    QStringList update(const QByteArray& json)
    {
        QSignalSpy changed(&controller, &V2_Client::onChannelChange);
        recorder.names.clear();
        server.send("JSON:1::" + json + "\r\n");
        changed.wait(5000);
        return recorder.names;
    }

    ScriptedServer server;
    ClientV2Controller controller;
    Recorder recorder;
};

// One line: the first update of a session (no line breaks inside).
const QByteArray kFirst = R"({"timing":{"session":{"info":{"sessionDbId":12,"utcOffset":3600000},)"
                          R"("status":{"finalType":"BY_LAPS","finalLaps":20,"elapsedLaps":18,"isSessionRunning":true},)"
                          R"("standings":{"overall":{"active":{"ignorePath":true,"1":{"participant":"7"},"2":{"participant":"9"}},)"
                          R"("participantDetails":{"ignorePath":true,"7":{"currentLap":3}}},)"
                          R"("byClass":{"active":{"GT3":{"standings":{"1":{"participant":"7"}}}}}},"entry":{"7":{"class":"GT3"}}},)"
                          R"("analysis":{"laps":{"7":{"laps":{"1":{"time":100000}}}}},"combined":{"info":{"type":"R"}}},)"
                          R"("positioning":{"participants":{"7":{"x":10}}}})";

} // namespace

class TestClientV2Controller final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void joinsChannelsAfterLogin();
    void firstUpdateOfASession();
    void laterUpdatesAnnounceItems_data();
    void laterUpdatesAnnounceItems();
    void timingWaitsForAValidSession();
    void sessionChange();
    void lineWithoutSessionIsNoSessionChange();
    void reconnectReadsCollectionsWhole();
    void tyres();
    void serverClock_data();
    void serverClock();
    void againstTheSimulator();
};

void TestClientV2Controller::initTestCase()
{
    qRegisterMetaType<QSet<QString>>();
    qRegisterMetaType<V2_Data*>();
}

void TestClientV2Controller::joinsChannelsAfterLogin()
{
    Link link;
    QVERIFY(link.login());
    QCOMPARE(link.recorder.names.value(0), QStringLiteral("enableTyresData"));
    for (const QString& channel : ClientV2Controller::channels())
        QCOMPARE(link.server.nextLine(), QStringLiteral("JOIN::%1:").arg(channel).toUtf8());
    QCOMPARE(ClientV2Controller::channels().size(), 13);
    QVERIFY(link.controller.getSsl());
}

void TestClientV2Controller::firstUpdateOfASession()
{
    Link link;
    QVERIFY(link.login());
    QSignalSpy participants(&link.controller, &ClientV2Controller::updateParticipants);
    const QStringList names = link.update(kFirst);
    QCOMPARE(names.value(0), QStringLiteral("cleanAll"));
    QCOMPARE(names.value(1), QStringLiteral("updateParticipants"));
    QCOMPARE(participants.at(0).at(0).value<V2_Data*>(), link.controller.getCurrentData()->getV2_Data(QStringLiteral("positioning.participants")));
    // Whole collections, never per position, in the announced order.
    const QStringList expected = {"sessionInfo", "sessionStatus", "sessionEntry", "sessionFlags", "analysisStints", "analysisLaps", "analysisPitIn",
                                  "analysisPitOut", "sessionClasses", "sessionTrackLimits", "standingsOverall", "standingsByClass", "sessionClasses",
                                  "participantDetails", "trackInfo", "sessionStartingGrid", "combinedParticipantDetails"};
    QStringList timing = names.mid(2);
    timing.removeAll(QStringLiteral("combinedInfo"));
    QCOMPARE(timing, expected);
    QVERIFY(names.contains(QStringLiteral("combinedInfo")));
    QCOMPARE(link.controller.sessionId(), 12);
    // The session values reached the session clock.
    QCOMPARE(SessionClock::finalType(), int(SessionClock::FinalByLaps));
    QCOMPARE(SessionClock::remainingText(), QStringLiteral("2 LAPS"));
}

void TestClientV2Controller::laterUpdatesAnnounceItems_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("two positions") << QByteArray(R"({"timing":{"session":{"standings":{"overall":{"active":{"ignorePath":true,"3":{"participant":"4"},"4":{"participant":"5"}}}}}}})")
                                   << QStringList({"standingsOverallByPosition", "standingsOverallByPosition"});
    QTest::newRow("finish-line positions") << QByteArray(R"({"timing":{"session":{"standings":{"overall":{"finishLine":{"ignorePath":true,"5":{"participant":"4"}}}}}}})")
                                           << QStringList({"standingsOverallByPositionFl"});
    // No analysisProcessed for "currentLap": it reset every lap table each
    // time a car crossed the line, losing the notes being typed there.
    QTest::newRow("one participant's lap") << QByteArray(R"({"timing":{"session":{"standings":{"overall":{"participantDetails":{"ignorePath":true,"7":{"currentLap":4}}}}}}})")
                                           << QStringList({"participantDetailsByPnum"});
    QTest::newRow("a new lap") << QByteArray(R"({"timing":{"analysis":{"laps":{"7":{"laps":{"2":{"time":99000}}}}}}})")
                               << QStringList({"analysisLapsByPnum", "analysisLapsByPnumAndLap", "analysisLapsEnd"});
    QTest::newRow("a deleted lap") << QByteArray(R"({"timing":{"analysis":{"laps":{"7":{"laps":{"1":null}}}}}})")
                                   << QStringList({"deleteLapAnalysisData", "analysisLapsByPnum", "analysisLapsEnd"});
    QTest::newRow("combined info only") << QByteArray(R"({"timing":{"combined":{"info":{"type":"Q"}}}})")
                                        << QStringList({"combinedParticipantDetails", "combinedInfo"});
    QTest::newRow("weather and lights") << QByteArray(R"({"weather":{"currentData":{"windSpeed":3}},"signalling":{"pitExit":{"status":1}}})")
                                        << QStringList({"weather", "pitLights"});
    QTest::newRow("class standings") << QByteArray(R"({"timing":{"session":{"standings":{"byClass":{"active":{"GT3":{"standings":{"2":{"participant":"9"}}}}}}}}})")
                                     << QStringList({"standingsByClassByPosition"});
    QTest::newRow("track status") << QByteArray(R"({"positioning":{"track":{"trackStatus":3}}})") << QStringList({"updateFlag"});
}

void TestClientV2Controller::laterUpdatesAnnounceItems()
{
    QFETCH(QByteArray, json);
    QFETCH(QStringList, names);
    Link link;
    QVERIFY(link.login());
    link.update(kFirst);
    QCOMPARE(link.update(json).join(QLatin1Char(',')), names.join(QLatin1Char(',')));
}

void TestClientV2Controller::timingWaitsForAValidSession()
{
    Link link;
    QVERIFY(link.login());
    QByteArray first = kFirst;
    // -1: not a session yet (0 is what the controller starts from, so no change at all).
    first.replace("\"sessionDbId\":12", "\"sessionDbId\":-1");
    const QStringList names = link.update(first);
    QCOMPARE(names.join(QLatin1Char(',')), QStringLiteral("cleanAll,updateParticipants"));
    // Weather flows without a session; the timing items stay pending...
    QCOMPARE(link.update(R"({"weather":{"currentData":{"windSpeed":3}}})"), QStringList({"weather"}));
    // ...and are all announced once a valid id arrives.
    const QStringList later = link.update(R"({"timing":{"session":{"info":{"sessionDbId":44}}}})");
    QCOMPARE(later.value(0), QStringLiteral("cleanAll"));
    QVERIFY(later.contains(QStringLiteral("standingsOverall")));
    QVERIFY(later.contains(QStringLiteral("analysisLaps")));
    QVERIFY(!later.contains(QStringLiteral("standingsOverallByPosition")));
}

void TestClientV2Controller::sessionChange()
{
    Link link;
    QVERIFY(link.login());
    link.update(kFirst);
    QCOMPARE(link.update(R"({"timing":{"session":{"standings":{"overall":{"active":{"3":{"participant":"4"}}}}}}})"),
             QStringList({"standingsOverallByPosition"}));
    const QStringList names = link.update(R"({"timing":{"session":{"info":{"sessionDbId":13}}}})");
    QCOMPARE(names.value(0), QStringLiteral("cleanAll"));
    QCOMPARE(link.update(R"({"timing":{"session":{"standings":{"overall":{"active":{"3":{"participant":"5"}}}}}}})"), QStringList({"standingsOverall"}));
}

void TestClientV2Controller::lineWithoutSessionIsNoSessionChange()
{
    Link link;
    QVERIFY(link.login());
    // A login's first channel carries no session: not a session change.
    QCOMPARE(link.update(R"({"weather":{"currentData":{"windSpeed":3}}})"), QStringList({"weather"}));
    QCOMPARE(link.controller.sessionId(), 0);
    QCOMPARE(link.update(kFirst).count(QStringLiteral("cleanAll")), 1);
    // The session's own line again (a reconnect into the same session): nothing to clean.
    QVERIFY(!link.update(R"({"timing":{"session":{"info":{"sessionDbId":12,"utcOffset":0}}}})").contains(QStringLiteral("cleanAll")));
    QCOMPARE(link.controller.sessionId(), 12);
}

// A reconnect into the same session is no session change, but its snapshot
// replaces the tree: the standings are read whole, not per position, so that
// rows gone meanwhile go.
void TestClientV2Controller::reconnectReadsCollectionsWhole()
{
    Link link;
    QVERIFY(link.login());
    link.update(kFirst);
    link.server.closeClient();
    QVERIFY(link.login());
    const QStringList names = link.update(kFirst);
    QVERIFY(!names.contains(QStringLiteral("cleanAll")));
    QVERIFY(names.contains(QStringLiteral("standingsOverall")));
    QVERIFY(!names.contains(QStringLiteral("standingsOverallByPosition")));
}

void TestClientV2Controller::tyres()
{
    Link link;
    QVERIFY(link.login());
    link.update(kFirst);
    QCOMPARE(link.update(R"({"tyres":{"session":{"id":99,"data":{"7":{"frontLeft":{"laps":2}}}}}})"), QStringList());
    QCOMPARE(link.update(R"({"tyres":{"session":{"id":12,"data":{"7":{"frontLeft":{"laps":3}}}}}})"), QStringList({"tyresDataReceived"}));
}

namespace {
constexpr qint64 kNoon = Q_INT64_C(1767268800000);
qint64 noon()
{
    return kNoon;
}
} // namespace

void TestClientV2Controller::serverClock_data()
{
    // Lines after a session's first; "login" is a login. AHEAD is a day time
    // five minutes ahead of our clock, BEFORE 90 s before that, AGO ten
    // minutes behind it (the running lap's start in the first line).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<qint64>("lead");
    const auto laps = [](const char* lap) { return QStringLiteral(R"({"timing":{"analysis":{"laps":{"7":{"laps":%1}}}}})").arg(QLatin1String(lap)); };
    const QString flag = QStringLiteral(R"({"timing":{"session":{"flags":{"3":{"time":AHEAD}}}}})");
    const QString session = QStringLiteral(R"({"timing":{"session":{"info":{"sessionDbId":%1}}}})");
    QTest::newRow("lap end") << QStringList{laps(R"({"6":{"startTime":BEFORE,"time":90000}})")} << Q_INT64_C(300000);
    QTest::newRow("lap start") << QStringList{laps(R"({"6":{"startTime":AHEAD}})")} << Q_INT64_C(300000);
    QTest::newRow("current lap start") << QStringList{R"({"timing":{"session":{"standings":{"overall":{"participantDetails":{"7":{"currentLapStartTime":AHEAD}}}}}}})"}
                                       << Q_INT64_C(300000);
    QTest::newRow("pit in") << QStringList{R"({"timing":{"analysis":{"pitIn":{"7":{"pits":{"AHEAD":{"lap":5}}}}}}})"} << Q_INT64_C(300000);
    QTest::newRow("pit out") << QStringList{R"({"timing":{"analysis":{"pitOut":{"7":{"pits":{"AHEAD":{"lap":5}}}}}}})"} << Q_INT64_C(300000);
    QTest::newRow("stint start") << QStringList{R"({"timing":{"analysis":{"stints":{"7":{"stints":{"002":{"startTime":AHEAD}}}}}}})"} << Q_INT64_C(300000);
    QTest::newRow("stint finish") << QStringList{R"({"timing":{"analysis":{"stints":{"7":{"stints":{"001":{"finishTime":AHEAD}}}}}}})"} << Q_INT64_C(300000);
    QTest::newRow("flag") << QStringList{flag} << Q_INT64_C(300000);
    QTest::newRow("a sector of a lap begun ten minutes ago") << QStringList{laps(R"({"5":{"sector1":30000}})")} << Q_INT64_C(0);
    QTest::newRow("a new session") << QStringList{flag, session.arg(13)} << Q_INT64_C(0);
    QTest::newRow("stamps read before the session was valid") << QStringList{session.arg(0), flag, session.arg(13)} << Q_INT64_C(300000);
    QTest::newRow("login, before the data") << QStringList{flag, QStringLiteral("login")} << Q_INT64_C(300000);
    QTest::newRow("login, then the data") << QStringList{flag, QStringLiteral("login"), QStringLiteral(R"({"weather":{"t":1}})")} << Q_INT64_C(0);
}

// How the controller feeds the server's clock: each kind of day time read,
// and where the lead is forgotten.
void TestClientV2Controller::serverClock()
{
    QFETCH(QStringList, steps);
    QFETCH(qint64, lead);
    SessionClock::setClock(&noon);
    ClientV2Controller controller(QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0"), 0, QString(), QString(),
                                  QStringLiteral("127.0.0.1"));
    const auto receive = [&](QString json) {
        json.replace(QLatin1String("AHEAD"), QString::number(kNoon + 300000))
            .replace(QLatin1String("BEFORE"), QString::number(kNoon + 210000))
            .replace(QLatin1String("AGO"), QString::number(kNoon - 600000));
        controller.receiveBytes("JSON:1::" + json.toUtf8() + '\n');
    };
    receive(QStringLiteral(R"({"timing":{"session":{"info":{"sessionDbId":12},"standings":{"overall":{"participantDetails":{"7":{"currentLapStartTime":AGO}}}}},)"
                           R"("analysis":{"laps":{"7":{"laps":{"5":{"startTime":AGO}}}},"stints":{"7":{"stints":{"001":{"startTime":AGO}}}}}}})"));
    QCOMPARE(SessionClock::serverNowMs() - kNoon, Q_INT64_C(0));
    for (const QString& step : steps) {
        if (step == QLatin1String("login"))
            emit controller.onLoginDone();
        else
            receive(step);
    }
    QCOMPARE(SessionClock::serverNowMs() - kNoon, lead);
    SessionClock::setClock(nullptr);
}

void TestClientV2Controller::againstTheSimulator()
{
    SimOptions options;
    QString error;
    QVERIFY(SimOptions::parse({QStringLiteral("lanterra-sim"), QStringLiteral("--elapsed"), QStringLiteral("600")}, &options, &error));
    V2_Server server;
    SimAccounts::addDemoUser(server);
    QVERIFY(server.startServer(0));
    const qint64 start = QDateTime::currentMSecsSinceEpoch() - 600000;
    SimPublisher publisher(&server, options, start);

    ClientV2Controller controller(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"),
                                  server.serverPort(), QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("127.0.0.1"));
    Recorder recorder(&controller);
    QSignalSpy joined(&controller, &V2_Client::onChannelJoin);
    QSignalSpy errors(&controller, &V2_Client::errorReceived);
    controller.setActive(true);
    QTRY_COMPARE_WITH_TIMEOUT(joined.count(), 13, 10000);
    QCOMPARE(errors.count(), 0);

    // A simulated minute, ten seconds at a time.
    for (qint64 at = 600000; at <= 660000; at += 10000)
        publisher.publishAt(at);
    QTRY_VERIFY_WITH_TIMEOUT(recorder.names.count(QStringLiteral("standingsOverallByPosition")) > 0, 10000);
    for (const char* name : {"cleanAll", "sessionInfo", "sessionStatus", "sessionEntry", "standingsOverall", "standingsByClass", "participantDetails",
                             "analysisLaps", "weather", "pitLights", "updateParticipants", "updateTrackImages", "updateSectionStatus", "updateFlag",
                             "tyresDataReceived", "raceControlMessages", "combinedInfo", "participantDetailsByPnum", "analysisLapsByPnumAndLap"})
        QVERIFY2(recorder.names.contains(QLatin1String(name)), name);
    // Once, for the session: the channels before it carry no session
    // information, which used to read as -1 and clean everything twice.
    QCOMPARE(recorder.names.count(QStringLiteral("cleanAll")), 1);
    QVERIFY(recorder.names.lastIndexOf(QStringLiteral("cleanAll")) < recorder.names.indexOf(QStringLiteral("standingsOverall")));
    QCOMPARE(controller.sessionId(), controller.getCurrentData()->getInt(QStringLiteral("timing.session.info.sessionDbId")));
    QVERIFY(SessionClock::elapsedSeconds() >= 600);
    controller.setActive(false);
}

QTEST_GUILESS_MAIN(TestClientV2Controller)
#include "tst_clientv2controller.moc"
