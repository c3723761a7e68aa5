#include "AlertRules.h"
#include "ClientV2Controller.h"
#include "GapCrossing.h"
#include "LapTree.h"
#include "RecordingPlayer.h"
#include "SessionClock.h"
#include "SessionRecorder.h"
#include "SessionSimulator.h"
#include "SimAccounts.h"
#include "SimulatedSession.h"
#include "TeamAlertDetector.h"
#include "TeamAlertEngine.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "V2_Server.h"
#include "V2_message.h"

#include <QSettings>
#include <QtTest>

namespace {

// Rules with only these on.
AlertRules only(const QStringList& ids)
{
    AlertRules rules;
    for (int i = 0; i < AlertRules::catalogue().size(); ++i) {
        AlertRules::Values values = rules.values(i);
        values.enabled = ids.contains(QLatin1String(AlertRules::catalogue().at(i).id));
        rules.setValues(i, values);
    }
    return rules;
}

QStringList texts(const TeamAlertEngine& engine)
{
    QStringList out;
    for (const TeamAlert& alert : engine.alerts())
        out.append(alert.text);
    return out;
}

// The end of a line as the client announces it (nothing brought whole).
void endLine(V2DataProvider& provider, const QSet<QString>& keys = {})
{
    emit provider.controller()->onChannelChange(keys);
}

// A recorded day (2020-09-13) and a track two hours ahead of UTC.
constexpr qint64 kRecordedMs = 1600000000000;
constexpr qint64 kOffsetMs = 7200000;

const QString kSimulatedRaceStart = QStringLiteral("1900");

} // namespace

class TestTeamAlerts final : public QObject
{
    Q_OBJECT

private slots:
    void raceControlNamesCar_data();
    void raceControlNamesCar();
    void gapCrossing_data();
    void gapCrossing();
    void slowLap_data();
    void slowLap();
    void rulesRoundTrip();
    void brokenRulesFile_data();
    void brokenRulesFile();
    void simulatedRace();
    void lineByLine_data();
    void lineByLine();
    void channelEmptyAtLogin_data();
    void channelEmptyAtLogin();

private:
    TestSettings m_config;
};

void TestTeamAlerts::raceControlNamesCar_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("car");
    QTest::addColumn<bool>("named");
    QTest::newRow("Car 7") << "Car 7 - track limits at T2"
                           << "7" << true;
    QTest::newRow("CAR 7 upper case") << "CAR 7 - TRACK LIMITS AT T2 - LAP 3 DELETED"
                                      << "7" << true;
    QTest::newRow("#7") << "Drive through penalty #7"
                        << "7" << true;
    QTest::newRow("No. 7") << "No. 7 under investigation"
                           << "7" << true;
    QTest::newRow("no 7 lower case") << "no 7 warned for pit lane speeding"
                                     << "7" << true;
    QTest::newRow("7 - opening") << "7 - black and white flag"
                                 << "7" << true;
    QTest::newRow("cars 12 and 7") << "Cars 12 and 7: incident noted"
                                   << "7" << true;
    QTest::newRow("cars 7, 12") << "Cars 7, 12 under investigation"
                                << "12" << true;
    QTest::newRow("three-digit car") << "CAR 107 - 5 SEC PENALTY"
                                     << "107" << true;
    QTest::newRow("17 is another car") << "CAR 17 - TRACK LIMITS"
                                       << "7" << false;
    QTest::newRow("70 is another car") << "Car 70 retired"
                                       << "7" << false;
    QTest::newRow("#77") << "#77 drive through"
                         << "7" << false;
    QTest::newRow("7B") << "Car 7B warned"
                        << "7" << false;
    QTest::newRow("laps to go") << "SAFETY CAR DEPLOYED AND 7 LAPS TO GO"
                                << "7" << false;
    QTest::newRow("minutes") << "SAFETY CAR IN, 7 MINUTES"
                             << "7" << false;
    QTest::newRow("a penalty's seconds") << "CAR 12, 7 SEC PENALTY"
                                         << "7" << false;
    QTest::newRow("a lap number") << "CAR 12 - TRACK LIMITS AT T7 - LAP 7 DELETED"
                                  << "7" << false;
    QTest::newRow("a count") << "SAFETY CAR IN 7 MINUTES"
                             << "7" << false;
    QTest::newRow("sidecar") << "Sidecar 7 class"
                             << "7" << false;
}

void TestTeamAlerts::raceControlNamesCar()
{
    QFETCH(QString, text);
    QFETCH(QString, car);
    QFETCH(bool, named);
    QCOMPARE(TeamAlertDetector::namesCar(text, car), named);
}

void TestTeamAlerts::gapCrossing_data()
{
    QTest::addColumn<double>("threshold");
    QTest::addColumn<double>("hysteresis");
    QTest::addColumn<QList<double>>("gaps");
    QTest::addColumn<QString>("crossings"); // per gap: - none, B below, A above

    QTest::newRow("first gap only sets the side") << 1.0 << 0.3 << QList<double>{ 0.5, 0.6 } << "--";
    QTest::newRow("closes then opens past the band") << 1.0 << 0.3 << QList<double>{ 1.5, 0.9, 1.2, 1.31 } << "-B-A";
    QTest::newRow("hovering at the threshold fires once") << 1.0 << 0.3 << QList<double>{ 1.2, 0.99, 1.01, 0.98, 1.02, 0.97 } << "-B----";
    QTest::newRow("no hysteresis") << 2.0 << 0.0 << QList<double>{ 2.5, 1.9, 2.1, 1.95 } << "-BAB";
    QTest::newRow("exactly the threshold is not below") << 1.0 << 0.3 << QList<double>{ 1.5, 1.0, 0.999 } << "--B";
    QTest::newRow("unknown gaps change nothing") << 1.0 << 0.3 << QList<double>{ -1.0, 1.5, -1.0, 0.5 } << "---B";
    QTest::newRow("lapped counts as above") << 1.0 << 0.3 << QList<double>{ 0.5, 1e9 } << "-A";
}

void TestTeamAlerts::gapCrossing()
{
    QFETCH(double, threshold);
    QFETCH(double, hysteresis);
    QFETCH(QList<double>, gaps);
    QFETCH(QString, crossings);
    GapCrossing crossing(threshold, hysteresis);
    QString seen;
    for (double gap : gaps) {
        const GapCrossing::Side side = crossing.update(gap);
        seen += side == GapCrossing::Below ? QLatin1Char('B') : side == GapCrossing::Above ? QLatin1Char('A') : QLatin1Char('-');
    }
    QCOMPARE(seen, crossings);
}

void TestTeamAlerts::slowLap_data()
{
    QTest::addColumn<QList<int>>("laps"); // lap times in ms, the last one new
    QTest::addColumn<qint64>("runningFor"); // ms into the lap after them by the clock; 0: no look
    QTest::addColumn<bool>("safetyCar"); // a safety car out since the last lap began
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QList<int>>("neutralised"); // first and last lap behind a safety car before the last lap
    QTest::addColumn<bool>("stalled"); // no line came while the clock ran on (a stalled or dropped connection)

    const QList<int> steady = { 100000, 101000, 99000, 100000, 100000 };
    QTest::newRow("on pace") << steady + QList<int>{ 105000 } << qint64(0) << false << QStringList() << QList<int>() << false;
    QTest::newRow("slower by 12 %") << steady + QList<int>{ 112000 } << qint64(0) << false
                                    << QStringList{ "#7 lap 6 in 1:52.000, 12% slower than its recent median 1:40.000" } << QList<int>() << false;
    QTest::newRow("too few laps for a median") << QList<int>{ 100000, 101000, 130000 } << qint64(0) << false << QStringList() << QList<int>() << false;
    QTest::newRow("under the safety car") << steady + QList<int>{ 130000 } << qint64(0) << true << QStringList() << QList<int>() << false;
    QTest::newRow("running lap past the limit") << steady << qint64(111000) << false
                                                << QStringList{ "#7 lap 6 not completed after 1:51.0, 11% over its recent median 1:40.000" } << QList<int>() << false;
    QTest::newRow("running lap past the limit, no data since") << steady << qint64(111000) << false << QStringList() << QList<int>() << true;
    QTest::newRow("running lap within the limit") << steady << qint64(109000) << false << QStringList() << QList<int>() << false;
    // Laps 3 to 5 behind a safety car are left out of the median: 1:40, not 2:10.
    QTest::newRow("median without safety-car laps") << QList<int>{ 100000, 100000, 130000, 130000, 130000, 100000, 112000 } << qint64(0) << false
                                                    << QStringList{ "#7 lap 7 in 1:52.000, 12% slower than its recent median 1:40.000" } << QList<int>{ 3, 5 } << false;
    // The running lap fired; its end is the same lap: once.
    QTest::newRow("running, then completed slow") << steady + QList<int>{ 120000 } << qint64(-1) << false
                                                  << QStringList{ "#7 lap 6 not completed after 1:55.0, 15% over its recent median 1:40.000" } << QList<int>() << false;
}

void TestTeamAlerts::slowLap()
{
    QFETCH(QList<int>, laps);
    QFETCH(qint64, runningFor);
    QFETCH(bool, safetyCar);
    QFETCH(QStringList, expected);
    QFETCH(QList<int>, neutralised);
    QFETCH(bool, stalled);

    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    TeamAlertEngine& engine = *p.teamAlerts();
    constexpr quint64 kStart = 1700000000000ULL;
    V2_Data* root = LapTree::root(p);
    V2_Data* details = mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"));
    details->insertData(QStringLiteral("running"), true);
    details->insertData(QStringLiteral("status"), QStringLiteral("RUNNING"));
    // The laps before the last one are history when the car is followed.
    const int known = runningFor > 0 ? laps.size() : laps.size() - 1;
    quint64 start = kStart;
    for (int n = 0; n < known; ++n) {
        const auto flag = [&](const char* key, const char* type, quint64 time) {
            V2_Data* node = mirrorNode(p, QStringLiteral("timing.session.flags.") + QLatin1String(key));
            node->insertData(QStringLiteral("type"), QLatin1String(type));
            node->insertData(QStringLiteral("time"), time);
            node->insertData(QStringLiteral("sector"), 0);
        };
        if (!neutralised.isEmpty() && n + 1 == neutralised.first())
            flag("1", "SAFETY_CAR", start + 1000);
        LapTree::writeLap(root, QStringLiteral("7"), n + 1, LapTree::simpleLap(start, laps.at(n)));
        start += quint64(laps.at(n));
        if (!neutralised.isEmpty() && n + 1 == neutralised.last())
            flag("2", "GREEN", start - 1000);
    }
    // The clock stands just after the last known lap's end until the test moves it.
    qint64 now = qint64(start) + 1000;
    engine.setClock([&now] { return now; });
    engine.setRules(only({ AlertRules::kSlowLap }));
    p.setCarToFollow(1, QStringLiteral("7"));
    endLine(p); // data are live: a line has just come
    if (safetyCar) {
        V2_Data* flag = mirrorNode(p, QStringLiteral("timing.session.flags.0001"));
        flag->insertData(QStringLiteral("type"), QStringLiteral("SAFETY_CAR"));
        flag->insertData(QStringLiteral("time"), start + 10000);
        flag->insertData(QStringLiteral("sector"), 0);
        emit p.controller()->sessionFlags();
        endLine(p);
    }
    if (runningFor < 0) {
        // The lap runs long, then ends slower still.
        now = qint64(start) + 115000;
        endLine(p);
        engine.checkRunningLaps();
        engine.checkRunningLaps();
    }
    if (runningFor <= 0) {
        LapTree::writeLap(root, QStringLiteral("7"), laps.size(), LapTree::simpleLap(start, laps.last()));
        emit p.controller()->analysisLapsByPnum(QStringLiteral("7"));
        endLine(p);
    } else {
        now = qint64(start) + runningFor;
        if (!stalled)
            endLine(p);
        engine.checkRunningLaps();
        engine.checkRunningLaps();
    }
    QCOMPARE(texts(engine), expected);
}

void TestTeamAlerts::rulesRoundTrip()
{
    AlertRules changed;
    AlertRules::Values gap = changed.values(AlertRules::kGap);
    gap.enabled = true;
    gap.severity = AlertSeverity::Critical;
    gap.sound = true;
    gap.parameters[QStringLiteral("threshold")] = 2.5;
    gap.parameters[QStringLiteral("side")] = QStringLiteral("behind");
    changed.setValues(AlertRules::indexOf(AlertRules::kGap), gap);
    AlertRules::Values groups = changed.values(AlertRules::kRaceControlGroups);
    groups.parameters[QStringLiteral("groups")] = QStringLiteral("PENALTY");
    changed.setValues(AlertRules::indexOf(AlertRules::kRaceControlGroups), groups);
    QVERIFY(changed != AlertRules());

    // The defaults of a fresh start.
    const AlertRules fresh;
    for (const AlertRules::Rule& rule : AlertRules::catalogue()) {
        const QString id = QLatin1String(rule.id);
        const bool on = id == AlertRules::kPitLane || id == AlertRules::kRaceControlCar || id == AlertRules::kSessionFlags;
        QCOMPARE(fresh.isEnabled(id), on);
        QCOMPARE(fresh.values(id).notify, on);
    }

    // The file, the settings.
    AlertRules read;
    QString error;
    QVERIFY2(read.fromJson(changed.toJson(), &error), qPrintable(error));
    QVERIFY(read == changed);
    QCOMPARE(read.number(AlertRules::kGap, "threshold"), 2.5);
    const QString path = m_config.filePath(QStringLiteral("rules.json"));
    QVERIFY(changed.exportTo(path, &error));
    AlertRules imported;
    QVERIFY2(imported.importFrom(path, &error), qPrintable(error));
    QVERIFY(imported == changed);
    {
        QSettings settings;
        changed.save(settings);
    }
    QSettings settings;
    QVERIFY(AlertRules::load(settings) == changed);
}

void TestTeamAlerts::brokenRulesFile_data()
{
    QTest::addColumn<QByteArray>("edit"); // "path=value" into the exported file, or a whole file
    QTest::addColumn<QString>("message");
    QTest::newRow("not JSON") << QByteArray("{rules:") << "The file is not JSON";
    QTest::newRow("another JSON file") << QByteArray("{\"layout\": 1}") << "The file holds no alert rules";
    QTest::newRow("unknown rule") << QByteArray("rules.weather={}") << "Unknown rule \"weather\"";
    QTest::newRow("missing rule") << QByteArray("rules.gap=") << "Rule \"gap\": missing";
    QTest::newRow("wrong type of on/off") << QByteArray("rules.pitLane.enabled=\"yes\"") << "Rule \"pitLane\": \"enabled\" must be true or false";
    QTest::newRow("unknown severity") << QByteArray("rules.stopped.severity=\"loud\"") << "Rule \"stopped\": \"severity\" must be info, warning or critical";
    QTest::newRow("number as text") << QByteArray("rules.trackLimits.parameters.count=\"3\"") << "Rule \"trackLimits\": \"count\" must be a number";
    QTest::newRow("out of range") << QByteArray("rules.gap.parameters.threshold=900") << "Rule \"gap\": \"threshold\" is 900, outside 0.1 to 600";
    QTest::newRow("not whole") << QByteArray("rules.slowLap.parameters.laps=4.5") << "Rule \"slowLap\": \"laps\" must be a whole number";
    QTest::newRow("unknown choice") << QByteArray("rules.gap.parameters.side=\"left\"") << "Rule \"gap\": \"side\" must be one of: ahead, behind";
    QTest::newRow("missing parameter") << QByteArray("rules.gap.parameters.hysteresis=") << "Rule \"gap\": parameter \"hysteresis\" is missing";
    QTest::newRow("unknown parameter") << QByteArray("rules.stopped.parameters.laps=3") << "Rule \"stopped\": unknown parameter \"laps\"";
}

void TestTeamAlerts::brokenRulesFile()
{
    QFETCH(QByteArray, edit);
    QFETCH(QString, message);
    AlertRules current = only({ AlertRules::kGap, AlertRules::kStopped });
    const AlertRules before = current;
    QByteArray file = edit;
    const int equals = edit.indexOf('=');
    if (equals > 0) {
        // One value of a good file changed (empty: removed).
        QJsonObject root = QJsonDocument::fromJson(AlertRules().toJson()).object();
        const QList<QByteArray> path = edit.left(equals).split('.');
        const QByteArray value = edit.mid(equals + 1);
        std::function<void(QJsonObject&, int)> set = [&](QJsonObject& node, int depth) {
            const QString key = QString::fromLatin1(path.at(depth));
            if (depth + 1 < path.size()) {
                QJsonObject child = node.value(key).toObject();
                set(child, depth + 1);
                node.insert(key, child);
            } else if (value.isEmpty()) {
                node.remove(key);
            } else {
                node.insert(key, QJsonDocument::fromJson("[" + value + "]").array().first());
            }
        };
        set(root, 0);
        file = QJsonDocument(root).toJson();
    }
    QString error;
    QVERIFY(!current.fromJson(file, &error));
    QVERIFY2(error.startsWith(message), qPrintable(error));
    QVERIFY(current == before);
}

void TestTeamAlerts::simulatedRace()
{
    // 40 minutes into a 70-minute race: one car stops and retires, the
    // safety car comes out and goes in, cars pit, race control names cars.
    constexpr int kFrom = 2280;
    constexpr int kTicks = 48;
    constexpr qint64 kTickMs = 10000;
    constexpr int kAwayFrom = 33; // the client is away from 2610 s to 2630 s
    constexpr int kAwayTo = 35;
    constexpr int kJumpTick = 40; // 2680 s
    SimulatedSession session({ QStringLiteral("--cars"), QStringLiteral("12"), QStringLiteral("--duration"), QStringLiteral("4200") }, kFrom);
    V2DataProvider& p = *session.provider;
    ClientV2Controller* client = p.controller();
    SimPublisher& publisher = *session.publisher;
    AlertRules rules;
    for (const QString& id : { AlertRules::kTrackLimits, AlertRules::kStopped, AlertRules::kPersonalBest }) {
        AlertRules::Values values = rules.values(id);
        values.enabled = true;
        rules.setValues(AlertRules::indexOf(id), values);
    }
    const QStringList followed = { QStringLiteral("926"), QStringLiteral("300"), QStringLiteral("745"), QStringLiteral("831"), QStringLiteral("878") };
    const auto watch = [&](V2DataProvider& provider) {
        provider.teamAlerts()->setRules(rules);
        for (int i = 0; i < followed.size(); ++i)
            provider.setCarToFollow(i, followed.at(i));
    };
    watch(p);
    const auto caughtUp
        = [&] { return QJsonDocument::fromJson(client->getCurrentData()->getJsonUtf8(true)) == QJsonDocument::fromJson(publisher.published()->getJsonUtf8()); };
    QTRY_VERIFY_WITH_TIMEOUT(caughtUp(), 20000);
    QCOMPARE(p.getEntryList().size(), 12);
    // The login's snapshot holds pit stops, messages, flags and track limits of long ago.
    QCOMPARE(texts(*p.teamAlerts()), QStringList());

    const QString file = m_config.filePath(QStringLiteral("race.lrec.gz"));
    SessionRecorder recorder(client);
    QString error;
    QVERIFY2(recorder.start(file, &error), qPrintable(error));
    QSignalSpy lines(client, &V2_Client::onChannelChange);
    qint64 jumpMs = 0;
    for (int tick = 1; tick <= kTicks; ++tick) {
        const int before = lines.count();
        publisher.publishAt(kFrom * 1000LL + tick * kTickMs);
        if (tick == kAwayFrom) {
            p.setActive(false);
            QTRY_COMPARE(client->socketState(), QAbstractSocket::UnconnectedState);
        }
        if (tick >= kAwayFrom && tick < kAwayTo)
            continue;
        if (tick == kAwayTo) {
            p.setActive(true);
            QTRY_VERIFY_WITH_TIMEOUT(caughtUp(), 20000);
            continue;
        }
        if (lines.count() == before)
            QVERIFY2(lines.wait(20000), qPrintable(QString::number(tick)));
        if (tick == kJumpTick)
            jumpMs = recorder.elapsedMs();
    }
    recorder.stop();

    // Written out from the simulator's plan: race control naming 878
    // (2619 s) came while the client was away.
    const QStringList live = {
        "#926 stopped on lap 22", // 2310 s
        "#831 pit entry on lap 22", // 2391 s
        "#745 pit entry on lap 23", // 2415 s
        "#926 retired", // 2430 s
        "#831 pit exit after 1:00.9 in the pit lane", // 2452 s
        "#745 pit exit after 0:57.7 in the pit lane", // 2473 s
        "Safety car deployed", // 2520 s
        "#831 personal best 1:46.820 on lap 24",
        "Safety car ended: green flag", // 2760 s
    };
    QCOMPARE(texts(*p.teamAlerts()), live);
    QSet<QString> identities;
    for (const TeamAlert& alert : p.teamAlerts()->alerts())
        identities.insert(alert.identity);
    QCOMPARE(identities.size(), live.size());

    // Replayed: the same alerts as they play; after a jump only what follows it.
    for (qint64 jump : { qint64(-1), jumpMs }) {
        auto replay = makeTestProvider();
        watch(*replay);
        RecordingPlayer player(replay->controller());
        QVERIFY2(player.open(file, &error), qPrintable(error));
        QCOMPARE(texts(*replay->teamAlerts()), QStringList());
        if (jump > 0)
            player.seek(jump);
        player.setSpeed(20);
        player.play();
        QTRY_VERIFY_WITH_TIMEOUT(!player.isPlaying(), 20000);
        QCOMPARE(texts(*replay->teamAlerts()), jump > 0 ? QStringList{ "Safety car ended: green flag" } : live);
        player.close();
    }
}

void TestTeamAlerts::lineByLine_data()
{
    // Lines after the login, each "flags|json" or "car|json" (details of that car).
    QTest::addColumn<QStringList>("rules");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("expected");
    const auto details = [](const char* car, const char* fields) {
        return QStringLiteral("%1|{\"timing\":{\"session\":{\"standings\":{\"overall\":{\"participantDetails\":{\"%1\":{%2}}}}}}}").arg(car, fields);
    };
    const auto flag = [](const char* key, const char* type) {
        return QStringLiteral("flags|{\"timing\":{\"session\":{\"flags\":{\"%1\":{\"type\":\"%2\",\"time\":1%1,\"sector\":0}}}}}").arg(key, type);
    };
    QTest::newRow("flag keys counted past 9") << QStringList{ AlertRules::kSessionFlags }
                                              << QStringList{ flag("9", "SAFETY_CAR"), flag("10", "GREEN"), flag("11", "FULL_YELLOW") }
                                              << QStringList{ "Safety car deployed", "Safety car ended: green flag", "Full-course yellow" };
    // Its lap count moving while it stands is the same stop.
    QTest::newRow("stopped twice") << QStringList{ AlertRules::kStopped }
                                   << QStringList{ details("7", R"("status":"STOPPED","currentLap":10)"), details("7", R"("status":"RUNNING","currentLap":11)"),
                                                   details("7", R"("status":"STOPPED","currentLap":14)"),
                                                   details("7", R"("status":"STOPPED","currentLap":15)") }
                                   << QStringList{ "#7 stopped on lap 10", "#7 stopped on lap 14" };
    QTest::newRow("session bests") << QStringList{ AlertRules::kSessionBest }
                                   << QStringList{ details("7", R"("bestLap":{"time":99000})"), details("12", R"("bestLap":{"time":99500})"),
                                                   details("12", R"("bestLap":{"time":98000})"), details("7", R"("bestLap":{"time":100000})"),
                                                   details("7", R"("bestLap":{"time":97500})") }
                                   // 7's best worsened (a lap deleted): the bests are looked for again, 12's stands.
                                   << QStringList{ "#7 overall best lap 1:39.000", "#12 overall best lap 1:38.000", "#7 overall best lap 1:37.500" };
    // Falling back and rising again raises no count twice.
    QTest::newRow("track limits") << QStringList{ AlertRules::kTrackLimits }
                                  << QStringList{ details("7", R"("trackLimitsInfractions":2)"), details("7", R"("trackLimitsInfractions":3)"),
                                                  details("7", R"("trackLimitsInfractions":5)"), details("7", R"("trackLimitsInfractions":4)"),
                                                  details("7", R"("trackLimitsInfractions":5)") }
                                  << QStringList{ "#7 has 3 track-limits infractions", "#7 has 4 track-limits infractions", "#7 has 5 track-limits infractions" };
    const auto standings = [](const char* first, const char* second, int gapMs) {
        return QStringLiteral("standings|{\"timing\":{\"session\":{\"standings\":{\"overall\":{\"active\":{"
                              "\"1\":{\"participant\":\"%1\"},\"2\":{\"participant\":\"%2\",\"gapPreviousTime\":%3}}}}}}}")
            .arg(QLatin1String(first), QLatin1String(second))
            .arg(gapMs);
    };
    QTest::newRow("gap to the car ahead") << QStringList{ AlertRules::kGap }
                                          << QStringList{ standings("12", "7", 1500), standings("12", "7", 900), standings("12", "7", 1200),
                                                          standings("12", "7", 1400) }
                                          << QStringList{ "#7 closes to 0.9 s behind #12 (under 1.0 s)", "#7 drops to 1.4 s behind #12 (over 1.0 s)" };
    QTest::newRow("position") << QStringList{ AlertRules::kPosition }
                              << QStringList{ standings("12", "7", 1500), standings("7", "12", 300), standings("7", "12", 800),
                                              standings("12", "7", 200) }
                              << QStringList{ "#7 up from P2 to P1", "#7 down from P1 to P2" };
}

void TestTeamAlerts::lineByLine()
{
    QFETCH(QStringList, rules);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, expected);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"entry":{"7":{"class":"GT3"},"12":{"class":"GT4"}}}}})");
    p.teamAlerts()->setRules(only(rules));
    p.setCarToFollow(0, QStringLiteral("7"));
    SessionClock::setClock([] { return kRecordedMs; });
    SessionClock::setUtcOffset(kOffsetMs);
    for (const QString& line : lines) {
        const QString kind = line.section(QLatin1Char('|'), 0, 0);
        mergeMirror(p, line.section(QLatin1Char('|'), 1).toUtf8());
        if (kind == QLatin1String("flags"))
            emit p.controller()->sessionFlags();
        else if (kind == QLatin1String("standings"))
            emit p.controller()->standingsOverall();
        else
            emit p.controller()->participantDetailsByPnum(kind);
        endLine(p);
    }
    QCOMPARE(texts(*p.teamAlerts()), expected);
    // An alert is stamped on the session's clock (a replay's is the recorded time), at the track's offset.
    for (const TeamAlert& alert : p.teamAlerts()->alerts())
        QCOMPARE(alert.trackTimeMs, kRecordedMs + kOffsetMs);
    SessionClock::setClock(nullptr);
    SessionClock::setUtcOffset(0);
}

void TestTeamAlerts::channelEmptyAtLogin_data()
{
    QTest::addColumn<QString>("absent");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QString>("alert");
    const QByteArray message = R"({"raceControl":{"messages":{"00001":{"groupText":"INFO","text":"CAR 300 - WARNING","dayTime":1}}}})";
    const QByteArray pitIn = R"({"timing":{"analysis":{"pitIn":{"300":{"pits":{"1700000000000":{"driver":1,"lapNumber":24}}}}}}})";
    QTest::newRow("race control") << "raceControl" << message << "#300 named by race control: CAR 300 - WARNING";
    QTest::newRow("pit entries") << "timing.analysis.pitIn" << pitIn << "#300 pit entry on lap 24";
    QTest::newRow("analysis") << "timing.analysis" << pitIn << "#300 pit entry on lap 24";
}

void TestTeamAlerts::channelEmptyAtLogin()
{
    // A channel without data at the login has no join snapshot: its first
    // item, when it comes, is news.
    QFETCH(QString, absent);
    QFETCH(QByteArray, first);
    QFETCH(QString, alert);
    const SimOptions options
        = SimulatedSession::parse({ QStringLiteral("--cars"), QStringLiteral("12"), QStringLiteral("--duration"), QStringLiteral("4200") });
    const SessionSimulator simulator(options, QDateTime::currentMSecsSinceEpoch() - 2280000);
    std::unique_ptr<V2_Data> state = simulator.state(2280000);
    const int dot = absent.lastIndexOf(QLatin1Char('.'));
    V2_Data* parent = dot < 0 ? state.get() : state->getV2_Data(absent.left(dot));
    if (parent)
        parent->deleteKey(absent.mid(dot + 1));
    QVERIFY(!state->getV2_Data(absent));

    V2_Server server;
    SimAccounts::addDemoUser(server);
    const auto answer = [&](int descriptor, const QString& channel) {
        const V2_Data* node = state->getV2_Data(channel);
        if (!node)
            return;
        V2_Data snapshot(QStringLiteral("ROOT"));
        snapshot.setRoot(true);
        const int last = channel.lastIndexOf(QLatin1Char('.'));
        V2_Data* at = last < 0 ? &snapshot : snapshot.getOrCreateDataPointer(channel.left(last));
        at->insertData(channel.mid(last + 1), new V2_Data(node));
        server.sendV2Data(descriptor, &snapshot);
    };
    connect(&server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest), this, answer);
    connect(&server, QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest), this,
            [&](int descriptor, const QString& channel, const QString&) { answer(descriptor, channel); });
    QVERIFY(server.startServer(0));
    V2DataProvider p(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"), server.serverPort(),
                     QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("127.0.0.1"));
    p.setCarToFollow(0, QStringLiteral("300"));
    p.setActive(true);
    ClientV2Controller* client = p.controller();
    QTRY_VERIFY_WITH_TIMEOUT(QJsonDocument::fromJson(client->getCurrentData()->getJsonUtf8(true)) == QJsonDocument::fromJson(state->getJsonUtf8()), 20000);
    QCOMPARE(texts(*p.teamAlerts()), QStringList());

    QSignalSpy lines(client, &V2_Client::onChannelChange);
    for (int i = 0; i < 2; ++i) {
        V2_Data line(QStringLiteral("ROOT"));
        line.setRoot(true);
        V2_message message(QStringLiteral("JSON:1::") + QString::fromUtf8(first));
        QVERIFY(message.rapidJsonDocument());
        line.fromRapidJson(*message.rapidJsonDocument(), nullptr);
        server.sendV2Data(&line);
        QVERIFY(lines.wait(10000));
    }
    QCOMPARE(texts(*p.teamAlerts()), QStringList{ alert });
    p.setActive(false);
}

QTEST_MAIN(TestTeamAlerts)
#include "tst_teamalerts.moc"
