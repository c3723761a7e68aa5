#include "DriveTimeCalculator.h"
#include "DriveTimeMonitor.h"
#include "DriveTimeRules.h"
#include "SessionClock.h"
#include "StartUp.h"
#include "StintRows.h"
#include "TeamAlertEngine.h"
#include "TestProvider.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr qint64 kMin = 60000;

DriveStint track(int driver, qint64 from, qint64 to)
{
    return DriveStint{driver, false, 0, from * kMin, to * kMin};
}

DriveStint pit(int driver, qint64 from, qint64 to, int info = 0)
{
    return DriveStint{driver, true, info, from * kMin, to * kMin};
}

const QVector<DriveDriver> kDrivers = {{1, QStringLiteral("Ann")}, {2, QStringLiteral("Bob")}, {3, QStringLiteral("Cid")}};

DriveTimeLimits limits(qint64 minTotal, qint64 maxTotal, qint64 continuous, qint64 rest)
{
    return DriveTimeLimits{minTotal * kMin, maxTotal * kMin, continuous * kMin, rest * kMin};
}

qint64 g_now = 0;
qint64 testClock()
{
    return g_now;
}

void addStint(V2DataProvider& p, int key, int driver, const char* type, qint64 from, qint64 to)
{
    V2_Data* node = mirrorNode(p, QStringLiteral("timing.analysis.stints.7.stints.%1").arg(key, 3, 10, QLatin1Char('0')));
    node->insertData(QStringLiteral("driver"), driver);
    node->insertData(QStringLiteral("type"), QLatin1String(type));
    node->insertData(QStringLiteral("pitType"), QString());
    node->insertData(QStringLiteral("startTime"), quint64(from * kMin));
    node->insertData(QStringLiteral("finishTime"), quint64(to < 0 ? 0 : to * kMin));
}

} // namespace

Q_DECLARE_METATYPE(QVector<DriveStint>)
Q_DECLARE_METATYPE(PitTimeRule)
Q_DECLARE_METATYPE(DriveState)

class TestDriveTime : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_config.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
        StartUp::setApplicationIdentity();
    }
    // A test that fails midway leaves no clock behind for the next.
    void cleanup() { SessionClock::setClock(nullptr); }

    void rulesRoundTripAndSettings()
    {
        DriveTimeRules rules;
        rules.limits = limits(240, 840, 240, 60);
        rules.classOverrides.insert(QStringLiteral("BRONZE"), DriveTimeOverride{360 * kMin, -1, -1, -1});
        rules.pitTime = PitTimeRule::Split;
        rules.nearMarginMs = 5 * kMin;
        rules.scheduledEndMs = 1781445600000; // 2026-06-14T14:00:00Z
        rules.swapTimeMs = 75000;
        DriveTimeRules read;
        QString error;
        QVERIFY2(DriveTimeRules::fromJson(rules.toJson(), &read, &error), qPrintable(error));
        QVERIFY(read == rules);
        QCOMPARE(read.limitsFor(QStringLiteral("BRONZE")).minTotalMs, 360 * kMin);
        QCOMPARE(read.limitsFor(QStringLiteral("BRONZE")).maxTotalMs, 840 * kMin);
        QCOMPARE(read.limitsFor(QStringLiteral("PRO")).minTotalMs, 240 * kMin);
        rules.save();
        QVERIFY(DriveTimeRules::load() == rules);
    }

    void brokenFileRefused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not json") << QByteArray("{\"version\": 1,") << "not JSON";
        QTest::newRow("array") << QByteArray("[1]") << "the rules must be a JSON object";
        QTest::newRow("version") << QByteArray("{\"version\": 2}") << "\"version\" must be 1";
        QTest::newRow("negative") << QByteArray("{\"version\": 1, \"minTotal\": -5}") << "\"minTotal\" must be a whole number of seconds";
        QTest::newRow("fraction") << QByteArray("{\"version\": 1, \"maxContinuous\": 1.5}") << "\"maxContinuous\" must be a whole number";
        QTest::newRow("unknown key") << QByteArray("{\"version\": 1, \"minTotl\": 60}") << "unknown key \"minTotl\"";
        QTest::newRow("pit rule") << QByteArray("{\"version\": 1, \"pitTime\": \"half\"}") << "\"pitTime\" must be one of";
        QTest::newRow("min above max") << QByteArray("{\"version\": 1, \"minTotal\": 600, \"maxTotal\": 60}") << "\"minTotal\" is above \"maxTotal\"";
        QTest::newRow("class min above max") << QByteArray("{\"version\": 1, \"maxTotal\": 600, \"classes\": {\"AM\": {\"minTotal\": 900}}}")
                                             << "class \"AM\": its minimum total is above its maximum";
        QTest::newRow("class not object") << QByteArray("{\"version\": 1, \"classes\": {\"AM\": 3}}") << "class \"AM\": must be an object";
        QTest::newRow("no swap time") << QByteArray("{\"version\": 1, \"swapTime\": 0}") << "\"swapTime\" must be a whole number of seconds from 1";
        QTest::newRow("end") << QByteArray("{\"version\": 1, \"scheduledEnd\": \"tomorrow\"}") << "\"scheduledEnd\" must be a date";
        QTest::newRow("end without zone") << QByteArray("{\"version\": 1, \"scheduledEnd\": \"2026-06-14T14:00:00\"}") << "\"scheduledEnd\" needs its zone";
    }

    void brokenFileRefused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        DriveTimeRules rules;
        rules.limits = limits(60, 120, 60, 30);
        const DriveTimeRules before = rules;
        QString error;
        QVERIFY(!DriveTimeRules::fromJson(json, &rules, &error));
        QVERIFY2(error.startsWith(reason), qPrintable(error));
        QVERIFY(rules == before);
    }

    // The typed end is an instant: a file's zone is honoured, and the time
    // left runs to it from UTC now, whatever the track's offset.
    void typedRaceEnd()
    {
        DriveTimeRules rules;
        QString error;
        QVERIFY2(DriveTimeRules::fromJson("{\"version\": 1, \"scheduledEnd\": \"2026-06-14T16:00:00+02:00\"}", &rules, &error), qPrintable(error));
        QCOMPARE(rules.scheduledEndMs, 1781445600000LL); // 14:00Z
        QCOMPARE(rules.nearMarginMs, 10 * kMin);         // not in the file: the default
        const auto restore = qScopeGuard([] {
            SessionClock::setFinalType(QString());
            SessionClock::setUtcOffset(0);
            SessionClock::setClock(nullptr);
        });
        SessionClock::setClock(&testClock);
        SessionClock::setUtcOffset(2 * 60 * kMin);
        SessionClock::setFinalType(QStringLiteral("BY_LAPS"));
        g_now = 1781445600000LL - 90 * kMin; // 12:30Z, 14:30 at the track
        QCOMPARE(StintRows::remainingMs(rules), 90 * kMin);
    }

    // Minutes throughout. Limits: minimum 60, maximum 150, continuous 60,
    // rest 30, near within 10.
    void driverTimes_data()
    {
        QTest::addColumn<QVector<DriveStint>>("stints");
        QTest::addColumn<PitTimeRule>("rule");
        QTest::addColumn<bool>("running");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<int>("driver");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<qint64>("continuous"); // -1: not in the car
        QTest::addColumn<qint64>("rest");       // -1: in the car or never drove
        QTest::addColumn<DriveState>("state");
        QTest::addColumn<QString>("reason");

        const QVector<DriveStint> swap = {track(1, 0, 50), pit(2, 50, 52), track(2, 52, 100)};
        QTest::newRow("swap, pit not driving: out") << swap << PitTimeRule::NotDriving << true << 100LL << 1 << 50LL << -1LL << 50LL << DriveState::Ok << "";
        QTest::newRow("swap, pit not driving: in") << swap << PitTimeRule::NotDriving << true << 100LL << 2 << 48LL << 48LL << -1LL << DriveState::Ok << "";
        QTest::newRow("swap, pit to outgoing") << swap << PitTimeRule::Outgoing << true << 100LL << 1 << 52LL << -1LL << 48LL << DriveState::Ok << "";
        QTest::newRow("swap, pit to incoming") << swap << PitTimeRule::Incoming << true << 100LL << 2 << 50LL << 50LL << -1LL << DriveState::Near << "stint";
        QTest::newRow("swap, pit split: out") << swap << PitTimeRule::Split << true << 100LL << 1 << 51LL << -1LL << 49LL << DriveState::Ok << "";
        QTest::newRow("swap, pit split: in") << swap << PitTimeRule::Split << true << 100LL << 2 << 49LL << 49LL << -1LL << DriveState::Ok << "";

        // The stay names another driver, but a penalty never swaps.
        const QVector<DriveStint> penalty = {track(1, 0, 30), pit(2, 30, 33, 1)};
        QTest::newRow("penalty stay") << penalty << PitTimeRule::Outgoing << true << 33LL << 1 << 33LL << 33LL << -1LL << DriveState::Ok << "";
        QTest::newRow("penalty stay: named driver") << penalty << PitTimeRule::Outgoing << true << 33LL << 2 << 0LL << -1LL << -1LL << DriveState::Ok
                                                    << "";
        const QVector<DriveStint> safetyCar = {track(1, 0, 40), pit(1, 40, 45, 2), track(1, 45, 70)};
        QTest::newRow("safety-car stay, pit counted") << safetyCar << PitTimeRule::Outgoing << true << 70LL << 1 << 70LL << 70LL << -1LL
                                                      << DriveState::Over << "stint";
        QTest::newRow("safety-car stay, pit not counted") << safetyCar << PitTimeRule::NotDriving << true << 70LL << 1 << 65LL << 65LL << -1LL
                                                          << DriveState::Over << "stint";

        // A swap made under the safety car: the stay is split like any other.
        const QVector<DriveStint> swapUnderSc = {track(1, 0, 40), pit(1, 40, 44, 2), track(2, 44, 70)};
        QTest::newRow("safety-car swap, split: out") << swapUnderSc << PitTimeRule::Split << true << 70LL << 1 << 42LL << -1LL << 28LL << DriveState::Ok
                                                     << "";
        QTest::newRow("safety-car swap, split: in") << swapUnderSc << PitTimeRule::Split << true << 70LL << 2 << 28LL << 28LL << -1LL << DriveState::Ok
                                                    << "";

        const QVector<DriveStint> returning = {track(1, 0, 40), pit(2, 40, 41), track(2, 41, 60), pit(1, 60, 61), track(1, 61, 80)};
        QTest::newRow("returning too soon") << returning << PitTimeRule::NotDriving << true << 80LL << 1 << 59LL << 19LL << -1LL << DriveState::Over
                                            << "rest";
        QVector<DriveStint> twice = returning;
        twice << pit(2, 80, 81) << track(2, 81, 90) << pit(1, 90, 91) << track(1, 91, 95);
        QTest::newRow("back too soon twice") << twice << PitTimeRule::NotDriving << true << 95LL << 1 << 63LL << 4LL << -1LL << DriveState::Over << "rest";
        QTest::newRow("returning: the other") << returning << PitTimeRule::NotDriving << true << 80LL << 2 << 19LL << -1LL << 20LL << DriveState::Ok
                                              << "";
        QTest::newRow("never drove") << returning << PitTimeRule::NotDriving << true << 80LL << 3 << 0LL << -1LL << -1LL << DriveState::Ok << "";

        const QVector<DriveStint> finished = {track(1, 0, 50), pit(2, 50, 51), track(2, 51, 111)};
        QTest::newRow("finished car") << finished << PitTimeRule::NotDriving << false << 120LL << 2 << 60LL << -1LL << 9LL << DriveState::Ok << "";
        QTest::newRow("finished, minimum missed") << finished << PitTimeRule::NotDriving << false << 120LL << 1 << 50LL << -1LL << 70LL
                                                  << DriveState::Over << "minimum";
        const QVector<DriveStint> long_ = {track(1, 0, 58), pit(2, 58, 59), track(2, 59, 118), pit(1, 118, 119), track(1, 119, 178),
                                           pit(2, 178, 179), track(2, 179, 238)};
        QTest::newRow("stint near its limit") << long_ << PitTimeRule::NotDriving << true << 238LL << 2 << 118LL << 59LL << -1LL << DriveState::Near
                                                << "stint";
        QTest::newRow("pit to outgoing, four spells") << long_ << PitTimeRule::Outgoing << true << 238LL << 1 << 119LL << -1LL << 59LL
                                                      << DriveState::Ok << "";
        const QVector<DriveStint> third = {track(1, 0, 55), pit(2, 55, 56), track(2, 56, 90), pit(1, 90, 91), track(1, 91, 146), pit(2, 146, 147),
                                           track(2, 147, 180), pit(1, 180, 181), track(1, 181, 215)};
        QTest::newRow("total near its maximum") << third << PitTimeRule::NotDriving << true << 215LL << 1 << 144LL << 34LL << -1LL << DriveState::Near
                                                << "total";
        QVector<DriveStint> past = third;
        past.last().end = 225 * kMin;
        QTest::newRow("total past its maximum") << past << PitTimeRule::NotDriving << true << 225LL << 1 << 154LL << 44LL << -1LL << DriveState::Over
                                                << "total";
    }

    void driverTimes()
    {
        QFETCH(QVector<DriveStint>, stints);
        QFETCH(PitTimeRule, rule);
        QFETCH(bool, running);
        QFETCH(qint64, now);
        QFETCH(int, driver);
        QFETCH(qint64, total);
        QFETCH(qint64, continuous);
        QFETCH(qint64, rest);
        QFETCH(DriveState, state);
        QFETCH(QString, reason);
        const bool raceOver = !running;
        const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, limits(60, 150, 60, 30), rule, 10 * kMin, now * kMin, running, raceOver);
        QCOMPARE(car.drivers.size(), 3);
        const DriverDriveTime& d = car.drivers.at(driver - 1);
        QCOMPARE(d.driver, driver);
        QCOMPARE(d.totalMs, total * kMin);
        QCOMPARE(d.inCar, continuous >= 0);
        if (continuous >= 0)
            QCOMPARE(d.continuousMs, continuous * kMin);
        QCOMPARE(d.restMs, rest < 0 ? -1 : rest * kMin);
        QCOMPARE(d.toMinMs, std::max<qint64>(0, 60 - total) * kMin);
        QCOMPARE(d.toMaxMs, (150 - total) * kMin);
        QCOMPARE(d.state, state);
        QCOMPARE(d.reason, reason);
    }

    void feasibility_data()
    {
        QTest::addColumn<QVector<DriveStint>>("stints");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("minTotal");
        QTest::addColumn<qint64>("remaining");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("continuous");
        QTest::addColumn<qint64>("rest");
        QTest::addColumn<bool>("swapsCost");

        // Continuous 60, rest 30, a swap takes 2 and the pit lane counts
        // (unless said otherwise).
        const QVector<DriveStint> none;
        QTest::newRow("exactly feasible") << none << 0LL << 60LL << 180LL << int(DriveFeasibility::Feasible) << "Feasible, 0 min slack" << 60LL << 30LL << false;
        QTest::newRow("slack") << none << 0LL << 60LL << 218LL << int(DriveFeasibility::Feasible) << "Feasible, 38 min slack" << 60LL << 30LL << false;
        QTest::newRow("hours of slack") << none << 0LL << 60LL << 1126LL << int(DriveFeasibility::Feasible) << "Feasible, 15 h 46 min slack" << 60LL << 30LL << false;
        QTest::newRow("one minute short") << none << 0LL << 60LL << 179LL << int(DriveFeasibility::NotFeasible)
                                          << "Not feasible: the drivers need 3:00 more in all, 2:59 remains" << 60LL << 30LL << false;
        // Bob and Cid have their 120; Ann alone needs two spells and a rest.
        const QVector<DriveStint> others = {track(2, 0, 60), pit(3, 60, 60), track(3, 60, 120), pit(2, 120, 120), track(2, 150, 210),
                                            pit(3, 210, 210), track(3, 210, 270)};
        QTest::newRow("rest makes it infeasible") << others << 270LL << 120LL << 149LL << int(DriveFeasibility::NotFeasible)
                                                  << "Not feasible: Ann needs 2:00 more, 1:59 can still be scheduled" << 60LL << 30LL << false;
        QTest::newRow("rest, exactly feasible") << others << 270LL << 120LL << 150LL << int(DriveFeasibility::Feasible) << "Feasible, 0 min slack" << 60LL << 30LL << false;
        // Ann has 50 of a 60 spell: she hands over at once, and does her
        // last 10 when Bob and Cid have had their hour each.
        const QVector<DriveStint> inCar = {track(1, 0, 50)};
        QTest::newRow("driver in the car") << inCar << 50LL << 60LL << 130LL << int(DriveFeasibility::Feasible) << "Feasible, 0 min slack" << 60LL << 30LL << false;
        QTest::newRow("minimum reached") << inCar << 50LL << 30LL << 10LL << int(DriveFeasibility::NotFeasible)
                                         << "Not feasible: Bob needs 0:30 more, 0:10 can still be scheduled" << 60LL << 30LL << false;
        // Swaps under a pit lane that counts for nobody: the first to get
        // in swaps with no one, the two others cost 2 each.
        QTest::newRow("swaps use up the slack") << none << 0LL << 60LL << 184LL << int(DriveFeasibility::Feasible) << "Feasible, 0 min slack" << 60LL << 30LL
                                                << true;
        QTest::newRow("swaps make it infeasible") << none << 0LL << 60LL << 183LL << int(DriveFeasibility::NotFeasible)
                                                  << "Not feasible: the drivers need 3:04 more in all with 2 swaps, 3:03 remains" << 60LL << 30LL << true;
        // Continuous 120, no rest: Bob and Cid have their 300, Ann needs
        // 300 with 300 left. She cannot follow herself: two swaps out and
        // back in lose her 4 of it.
        const QVector<DriveStint> alone = {track(2, 0, 120), pit(3, 120, 120), track(3, 120, 240), pit(2, 240, 240), track(2, 240, 360),
                                           pit(3, 360, 360), track(3, 360, 480), pit(2, 480, 480), track(2, 480, 540), pit(3, 540, 540),
                                           track(3, 540, 600)};
        QTest::newRow("no rest, one driver short") << alone << 600LL << 300LL << 300LL << int(DriveFeasibility::NotFeasible)
                                                   << "Not feasible: Ann needs 5:00 more, 4:56 can still be scheduled" << 120LL << 0LL << false;
        QTest::newRow("no end") << inCar << 50LL << 60LL << -1LL << int(DriveFeasibility::NoEnd) << "Race end unknown: type it in the drive-time rules" << 60LL << 30LL << false;
    }

    void feasibility()
    {
        QFETCH(QVector<DriveStint>, stints);
        QFETCH(qint64, now);
        QFETCH(qint64, minTotal);
        QFETCH(qint64, remaining);
        QFETCH(int, verdict);
        QFETCH(QString, text);
        QFETCH(qint64, continuous);
        QFETCH(qint64, rest);
        QFETCH(bool, swapsCost);
        const DriveTimeLimits rules = limits(minTotal, 0, continuous, rest);
        const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, rules, PitTimeRule::NotDriving, 0, now * kMin, true, false);
        const DriveFeasibility result = DriveTimeCalculator::feasibility(car, rules, remaining < 0 ? -1 : remaining * kMin, 2 * kMin, swapsCost);
        QCOMPARE(result.text, text);
        QCOMPARE(int(result.verdict), verdict);
    }

    // A car's verdict is kept until a key of it changes: Ann alone, in the
    // car since 0, needs 30 more of her 60 at minute 30 (slack: the time
    // left less 30). Within the minute the verdict is the stored one.
    void feasibilityCache()
    {
        SessionClock::setClock(&testClock);
        g_now = 30 * kMin;
        auto provider = makeTestProvider();
        mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
        mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), true);
        addStint(*provider, 1, 1, "TRACK", 0, -1);
        DriveTimeRules rules;
        rules.limits = limits(60, 0, 0, 0);
        const auto slack = [&](qint64 remaining) {
            return StintRows::driveTime(*provider, QStringLiteral("7"), rules, remaining).feasibility.slackMs;
        };
        QCOMPARE(slack(100 * kMin + 30000), 70 * kMin + 30000);
        QCOMPARE(slack(100 * kMin + 10000), 70 * kMin + 30000); // the same minute
        QCOMPARE(slack(99 * kMin + 50000), 69 * kMin + 50000);  // the minute turned
        QCOMPARE(slack(99 * kMin + 20000), 69 * kMin + 50000);
        rules.limits = limits(50, 0, 0, 0); // the limits changed: 20 more
        QCOMPARE(slack(99 * kMin + 20000), 79 * kMin + 20000);
        // The stints changed: Ann drove 0-40 and is in the pit since, which
        // counts for nobody: 10 more.
        addStint(*provider, 1, 1, "TRACK", 0, 40);
        addStint(*provider, 2, 1, "PIT", 40, -1);
        g_now = 45 * kMin;
        QCOMPARE(slack(99 * kMin + 20000), 89 * kMin + 20000);
        SessionClock::setClock(nullptr);
    }

    // Each part of the cached verdict's key, changed alone, is searched
    // again. Bob drove 0-10, Ann since 11 (19 of it by 30); minimum 60,
    // no other limit, a swap of 1 for nobody, 100 left: Ann drives on her
    // 41, Bob his 50 after the swap: 92.
    void feasibilityCacheKeys_data()
    {
        QTest::addColumn<int>("change");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plan"); // empty: not compared
        QTest::newRow("minimum") << 0 << "Feasible, 4 min slack" << ""; // 43 + 1 + 52
        QTest::newRow("maximum") << 1 << "Not feasible: Ann needs 0:41 more for the minimum, the maximum leaves 0:26" << "";
        // Ann's spell has 11 left: Ann 11, Bob 30, Ann 30, Bob 20, three swaps.
        QTest::newRow("continuous") << 2 << "Feasible, 6 min slack" << "";
        // Bob is back at 50 (rested 20 of 70): 50 + 50.
        QTest::newRow("rest") << 3 << "Feasible, 0 min slack" << "";
        // The lane 10-11 is Bob's: 41 + 49, no swap time.
        QTest::newRow("pit rule") << 4 << "Feasible, 10 min slack" << "";
        QTest::newRow("swap time") << 5 << "Feasible, 6 min slack" << ""; // 41 + 3 + 50
        QTest::newRow("another driver listed") << 6 << "Not feasible: the drivers need 2:33 more in all with 2 swaps, 1:40 remains" << "";
        QTest::newRow("a driver renamed") << 7 << "Feasible, 8 min slack"
                                          << "Plan: Ann 0:41, Rob 0:50 (stops without a driver change not counted until the car has made 3)";
        // The race clock stands (a red flag) while 20 min pass: Ann has
        // driven 39 and needs 21, then Bob his 50 after the swap: 72.
        QTest::newRow("the clock runs, the race's does not") << 8 << "Feasible, 28 min slack" << "";
    }

    void feasibilityCacheKeys()
    {
        QFETCH(int, change);
        QFETCH(QString, text);
        QFETCH(QString, plan);
        SessionClock::setClock(&testClock);
        g_now = 30 * kMin;
        auto provider = makeTestProvider();
        mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
        mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), true);
        const auto name = [&](int driver, const QString& lastName) {
            mirrorNode(*provider, QStringLiteral("timing.session.entry.7.drivers.%1").arg(driver))->insertData(QStringLiteral("lastName"), lastName);
        };
        name(1, QStringLiteral("Ann"));
        name(2, QStringLiteral("Bob"));
        addStint(*provider, 1, 2, "TRACK", 0, 10);
        addStint(*provider, 2, 1, "PIT", 10, 11);
        addStint(*provider, 3, 1, "TRACK", 11, -1);
        DriveTimeRules rules;
        rules.limits = limits(60, 0, 0, 0);
        rules.pitTime = PitTimeRule::NotDriving;
        rules.swapTimeMs = kMin;
        const auto verdict = [&] { return StintRows::driveTime(*provider, QStringLiteral("7"), rules, 100 * kMin).feasibility; };
        QCOMPARE(verdict().text, QStringLiteral("Feasible, 8 min slack"));
        switch (change) {
        case 0: rules.limits.minTotalMs = 62 * kMin; break;
        case 1: rules.limits.maxTotalMs = 45 * kMin; break;
        case 2: rules.limits.maxContinuousMs = 30 * kMin; break;
        case 3: rules.limits.minRestMs = 70 * kMin; break;
        case 4: rules.pitTime = PitTimeRule::Outgoing; break;
        case 5: rules.swapTimeMs = 3 * kMin; break;
        case 6: name(3, QStringLiteral("Cid")); break;
        case 7: name(2, QStringLiteral("Rob")); break;
        default: g_now = 50 * kMin; break;
        }
        const DriveFeasibility after = verdict();
        QCOMPARE(after.text, text);
        if (!plan.isEmpty())
            QCOMPARE(after.plan, plan);
        SessionClock::setClock(nullptr);
    }

    // The swap time a car's own driver changes give, in minutes (the typed
    // one is 2): a stay with no change is no swap, and an open one is not
    // over.
    void learntSwapTime_data()
    {
        QTest::addColumn<QVector<DriveStint>>("stints");
        QTest::addColumn<qint64>("swapMs");
        const QVector<DriveStint> two = {track(1, 0, 50), pit(2, 50, 53), track(2, 53, 100), pit(3, 100, 101), track(3, 101, 150),
                                         pit(3, 150, 160), track(3, 160, 200)};
        QTest::newRow("two swaps: typed") << two << 2 * kMin;
        QVector<DriveStint> three = two;
        three << pit(1, 200, 204) << track(1, 204, 250);
        // Stays 3, 1, 4.
        QTest::newRow("three: the middle one") << three << 3 * kMin;
        QVector<DriveStint> four = three;
        four << pit(2, 250, 255) << track(2, 255, 300);
        QTest::newRow("four: the longer middle one") << four << 4 * kMin;
        QVector<DriveStint> open = three;
        open << pit(2, 250, 260);
        QTest::newRow("an open stay is not over") << open << 3 * kMin;
        const QVector<DriveStint> instant = {track(1, 0, 50), pit(2, 50, 50), track(2, 50, 100), pit(3, 100, 100), track(3, 100, 150),
                                             pit(1, 150, 150), track(1, 150, 200)};
        QTest::newRow("zero-length stays: 1 s") << instant << 1000LL;
    }

    void learntSwapTime()
    {
        QFETCH(QVector<DriveStint>, stints);
        QFETCH(qint64, swapMs);
        const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, limits(0, 0, 0, 0), PitTimeRule::NotDriving, 0, 300 * kMin, true, false);
        QCOMPARE(DriveTimeCalculator::swapTimeMs(car, 2 * kMin), swapMs);
    }

    // A driver's spell run up to the continuous limit, checked every half
    // minute: each alert once, at its moment, stamped by the injected clock.
    void monitorRaisesEachAlertOnce()
    {
        TeamAlertEngine engine(nullptr);
        qint64 clock = 1000;
        DriveTimeMonitor monitor(nullptr, &engine, [&clock] { return clock; });
        const DriveTimeLimits rules = limits(50, 60, 60, 30);
        // Bob drove 0-40 and rests from 40; Ann took over at 41.
        const QVector<DriveStint> before = {track(2, 0, 40), pit(1, 40, 41)};
        QStringList raised;
        for (qint64 halfMinutes = 2 * 41; halfMinutes <= 2 * 103; ++halfMinutes) {
            clock = halfMinutes;
            const qint64 now = halfMinutes * kMin / 2;
            QVector<DriveStint> stints = before;
            stints.append(DriveStint{1, false, 0, 41 * kMin, now});
            const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, rules, PitTimeRule::NotDriving, 10 * kMin, now, true, false);
            // The race ends at minute 160.
            const DriveFeasibility feasible = DriveTimeCalculator::feasibility(car, rules, 160 * kMin - now, kMin, false);
            monitor.check(QStringLiteral("7"), car, feasible, rules, 10 * kMin);
            for (int i = raised.size(); i < engine.alerts().size(); ++i)
                raised << QStringLiteral("%1 @%2").arg(engine.alerts().at(i).identity).arg(engine.alerts().at(i).trackTimeMs / 2.0);
        }
        const qint64 spell = 41 * kMin;
        QCOMPARE(raised, QStringList({
                             QStringLiteral("driveTime|7|1|total-near @91"),
                             QStringLiteral("driveTime|7|1|%1|continuous-5min @96").arg(spell),
                             // Bob rested from 40 and is ready at 70: no rest alert.
                             QStringLiteral("driveTime|7|1|%1|continuous-1min @100").arg(spell),
                             // Bob's 10 and Cid's 50 no longer fit.
                             QStringLiteral("driveTime|7|%1|infeasible @100.5").arg(spell),
                             QStringLiteral("driveTime|7|1|total-over @101.5"),
                         }));
        QCOMPARE(engine.alerts().at(0).text, QStringLiteral("Car 7: Ann has 0:10 left of the maximum drive time"));
        QCOMPARE(engine.alerts().at(3).text, QStringLiteral("Car 7: Not feasible: the drivers need 1:00 more in all, 0:59 remains"));
        QCOMPARE(engine.alerts().at(3).severity, AlertSeverity::Critical);
    }

    // Ann, in since 41, nears her 60 limit at 96 with 60 of the race left;
    // continuous 60, rest 90, so a stop is likely: the rest alerts besides
    // the continuous one.
    void monitorRestNotComplete_data()
    {
        QTest::addColumn<QVector<DriveStint>>("stints");
        QTest::addColumn<qint64>("minTotal");
        QTest::addColumn<qint64>("maxTotal");
        QTest::addColumn<QStringList>("alerts"); // identity, then text
        const QString any = QStringLiteral("driveTime|7|any|%1|rest-not-complete").arg(41 * kMin);
        // Cid drove 0-30 and has his 30; Bob drove 31-40 and needs 21: the
        // plan's next is Bob, rested at 130; Cid is not rested either (at 120).
        const QVector<DriveStint> cidBob = {track(3, 0, 30), pit(2, 30, 31), track(2, 31, 40), pit(1, 40, 41), track(1, 41, 96)};
        QTest::newRow("the plan's next, none rested")
            << cidBob << 30LL << 0LL
            << QStringList{QStringLiteral("driveTime|7|2|%1|rest-not-complete").arg(41 * kMin), "Car 7: Bob is not rested before the stop (0:34 of rest left, the limit in 0:05)",
                           any, "Car 7: no driver is rested before the stop (the first in 0:24, the limit in 0:05)"};
        // No minimum: anyone may take over; Cid is rested at 120.
        QTest::newRow("any, none rested") << cidBob << 0LL << 0LL << QStringList{any, "Car 7: no driver is rested before the stop (the first in 0:24, the limit in 0:05)"};
        // Cid never drove: he can take over.
        const QVector<DriveStint> bob = {track(2, 0, 40), pit(1, 40, 41), track(1, 41, 96)};
        QTest::newRow("any, one rested") << bob << 0LL << 0LL << QStringList();
        // Cid drove 0-5 and is rested (91), but 5 is his maximum; Bob drove
        // 6-9 and rests until 99.
        const QVector<DriveStint> cidAtMax = {track(3, 0, 5), pit(2, 5, 6), track(2, 6, 9), pit(1, 9, 41), track(1, 41, 96)};
        QTest::newRow("the rested one at his maximum") << cidAtMax << 0LL << 5LL
                                                       << QStringList{any, "Car 7: no driver is rested before the stop (the first in 0:03, the limit in 0:05; at the maximum: Cid)"};
        // Cid drove 0-5 and Bob 6-11: both at the maximum of 5.
        const QVector<DriveStint> bothAtMax = {track(3, 0, 5), pit(2, 5, 6), track(2, 6, 11), pit(1, 11, 41), track(1, 41, 96)};
        QTest::newRow("every other one at his maximum") << bothAtMax << 0LL << 5LL
                                                        << QStringList{any, "Car 7: no other driver may take the car (at the maximum: Bob, Cid)"};
    }

    void monitorRestNotComplete()
    {
        QFETCH(QVector<DriveStint>, stints);
        QFETCH(qint64, minTotal);
        QFETCH(qint64, maxTotal);
        QFETCH(QStringList, alerts);
        stints.last().end += kMin / 2;
        TeamAlertEngine engine(nullptr);
        DriveTimeMonitor monitor(nullptr, &engine, [] { return qint64(5); });
        const DriveTimeLimits rules = limits(minTotal, maxTotal, 60, 90);
        for (int twice = 0; twice < 2; ++twice) {
            // Half a minute on, Ann's spell too: the rest left and the time to
            // the limit (4:30) are both rounded up.
            const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, rules, PitTimeRule::NotDriving, 0, 96 * kMin + kMin / 2, true, false);
            monitor.check(QStringLiteral("7"), car, DriveTimeCalculator::feasibility(car, rules, 60 * kMin, kMin, true), rules, 0);
        }
        QStringList got;
        for (const TeamAlert& alert : engine.alerts())
            if (alert.identity.endsWith(QLatin1String("rest-not-complete")))
                got << alert.identity << alert.text;
        QCOMPARE(got, alerts);
        const QString continuous = QStringLiteral("driveTime|7|1|%1|continuous-5min").arg(41 * kMin);
        QVERIFY(std::any_of(engine.alerts().cbegin(), engine.alerts().cend(), [&](const TeamAlert& a) { return a.identity == continuous; }));
    }

    // The infeasible alert: once per stint however often the verdict flips,
    // and again in the next stint and in a later session.
    void monitorInfeasibleOncePerStintAndSession()
    {
        TeamAlertEngine engine(nullptr);
        DriveTimeMonitor monitor(nullptr, &engine, [] { return qint64(5); });
        const DriveTimeLimits rules = limits(60, 0, 60, 0);
        monitor.setSession(QStringLiteral("100"));
        const auto checkAt = [&](const QVector<DriveStint>& stints, qint64 now, qint64 remaining) {
            const CarDriveTime car = DriveTimeCalculator::compute(stints, kDrivers, rules, PitTimeRule::Outgoing, 0, now * kMin, true, false);
            monitor.check(QStringLiteral("7"), car, DriveTimeCalculator::feasibility(car, rules, remaining * kMin, kMin, false), rules, 0);
        };
        // Ann in since 0; Bob and Cid need 60 each: 119 left is too little.
        const QVector<DriveStint> first = {track(1, 0, 10)};
        checkAt(first, 10, 119);
        checkAt(first, 10, 200);
        checkAt(first, 10, 119);
        QCOMPARE(engine.alerts().size(), 1);
        const QVector<DriveStint> second = {track(1, 0, 10), pit(2, 10, 11), track(2, 11, 12)};
        checkAt(second, 12, 100);
        QCOMPARE(engine.alerts().size(), 2);
        monitor.clear();
        monitor.setSession(QStringLiteral("200"));
        checkAt(first, 10, 119);
        QCOMPARE(engine.alerts().size(), 3);
        QCOMPARE(engine.alerts().at(0).identity, QStringLiteral("driveTime|100|7|0|infeasible"));
        QCOMPARE(engine.alerts().at(1).identity, QStringLiteral("driveTime|100|7|%1|infeasible").arg(11 * kMin));
        QCOMPARE(engine.alerts().at(2).identity, QStringLiteral("driveTime|200|7|0|infeasible"));
    }

    // No drive-time panel exists here: the provider's monitor raises the
    // alerts of a followed car on its own, on the rules it was handed.
    void monitorRunsWithoutPanel()
    {
        SessionClock::setClock(&testClock);
        DriveTimeRules rules;
        rules.limits = limits(0, 0, 60, 0);
        rules.save();
        auto provider = makeTestProvider();
        mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), true);
        // Ann drove 0-55; Bob is in since 56.
        addStint(*provider, 1, 1, "TRACK", 0, 55);
        addStint(*provider, 2, 2, "PIT", 55, 56);
        addStint(*provider, 3, 2, "TRACK", 56, -1);
        const QVector<TeamAlert>& alerts = provider->teamAlerts()->alerts();
        g_now = 112 * kMin;
        // In practice the same spell raises nothing.
        V2_Data* info = mirrorNode(*provider, QStringLiteral("timing.session.info"));
        info->insertData(QStringLiteral("type"), QStringLiteral("PRACTICE"));
        provider->setCarToFollow(1, QStringLiteral("7"));
        QTest::qWait(300);
        QCOMPARE(alerts.size(), 0);
        QVERIFY(!provider->driveTimeMonitor()->isChecking());
        info->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
        provider->driveTimeMonitor()->setRules(rules);
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), 1, 2000);
        QCOMPARE(alerts.at(0).identity, QStringLiteral("driveTime|7|2|%1|continuous-5min").arg(56 * kMin));
        // The running spell is followed with no notification.
        g_now = 115 * kMin + 30000;
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), 2, 3000);
        QCOMPARE(alerts.at(1).identity, QStringLiteral("driveTime|7|2|%1|continuous-1min").arg(56 * kMin));
        // Rules set in the dialog reach it: a maximum Bob is now near (Ann is not).
        rules.limits.maxTotalMs = 66 * kMin;
        provider->driveTimeMonitor()->setRules(rules);
        QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), 3, 2000);
        QCOMPARE(alerts.at(2).identity, QStringLiteral("driveTime|7|2|total-near"));
        SessionClock::setClock(nullptr);
    }

private:
    QTemporaryDir m_config;
};

QTEST_GUILESS_MAIN(TestDriveTime)
#include "tst_drivetime.moc"
