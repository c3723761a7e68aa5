#include "BroadcastDelay.h"
#include "ClientV2Controller.h"
#include "ConnectionWatch.h"
#include "RelayNotice.h"
#include "ScriptedServer.h"
#include "SessionClock.h"
#include "SessionRecorder.h"
#include "TestSettings.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// The wall clock of these tests: 1 Jan 2026 12:00:00 UTC plus g_offset.
constexpr qint64 kStart = Q_INT64_C(1767268800000);
qint64 g_offset = 0;
qint64 testClock()
{
    return kStart + g_offset;
}

// The provider's controller logged in to a scripted server, its delay and the session
// clock on the test clock; every line handed to the client is noted as
// "<n>@<ms>" from its one top-level key "l<n>".
struct Link {
    Link()
        : server(true)
        , provider(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"), 0, QStringLiteral("pw"),
                   QStringLiteral("user"), QStringLiteral("127.0.0.1"), false)
        , controller(*provider.controller())
    {
        g_offset = 0;
        SessionClock::reset();
        SessionClock::setClock(&testClock);
        controller.delay()->setClock(&testClock);
        controller.setPort(server.start());
        QObject::connect(&controller, &V2_Client::onChannelChange, [this](const QSet<QString>& keys) {
            QStringList sorted = keys.values();
            sorted.sort();
            for (const QString& key : qAsConst(sorted)) {
                if (key.startsWith(QLatin1Char('l')))
                    delivered.append(QStringLiteral("%1@%2").arg(key.mid(1)).arg(g_offset));
            }
            if (!sorted.filter(QRegularExpression(QStringLiteral("^team"))).isEmpty())
                delivered.append(QStringLiteral("team@%1").arg(g_offset));
        });
    }
    ~Link()
    {
        controller.setActive(false);
        SessionClock::setClock(nullptr);
        SessionClock::reset();
    }

    bool login()
    {
        provider.setActive(true);
        return server.waitForClient() && !server.acceptLogin().isEmpty() && QTest::qWaitFor([this] { return controller.loginActive(); }, 5000);
    }

    // Sends line n (with more top-level members, if any) and waits until the
    // client has read it (handled or held).
    bool send(int n, const QString& more = QString())
    {
        return sendLine(QStringLiteral("JSON:1::{\"l%1\":{\"v\":%1}%2}\r\n").arg(n).arg(more).toUtf8());
    }
    bool sendLine(const QByteArray& line)
    {
        QSignalSpy read(&controller, &V2_Client::receivedDataLog);
        server.send(line);
        return read.wait(5000);
    }

    ScriptedServer server;
    V2DataProvider provider;
    ClientV2Controller& controller;
    QStringList delivered;
};

} // namespace

class TestBroadcastDelay final : public QObject
{
    Q_OBJECT

private slots:
    void linesFollowTheDelay_data();
    void linesFollowTheDelay();
    void clockShowsTheDelayedMoment_data();
    void clockShowsTheDelayedMoment();
    void reconnectWhileHeld();
    void staleFollowsThePicture_data();
    void staleFollowsThePicture();
    void recordingTakesLiveLines();
    void delayOption_data();
    void delayOption();

private:
    TestSettings m_settings;
};

void TestBroadcastDelay::linesFollowTheDelay_data()
{
    // Steps "<ms> delay <s>", "<ms> line <n>", "<ms> team" (a line of the team channel), "<ms> tick" (the timer's call
    // at that moment), "<ms> pause" (the connection stopped and started
    // again, as for a prompt) or "<ms> replay on|off"; the lines handed over,
    // "<n>@<ms>", in order.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("delivered");
    QTest::newRow("no delay") << QStringList{"0 line 1", "500 line 2"} << QStringList{"1@0", "2@500"};
    QTest::newRow("held 30 s") << QStringList{"0 delay 30", "0 line 1", "1000 line 2", "29999 tick", "30000 tick", "30999 tick", "31000 tick"}
                               << QStringList{"1@30000", "2@31000"};
    QTest::newRow("raised while held") << QStringList{"0 delay 10", "0 line 1", "5000 line 2", "8000 delay 20", "10000 tick", "19999 tick", "20000 tick",
                                                      "24000 tick", "25000 tick"}
                                       << QStringList{"1@20000", "2@25000"};
    QTest::newRow("lowered catches up in order") << QStringList{"0 delay 60", "0 line 1", "10000 line 2", "20000 line 3", "30000 delay 15", "34999 tick",
                                                                "35000 tick"}
                                                 << QStringList{"1@30000", "2@30000", "3@35000"};
    QTest::newRow("lowered to live") << QStringList{"0 delay 60", "0 line 1", "10000 line 2", "20000 delay 0", "21000 line 3"}
                                     << QStringList{"1@20000", "2@20000", "3@21000"};
    QTest::newRow("raised from live") << QStringList{"0 line 1", "1000 delay 5", "1000 line 2", "2000 line 3", "5999 tick", "6000 tick", "7000 tick"}
                                      << QStringList{"1@0", "2@6000", "3@7000"};
    QTest::newRow("a pause holds on") << QStringList{"0 delay 10", "0 line 1", "3000 pause", "9999 tick", "10000 tick"} << QStringList{"1@10000"};
    // The team's shared follows are no race timing; a connection's first line is held whatever it holds.
    QTest::newRow("team lines pass") << QStringList{"0 line 1", "0 delay 30", "0 line 2", "1000 team", "29999 tick", "30000 tick"}
                                     << QStringList{"1@0", "team@1000", "2@30000"};
    QTest::newRow("team lines wait behind a first line") << QStringList{"0 delay 10", "0 line 1", "1000 team", "9999 tick", "10000 tick", "11000 tick"}
                                                         << QStringList{"1@10000", "team@10000"};
    // Team lines keep their order behind a first line, and go with it: never chained a delay behind one another.
    QTest::newRow("team lines keep their order") << QStringList{"0 delay 10", "0 line 1", "1000 team", "9000 team", "10000 tick", "10500 team"}
                                                 << QStringList{"1@10000", "team@10000", "team@10000", "team@10500"};
    QTest::newRow("a first team line is held") << QStringList{"0 delay 10", "0 team", "9999 tick", "10000 tick"} << QStringList{"team@10000"};
    QTest::newRow("a replay shows what is held") << QStringList{"0 delay 10", "0 line 1", "3000 replay on", "4000 replay off", "4000 line 2", "13999 tick",
                                                                "14000 tick"}
                                                 << QStringList{"1@3000", "2@14000"};
}

void TestBroadcastDelay::linesFollowTheDelay()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, delivered);
    Link link;
    QVERIFY(link.login());
    for (const QString& step : steps) {
        const QStringList parts = step.split(QLatin1Char(' '));
        g_offset = parts.at(0).toLongLong();
        if (parts.at(1) == QLatin1String("delay"))
            link.controller.delay()->setSeconds(parts.at(2).toInt());
        else if (parts.at(1) == QLatin1String("line"))
            QVERIFY(link.send(parts.at(2).toInt()));
        else if (parts.at(1) == QLatin1String("team"))
            QVERIFY(link.sendLine("JSON:1::{\"team\":{\"follow\":{\"1\":{\"car\":\"" + parts.at(0).toUtf8() + "\"}}}}\r\n"));
        else if (parts.at(1) == QLatin1String("pause")) {
            link.provider.setActive(false);
            QVERIFY(link.login());
        } else if (parts.at(1) == QLatin1String("replay"))
            link.controller.delay()->setLive(parts.at(2) == QLatin1String("off"));
        else
            link.controller.delay()->deliverDue();
    }
    QCOMPARE(link.delivered, delivered);
}

void TestBroadcastDelay::clockShowsTheDelayedMoment_data()
{
    // Steps "<ms> delay <s>"; then the track's time read at a moment, ms after the start.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<qint64>("readAt");
    QTest::addColumn<qint64>("shows");
    QTest::newRow("live") << QStringList{} << qint64(40000) << qint64(40000);
    QTest::newRow("30 s behind") << QStringList{"0 delay 30"} << qint64(40000) << qint64(10000);
    // Raised, the picture stands still until the delay is reached.
    QTest::newRow("raised: still") << QStringList{"10000 delay 30"} << qint64(25000) << qint64(10000);
    QTest::newRow("raised: reached") << QStringList{"10000 delay 30"} << qint64(45000) << qint64(15000);
    QTest::newRow("lowered: at once") << QStringList{"0 delay 60", "70000 delay 20"} << qint64(70000) << qint64(50000);
}

void TestBroadcastDelay::clockShowsTheDelayedMoment()
{
    QFETCH(QStringList, steps);
    QFETCH(qint64, readAt);
    QFETCH(qint64, shows);
    Link link;
    SessionClock::setUtcOffset(3600000);
    for (const QString& step : steps) {
        const QStringList parts = step.split(QLatin1Char(' '));
        g_offset = parts.at(0).toLongLong();
        link.controller.delay()->setSeconds(parts.at(2).toInt());
    }
    g_offset = readAt;
    QCOMPARE(SessionClock::trackTimeMs(), kStart + shows + 3600000);
    QCOMPARE(SessionClock::serverNowMs(), kStart + shows);
    // The computer's own clock is not delayed.
    QCOMPARE(SessionClock::nowMs(), kStart + readAt);
}

void TestBroadcastDelay::reconnectWhileHeld()
{
    Link link;
    QVERIFY(link.login());
    link.controller.delay()->setSeconds(10);
    // Three cars before the outage, two in the new connection's snapshot, one session.
    const QString standings = QStringLiteral(",\"timing\":{\"session\":{\"info\":{\"sessionDbId\":5},\"standings\":{\"overall\":{\"active\":{%1}}}}}");
    QVERIFY(link.send(1, standings.arg(QStringLiteral("\"1\":{\"n\":7},\"2\":{\"n\":8},\"3\":{\"n\":9}"))));
    link.server.closeClient();
    QVERIFY(link.server.waitForClient(10000));
    QVERIFY(!link.server.acceptLogin().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(link.controller.loginActive(), 5000);
    g_offset = 1000;
    QVERIFY(link.send(2, standings.arg(QStringLiteral("\"1\":{\"n\":8},\"2\":{\"n\":9}"))));
    QSignalSpy whole(&link.controller, &ClientV2Controller::standingsOverall);
    // The last connection's line shows at its time, merged as before...
    g_offset = 10000;
    link.controller.delay()->deliverDue();
    QCOMPARE(link.controller.getCurrentData()->datas()->keys(), QStringList({"l1", "timing"}));
    // ...and the new connection's first line replaces the mirror when its
    // time comes, the standings read whole so that car 9's old third place goes.
    whole.clear();
    g_offset = 11000;
    link.controller.delay()->deliverDue();
    QCOMPARE(link.controller.getCurrentData()->datas()->keys(), QStringList({"l2", "timing"}));
    QCOMPARE(whole.count(), 1);
    QCOMPARE(link.delivered, QStringList({"1@10000", "1@11000", "2@11000"}));
}

void TestBroadcastDelay::staleFollowsThePicture_data()
{
    // A line at 0; at 2000 the connection drops (or a team relay says it
    // lost its server); at 13000 the reconnect's first line (or the relay's
    // "back" notice, then a line).
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("relay");
    QTest::addColumn<QStringList>("marks");
    QTest::newRow("live") << 0 << false << QStringList{"stale@2000", "live@13000"};
    QTest::newRow("held 10 s") << 10 << false << QStringList{"stale@12000", "live@23000"};
    QTest::newRow("relay, live") << 0 << true << QStringList{"stale@2000", "live@13000"};
    QTest::newRow("relay, held 10 s") << 10 << true << QStringList{"stale@12000", "live@23000"};
}

void TestBroadcastDelay::staleFollowsThePicture()
{
    QFETCH(int, delay);
    QFETCH(bool, relay);
    QFETCH(QStringList, marks);
    Link link;
    ConnectionWatch watch(&link.controller);
    const auto notice = [&link](const QString& reason) {
        return link.sendLine((V2_message::errorLine(QString(), QStringLiteral("relay"), reason) + QStringLiteral("\r\n")).toUtf8());
    };
    QStringList seen;
    connect(&watch, &ConnectionWatch::staleChanged, [&seen](bool stale) { seen.append(QStringLiteral("%1@%2").arg(stale ? "stale" : "live").arg(g_offset)); });
    QVERIFY(link.login());
    link.controller.delay()->setSeconds(delay);
    QVERIFY(link.send(1));
    g_offset = 2000;
    if (relay) {
        QVERIFY(notice(relayUpstreamLostReason()));
    } else {
        QSignalSpy lost(&link.controller, &V2_Client::onDisconnected);
        link.server.closeClient();
        QVERIFY(lost.wait(5000));
    }
    // The picture still shows the line held before, then the loss.
    for (const qint64 at : {10000, 11999, 12000}) {
        g_offset = at;
        link.controller.delay()->deliverDue();
    }
    g_offset = 13000;
    if (relay) {
        QVERIFY(notice(relayUpstreamBackReason()));
    } else {
        // Reconnected at once rather than at the client's next check.
        link.provider.setActive(false);
        QVERIFY(link.login());
    }
    QVERIFY(link.send(2));
    for (const qint64 at : {22999, 23000}) {
        g_offset = at;
        link.controller.delay()->deliverDue();
    }
    QCOMPARE(seen, marks);
}

void TestBroadcastDelay::recordingTakesLiveLines()
{
    Link link;
    QVERIFY(link.login());
    link.controller.delay()->setSeconds(30);
    QVERIFY(link.send(1));
    SessionRecorder recorder(&link.controller);
    QString error;
    QVERIFY2(recorder.start(m_settings.filePath(QStringLiteral("delayed.rec")), &error), qPrintable(error));
    // The line held when the recording began is in it, and so is one arriving after.
    QCOMPARE(recorder.records(), qint64(1));
    QVERIFY(link.send(2));
    QCOMPARE(recorder.records(), qint64(2));
    QVERIFY(link.delivered.isEmpty());
    QCOMPARE(link.controller.delay()->heldCount(), 2);
    recorder.stop();
}

void TestBroadcastDelay::delayOption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("seconds");
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("45") << "45" << true << 45;
    QTest::newRow("most") << "300" << true << 300;
    QTest::newRow("too long") << "301" << false << 0;
    QTest::newRow("negative") << "-5" << false << 0;
    QTest::newRow("fraction") << "2.5" << false << 0;
    QTest::newRow("word") << "half" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
}

void TestBroadcastDelay::delayOption()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, seconds);
    int parsed = -1;
    QString error;
    QCOMPARE(BroadcastDelay::parseSeconds(text, &parsed, &error), ok);
    if (ok) {
        QCOMPARE(parsed, seconds);
    } else {
        QCOMPARE(parsed, -1);
        QVERIFY2(error.contains(QLatin1String("0 to 300")), qPrintable(error));
    }
}

QTEST_GUILESS_MAIN(TestBroadcastDelay)
#include "tst_broadcastdelay.moc"
