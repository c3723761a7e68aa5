#include "SessionClock.h"
#include "TestSettings.h"
#include "TimeOfDay.h"

#include <QtTest>

namespace {

// The track's "now" in these tests: 1 Jan 2026 12:00:00.250 UTC.
constexpr qint64 kNow = Q_INT64_C(1767268800250);
qint64 g_now = kNow;
qint64 fixedClock()
{
    return g_now;
}

// A day time received at a moment: both as milliseconds after kNow.
struct Stamp {
    qint64 at;
    qint64 lead;
    bool justHappened;
};
using Stamps = QVector<Stamp>;

// One stamp a period for a span, its lead a function of the time received.
template<typename Lead>
Stamps every(qint64 period, qint64 from, qint64 to, Lead lead)
{
    Stamps stamps;
    for (qint64 at = from; at <= to; at += period)
        stamps.append({at, lead(at), true});
    return stamps;
}

} // namespace

Q_DECLARE_METATYPE(Stamps)

class TestSessionClock final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanupTestCase();
    void formatDuration_data();
    void formatDuration();
    void formatTime_data();
    void formatTime();
    void finalTypes_data();
    void finalTypes();
    void elapsed_data();
    void elapsed();
    void remaining_data();
    void remaining();
    void trackTime();
    void serverNow_data();
    void serverNow();
    void timesOfDayAcrossZoneChanges_data();
    void timesOfDayAcrossZoneChanges();

private:
    TestSettings m_settings;
};

void TestSessionClock::init()
{
    g_now = kNow;
    SessionClock::reset();
    SessionClock::setClock(&fixedClock);
}

void TestSessionClock::cleanupTestCase()
{
    SessionClock::setClock(nullptr);
}

void TestSessionClock::formatDuration_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("showHours");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << false << "00:00";
    QTest::newRow("309 s") << 309 << false << "05:09";
    QTest::newRow("309 s with hours") << 309 << true << "00:05:09";
    QTest::newRow("3909 s") << 3909 << false << "1:05:09";
    QTest::newRow("3909 s with hours") << 3909 << true << "01:05:09";
    QTest::newRow("negative") << -5 << false << "00:00";
    QTest::newRow("a day and more") << 90061 << false << "25:01:01";
}

void TestSessionClock::formatDuration()
{
    QFETCH(int, seconds);
    QFETCH(bool, showHours);
    QFETCH(QString, text);
    QCOMPARE(SessionClock::formatDuration(seconds, showHours), text);
}

void TestSessionClock::formatTime_data()
{
    QTest::addColumn<quint64>("ms");
    QTest::addColumn<bool>("plusSign");
    QTest::addColumn<int>("precision");
    QTest::addColumn<bool>("showZero");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero hidden") << quint64(0) << false << 3 << false << "";
    QTest::newRow("zero shown") << quint64(0) << false << 3 << true << "0.000";
    QTest::newRow("lap") << quint64(83456) << false << 3 << false << "1:23.456";
    QTest::newRow("gap, tenths") << quint64(9870) << true << 1 << false << "+9.8";
    QTest::newRow("hours, no fraction") << quint64(3723004) << false << 0 << false << "1:02:03";
    QTest::newRow("one minute") << quint64(61000) << false << 3 << false << "1:01.000";
    QTest::newRow("one minute, precision 0") << quint64(61000) << false << 0 << false << "1:01";
    QTest::newRow("hundredths") << quint64(61234) << false << 2 << false << "1:01.23";
    QTest::newRow("precision clamped high") << quint64(61234) << false << 9 << false << "1:01.234";
    QTest::newRow("precision clamped low") << quint64(61234) << false << -3 << false << "1:01";
    QTest::newRow("no time") << quint64(Q_UINT64_C(0xFFFFFFFFFFFFFFFF)) << true << 3 << true << "";
    QTest::newRow("negative as unsigned") << quint64(Q_UINT64_C(0x8000000000000000)) << false << 3 << true << "";
    QTest::newRow("wraps at a day") << quint64(86400000 + 1500) << false << 3 << false << "1.500";
}

void TestSessionClock::formatTime()
{
    QFETCH(quint64, ms);
    QFETCH(bool, plusSign);
    QFETCH(int, precision);
    QFETCH(bool, showZero);
    QFETCH(QString, text);
    QCOMPARE(SessionClock::formatTime(ms, plusSign, precision, showZero), text);
}

void TestSessionClock::finalTypes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::newRow("by time") << "BY_TIME" << 1;
    QTest::newRow("by laps") << "BY_LAPS" << 2;
    QTest::newRow("laps with max time") << "BY_LAPS_WITH_MAX_TIME" << 3;
    QTest::newRow("time plus laps") << "BY_TIME_PLUS_LAPS" << 4;
    QTest::newRow("lower case") << "by_time" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("unknown") << "BY_DISTANCE" << 0;
}

void TestSessionClock::finalTypes()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    SessionClock::setFinalType(text);
    QCOMPARE(SessionClock::finalType(), type);
}

void TestSessionClock::elapsed_data()
{
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("running");
    QTest::addColumn<qint64>("startOffset"); // start time relative to now, seconds
    QTest::addColumn<qint64>("stopOffset");
    QTest::addColumn<qint64>("stopped");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("running") << false << true << qint64(-309) << qint64(0) << qint64(0) << 309 << "05:09";
    QTest::newRow("running, red flag time taken off") << false << true << qint64(-3909) << qint64(0) << qint64(600) << 3309 << "55:09";
    QTest::newRow("stopped") << false << false << qint64(-4000) << qint64(-91) << qint64(0) << 3909 << "1:05:09";
    QTest::newRow("closed") << true << true << qint64(-4000) << qint64(0) << qint64(0) << 0 << "";
    QTest::newRow("start in the future") << false << true << qint64(60) << qint64(0) << qint64(0) << -60 << "00:00";
}

void TestSessionClock::elapsed()
{
    QFETCH(bool, closed);
    QFETCH(bool, running);
    QFETCH(qint64, startOffset);
    QFETCH(qint64, stopOffset);
    QFETCH(qint64, stopped);
    QFETCH(int, seconds);
    QFETCH(QString, text);
    const qint64 nowSeconds = kNow / 1000;
    SessionClock::setClosed(closed);
    SessionClock::setRunning(running);
    SessionClock::setStartTime(nowSeconds + startOffset);
    SessionClock::setStopTime(stopOffset ? nowSeconds + stopOffset : 0);
    SessionClock::setStoppedSeconds(stopped);
    QCOMPARE(SessionClock::elapsedSeconds(), seconds);
    QCOMPARE(SessionClock::elapsedText(), text);
}

void TestSessionClock::remaining_data()
{
    QTest::addColumn<QString>("finalType");
    QTest::addColumn<int>("finalTime");
    QTest::addColumn<int>("finalLaps");
    QTest::addColumn<int>("elapsedLaps");
    QTest::addColumn<int>("lapsAfterTime");
    QTest::addColumn<bool>("timeFinished");
    QTest::addColumn<bool>("forcedByTime");
    QTest::addColumn<bool>("forcedLastLap");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QString>("text");
    // The session has been running for 1000 s.
    QTest::newRow("by time") << "BY_TIME" << 1754 << -1 << 5 << -1 << false << false << false << false << "12:34";
    QTest::newRow("by time, forced last lap") << "BY_TIME" << 1754 << -1 << 5 << -1 << false << false << true << false << "LAST LAP";
    QTest::newRow("by time, past the end") << "BY_TIME" << 900 << -1 << 5 << -1 << false << false << false << false << "00:00";
    QTest::newRow("by time, closed") << "BY_TIME" << 1754 << -1 << 5 << -1 << false << false << false << true << "00:00";
    QTest::newRow("by time, closed, last lap") << "BY_TIME" << 1754 << -1 << 5 << -1 << false << false << true << true << "LAST LAP";
    QTest::newRow("by laps, 19 of 20") << "BY_LAPS" << 0 << 20 << 19 << -1 << false << false << false << false << "LAST LAP";
    QTest::newRow("by laps, 18 of 20") << "BY_LAPS" << 0 << 20 << 18 << -1 << false << false << false << false << "2 LAPS";
    QTest::newRow("by laps, 20 of 20") << "BY_LAPS" << 0 << 20 << 20 << -1 << false << false << false << false << "FINISH";
    QTest::newRow("by laps, 21 of 20") << "BY_LAPS" << 0 << 20 << 21 << -1 << false << false << false << false << "FINISH";
    QTest::newRow("max time, laps to go") << "BY_LAPS_WITH_MAX_TIME" << 1754 << 20 << 17 << -1 << false << false << false << false << "3 LAPS";
    QTest::newRow("max time, forced by time") << "BY_LAPS_WITH_MAX_TIME" << 1754 << 20 << 17 << -1 << false << true << false << false << "12:34";
    QTest::newRow("max time, forced, last lap") << "BY_LAPS_WITH_MAX_TIME" << 1754 << 20 << 17 << -1 << false << true << true << false << "LAST LAP";
    QTest::newRow("max time, done") << "BY_LAPS_WITH_MAX_TIME" << 1754 << 20 << 20 << -1 << false << false << false << false << "FINISH";
    QTest::newRow("max time, closed") << "BY_LAPS_WITH_MAX_TIME" << 1754 << 20 << 17 << -1 << false << false << false << true << "FINISH";
    QTest::newRow("time plus one lap") << "BY_TIME_PLUS_LAPS" << 1754 << 1 << 5 << -1 << false << false << false << false << "12:34 + 1 Lap";
    QTest::newRow("time plus two laps") << "BY_TIME_PLUS_LAPS" << 1754 << 2 << 5 << -1 << false << false << false << false << "12:34 + 2 Laps";
    QTest::newRow("time plus no laps") << "BY_TIME_PLUS_LAPS" << 1754 << 0 << 5 << -1 << false << false << false << false << "12:34";
    QTest::newRow("time finished, last lap") << "BY_TIME_PLUS_LAPS" << 1754 << 1 << 5 << 0 << true << false << false << false << "LAST LAP";
    QTest::newRow("time finished, 3 to go") << "BY_TIME_PLUS_LAPS" << 1754 << 3 << 5 << 0 << true << false << false << false << "3 LAPS";
    QTest::newRow("time finished, done") << "BY_TIME_PLUS_LAPS" << 1754 << 2 << 5 << 2 << true << false << false << false << "FINISH";
    QTest::newRow("unknown type") << "BY_DISTANCE" << 1754 << 2 << 5 << -1 << false << false << false << false << "";
}

void TestSessionClock::remaining()
{
    QFETCH(QString, finalType);
    QFETCH(int, finalTime);
    QFETCH(int, finalLaps);
    QFETCH(int, elapsedLaps);
    QFETCH(int, lapsAfterTime);
    QFETCH(bool, timeFinished);
    QFETCH(bool, forcedByTime);
    QFETCH(bool, forcedLastLap);
    QFETCH(bool, closed);
    QFETCH(QString, text);
    const qint64 nowSeconds = kNow / 1000;
    SessionClock::setFinalType(finalType);
    SessionClock::setFinalTime(finalTime);
    SessionClock::setFinalLaps(finalLaps);
    SessionClock::setElapsedLaps(elapsedLaps);
    SessionClock::setElapsedLapsAfterTimeFinish(lapsAfterTime);
    SessionClock::setTimeFinished(timeFinished);
    SessionClock::setForcedByTime(forcedByTime);
    SessionClock::setForcedLastLap(forcedLastLap);
    SessionClock::setClosed(closed);
    SessionClock::setRunning(true);
    SessionClock::setStartTime(nowSeconds - 1000);
    SessionClock::setStopTime(nowSeconds); // read when closed
    QCOMPARE(SessionClock::remainingText(), text);
}

void TestSessionClock::trackTime()
{
    // Before any status: nothing to show.
    QCOMPARE(SessionClock::remainingText(), QString());
    QCOMPARE(SessionClock::elapsedSeconds(), 0);
    QCOMPARE(SessionClock::trackTimeMs(), kNow);
    SessionClock::setUtcOffset(2 * 3600 * 1000);
    QCOMPARE(SessionClock::trackTimeMs(), kNow + 2 * 3600 * 1000);
    QCOMPARE(SessionClock::trackDateTime().toMSecsSinceEpoch(), kNow + 2 * 3600 * 1000);
    // Elapsed time runs on the track's clock, like the start time the server sends.
    SessionClock::setRunning(true);
    SessionClock::setStartTime((kNow + 2 * 3600 * 1000) / 1000 - 42);
    QCOMPARE(SessionClock::elapsedSeconds(), 42);
}

// Stamps received at kNow (a list of ms ahead of it), then the clock moves
// on by a minute: "now" on the server's clock.
void TestSessionClock::serverNow_data()
{
    QTest::addColumn<Stamps>("stamps");
    QTest::addColumn<qint64>("lead");
    const qint64 week = 7LL * 24 * 3600 * 1000;
    QTest::newRow("no stamp") << Stamps{} << Q_INT64_C(0);
    QTest::newRow("stamps in the past") << Stamps{{0, -5000, true}, {0, -200, true}} << Q_INT64_C(0);
    QTest::newRow("a simulator ahead") << Stamps{{0, 40000, true}} << Q_INT64_C(40000);
    QTest::newRow("the newest counts, not the last") << Stamps{{0, 90000, true}, {0, 30000, true}, {0, -1000, true}} << Q_INT64_C(90000);
    QTest::newRow("a week ahead is a fault") << Stamps{{0, week + 1, true}} << Q_INT64_C(0);
    QTest::newRow("one stamp 2 h ahead ages out") << Stamps{{0, 7200000, true}} + every(10000, 10000, 120000, [](qint64) { return 10000; })
                                                   << Q_INT64_C(10000);
    QTest::newRow("still within the minute") << Stamps{{0, 7200000, true}} + every(10000, 10000, 60000, [](qint64) { return 10000; })
                                              << Q_INT64_C(7200000);
    QTest::newRow("a server on time, stamps 25 s late") << every(5000, 0, 180000, [](qint64) { return -25000; }) << Q_INT64_C(0);
    QTest::newRow("one stamp of long ago among fresh ones") << every(5000, 0, 180000, [](qint64 at) { return at == 180000 ? -600000 : -2000; })
                                                          << Q_INT64_C(0);
    QTest::newRow("a server at half pace") << every(1000, 0, 180000, [](qint64 at) { return -at / 2; }) << Q_INT64_C(-90000);
    QTest::newRow("an old replay") << every(1000, 0, 5000, [](qint64 at) { return at - 3 * 24 * 3600 * 1000LL; }) << Q_INT64_C(-259195000);
    QTest::newRow("a snapshot's old stamps") << Stamps{{0, -600000, false}, {0, -700000, false}} << Q_INT64_C(0);
    QTest::newRow("a snapshot of a server ahead") << Stamps{{0, 50000, false}} << Q_INT64_C(50000);
}

void TestSessionClock::serverNow()
{
    QFETCH(Stamps, stamps);
    QFETCH(qint64, lead);
    for (const Stamp& stamp : stamps) {
        g_now = kNow + stamp.at;
        SessionClock::noteServerTime(g_now + stamp.lead, stamp.justHappened);
    }
    QCOMPARE(SessionClock::serverNowMs() - SessionClock::nowMs(), lead);
    // Between stamps the server's clock runs at ours.
    g_now += 700;
    QCOMPARE(SessionClock::serverNowMs() - SessionClock::nowMs(), lead);
    // Another session, or another clock, forgets the lead.
    SessionClock::forgetServerLead();
    QCOMPARE(SessionClock::serverNowMs(), g_now);
    SessionClock::noteServerTime(g_now + 5000);
    SessionClock::setClock(&fixedClock);
    QCOMPARE(SessionClock::serverNowMs(), g_now);
}

void TestSessionClock::timesOfDayAcrossZoneChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("utcMs");
    QTest::addColumn<QString>("shown");
    // Zones written out, so that no zone database is needed.
    const QByteArray berlin = "CET-1CEST,M3.5.0,M10.5.0/3";
    const QByteArray stJohns = "NST3:30NDT,M3.2.0,M11.1.0";
    QTest::newRow("UTC") << QByteArray("UTC") << Q_INT64_C(1774745999123) << QStringLiteral("00:59:59.123");
    QTest::newRow("Berlin, last second of winter time") << berlin << Q_INT64_C(1774745999000) << QStringLiteral("01:59:59.000");
    QTest::newRow("Berlin, first second of summer time") << berlin << Q_INT64_C(1774746000000) << QStringLiteral("03:00:00.000");
    QTest::newRow("Berlin, back to winter time") << berlin << Q_INT64_C(1792890000000) << QStringLiteral("02:00:00.000");
    QTest::newRow("Berlin, the hour before it") << berlin << Q_INT64_C(1792889999000) << QStringLiteral("02:59:59.000");
    QTest::newRow("St John's, half an hour off, before") << stJohns << Q_INT64_C(1772947799000) << QStringLiteral("01:59:59.000");
    QTest::newRow("St John's, after") << stJohns << Q_INT64_C(1772947800000) << QStringLiteral("03:00:00.000");
}

// Times of day in the computer's time, across its zone's changes of offset.
void TestSessionClock::timesOfDayAcrossZoneChanges()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, utcMs);
    QFETCH(QString, shown);
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray before = qgetenv("TZ");
    qputenv("TZ", zone);
    TimeOfDay::setZone(TimeOfDay::ComputerTime);
    const QString text = TimeOfDay::text(utcMs, QStringLiteral("HH:mm:ss.zzz"));
    if (hadZone)
        qputenv("TZ", before);
    else
        qunsetenv("TZ");
    QCOMPARE(text, shown);
}

QTEST_GUILESS_MAIN(TestSessionClock)
#include "tst_sessionclock.moc"
