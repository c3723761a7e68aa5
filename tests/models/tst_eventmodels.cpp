#include "ModelRaceControlMessage.h"
#include "ModelSessionPitIn.h"
#include "ModelSessionPitOut.h"
#include "ModelSessionStints.h"
#include "ModelTrackLimits.h"
#include "ModelTyresSessionData.h"
#include "SessionClock.h"
#include "TestProvider.h"
#include "TrackLimitSortProxyModel.h"

#include <QAbstractItemModelTester>
#include <QDateTime>
#include <QtTest>

namespace {

constexpr qint64 kMinute = 60000;
// Noon, 1 January 2026, local time: day times read back the same in any zone.
const qint64 kNoon = QDateTime(QDate(2026, 1, 1), QTime(12, 0)).toMSecsSinceEpoch();
qint64 g_now = kNoon;
qint64 testClock()
{
    return g_now;
}

QString text(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

QStringList column(const QAbstractItemModel& model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << text(model, row, column);
    return texts;
}

void addMessage(V2DataProvider& p, const QString& key, qint64 dayTime, const QString& message)
{
    V2_Data* node = mirrorNode(p, QStringLiteral("raceControl.messages.") + key);
    node->insertData(QStringLiteral("dayTime"), quint64(dayTime));
    node->insertData(QStringLiteral("groupText"), QStringLiteral("Info"));
    node->insertData(QStringLiteral("text"), message);
}

void addDriver(V2DataProvider& p, const QString& pNum, int index, const QString& lastName)
{
    mirrorNode(p, QStringLiteral("timing.session.entry.%1.drivers.%2").arg(pNum).arg(index))->insertData(QStringLiteral("lastName"), lastName);
}

void addPit(V2DataProvider& p, const QString& kind, const QString& pNum, qint64 time, int driver, quint64 pitTime = 0)
{
    V2_Data* node = mirrorNode(p, QStringLiteral("timing.analysis.%1.%2.pits.%3").arg(kind, pNum).arg(time));
    node->insertData(QStringLiteral("driver"), driver);
    if (pitTime != 0)
        node->insertData(QStringLiteral("pitTime"), pitTime);
}

struct Stint {
    int driver;
    const char* type;
    qint64 startMinute;
    qint64 finishMinute; // -1: running
    const char* pitType;
};

void setStints(V2DataProvider& p, const QString& pNum, const QVector<Stint>& stints)
{
    for (int i = 0; i < stints.size(); ++i) {
        const Stint& s = stints.at(i);
        V2_Data* node = mirrorNode(p, QStringLiteral("timing.analysis.stints.%1.stints.%2").arg(pNum).arg(i + 1, 3, 10, QLatin1Char('0')));
        node->insertData(QStringLiteral("driver"), s.driver);
        node->insertData(QStringLiteral("type"), QLatin1String(s.type));
        node->insertData(QStringLiteral("pitType"), QLatin1String(s.pitType));
        node->insertData(QStringLiteral("startTime"), quint64(kNoon + s.startMinute * kMinute));
        node->insertData(QStringLiteral("finishTime"), s.finishMinute < 0 ? quint64(0) : quint64(kNoon + s.finishMinute * kMinute));
    }
}

// A data line from the server: car 7 running a stint since `stintStart`
// with lap `lap` done at `lapEnd` (day times).
QByteArray serverLine(int lap, qint64 stintStart, qint64 lapEnd)
{
    return QStringLiteral("JSON:%1::{\"timing\":{\"session\":{\"info\":{\"sessionDbId\":5},"
                          "\"standings\":{\"overall\":{\"participantDetails\":{\"7\":{\"running\":true}}}}},"
                          "\"analysis\":{\"stints\":{\"7\":{\"stints\":{\"001\":{\"driver\":1,\"type\":\"RUN\",\"startTime\":%2,\"finishTime\":0}}}},"
                          "\"laps\":{\"7\":{\"laps\":{\"%1\":{\"startTime\":%3,\"time\":90000}}}}}}}\n")
        .arg(lap)
        .arg(stintStart)
        .arg(lapEnd - 90000)
        .toUtf8();
}

} // namespace

Q_DECLARE_METATYPE(Stint)

class TestEventModels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void raceControl();
    void pitTables();
    void pitDurations_data();
    void pitDurations();
    void trackLimits();
    void tyres();
    void stintTotals_data();
    void stintTotals();
    void runningStintCounts();
    void runningStintOnTheServerClock();
};

void TestEventModels::init()
{
    g_now = kNoon;
    SessionClock::setClock(&testClock);
}

void TestEventModels::cleanup()
{
    SessionClock::setClock(nullptr);
}

void TestEventModels::raceControl()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mirrorNode(p, QStringLiteral("timing.session.status"))->insertData(QStringLiteral("sessionStartTime"), kNoon);
    addMessage(p, QStringLiteral("1"), kNoon - kMinute, QStringLiteral("before the start"));
    addMessage(p, QStringLiteral("2"), kNoon + kMinute, QStringLiteral("car 7 under investigation"));
    addMessage(p, QStringLiteral("3"), kNoon + 2 * kMinute, QStringLiteral("no further action"));
    ModelRaceControlMessage model(provider.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    emit p.controller()->raceControlMessages();
    // Cleaning on: what came before the session's start is left out.
    QCOMPARE(column(model, ModelRaceControlMessage::Message), QStringList({"car 7 under investigation", "no further action"}));
    QCOMPARE(text(model, 0, ModelRaceControlMessage::Time), QStringLiteral("12:01:00.000"));
    model.setNewestFirst(true);
    QCOMPARE(column(model, ModelRaceControlMessage::Message), QStringList({"no further action", "car 7 under investigation"}));
    model.setNewestFirst(false);
    model.setCleaning(false);
    QCOMPARE(model.rowCount(), 3);
    // A new session: with cleaning off the old messages stay, also after the new session's first message.
    emit p.controller()->cleanAll();
    QCOMPARE(model.rowCount(), 3);
    p.controller()->getCurrentData()->clearData();
    addMessage(p, QStringLiteral("1"), kNoon + 60 * kMinute, QStringLiteral("new session"));
    emit p.controller()->raceControlMessages();
    QCOMPARE(column(model, ModelRaceControlMessage::Message).last(), QStringLiteral("new session"));
    QCOMPARE(model.rowCount(), 4);
    // Kept again while the tree still holds the same message (a login
    // cleaning before the tree is refilled): listed once, not twice.
    emit p.controller()->cleanAll();
    emit p.controller()->raceControlMessages();
    QCOMPARE(column(model, ModelRaceControlMessage::Message),
             QStringList({"before the start", "car 7 under investigation", "no further action", "new session"}));
    // With cleaning on, a new session empties the list.
    model.setCleaning(true);
    emit p.controller()->cleanAll();
    QCOMPARE(model.rowCount(), 0);
}

void TestEventModels::pitTables()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addDriver(p, QStringLiteral("7"), 1, QStringLiteral("Smith"));
    addDriver(p, QStringLiteral("9"), 2, QStringLiteral("Jones"));
    addPit(p, QStringLiteral("pitIn"), QStringLiteral("7"), kNoon + 5 * kMinute, 1);
    addPit(p, QStringLiteral("pitIn"), QStringLiteral("9"), kNoon + 5 * kMinute, 2); // the same moment
    addPit(p, QStringLiteral("pitIn"), QStringLiteral("9"), kNoon + kMinute, 2);
    addPit(p, QStringLiteral("pitOut"), QStringLiteral("7"), kNoon + 6 * kMinute, 1, 65250);
    ModelSessionPitIn in(provider.get(), QStringLiteral("Dark"));
    ModelSessionPitOut out(provider.get(), QStringLiteral("Light"));
    QAbstractItemModelTester tester(&in, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // In time order, stops at the same moment both kept.
    QCOMPARE(column(in, ModelSessionPitIn::Number).first(), QStringLiteral("9"));
    QCOMPARE(in.rowCount(), 3);
    QCOMPARE(QSet<QString>({text(in, 1, 0), text(in, 2, 0)}), QSet<QString>({"7", "9"}));
    QCOMPARE(text(in, 0, ModelSessionPitIn::Name), QStringLiteral("Jones"));
    QCOMPARE(text(in, 0, ModelSessionPitIn::Time), QStringLiteral("12:01:00.000"));
    QCOMPARE(column(out, ModelSessionPitOut::Duration), QStringList({"01:05.250"}));
    QCOMPARE(text(out, 0, ModelSessionPitOut::Fuel), QString());
    QCOMPARE(out.headerData(4, Qt::Horizontal).toString(), QStringLiteral("Fuel"));
    // Colours: the skin's text, then the followed car's colour with dark text.
    const auto colour = [](const QAbstractItemModel& m, int role) { return m.data(m.index(0, 0), role).value<QBrush>().color(); };
    QCOMPARE(colour(in, Qt::ForegroundRole), QColor(220, 220, 220));
    QCOMPARE(colour(out, Qt::ForegroundRole), QColor(22, 22, 22));
    QVERIFY(!in.data(in.index(0, 0), Qt::BackgroundRole).isValid());
    QSignalSpy repainted(&in, &QAbstractItemModel::dataChanged);
    p.setFollowColor(1, QColor(Qt::red));
    p.setCarToFollow(1, QStringLiteral("9"));
    QCOMPARE(repainted.count(), 1);
    QCOMPARE(colour(in, Qt::BackgroundRole), QColor(Qt::red));
    QCOMPARE(colour(in, Qt::ForegroundRole), QColor(22, 22, 22));
    emit p.controller()->cleanAll();
    QCOMPARE(in.rowCount(), 0);
}

void TestEventModels::pitDurations_data()
{
    QTest::addColumn<quint64>("pitTime");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a stop") << quint64(65250) << "01:05.250";
    QTest::newRow("repairs of an hour and more") << quint64(3725000) << "1:02:05.000";
    QTest::newRow("no length sent") << quint64(0) << "";
}

void TestEventModels::pitDurations()
{
    QFETCH(quint64, pitTime);
    QFETCH(QString, shown);
    auto provider = makeTestProvider();
    addPit(*provider, QStringLiteral("pitOut"), QStringLiteral("7"), kNoon, 1, pitTime);
    ModelSessionPitOut out(provider.get(), QStringLiteral("Dark"));
    QCOMPARE(text(out, 0, ModelSessionPitOut::Duration), shown);
}

// A simulator five times faster than real time stamps its day times ahead of
// the wall clock. The running stint counts on the server's clock, advancing
// from the newest day time received; it read 0 against the wall clock.
void TestEventModels::runningStintOnTheServerClock()
{
    auto provider = makeTestProvider();
    ModelSessionStints model(provider.get(), QStringLiteral("Dark"));
    model.setParticipant(QStringLiteral("7"));
    // The wall clock reads noon; the server is at 12:30, the stint began at 12:20.
    provider->controller()->receiveBytes(serverLine(3, kNoon + 20 * kMinute, kNoon + 30 * kMinute));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(text(model, 0, ModelSessionStints::SingleStintTime), QStringLiteral("10:00.000"));
    // At the wall clock's pace between lines ...
    g_now += kMinute;
    QTRY_COMPARE_WITH_TIMEOUT(text(model, 0, ModelSessionStints::SingleStintTime), QStringLiteral("11:00.000"), 3000);
    // ... and from the newest day time when one comes (12:36, five times the wall's minute).
    provider->controller()->receiveBytes(serverLine(4, kNoon + 20 * kMinute, kNoon + 36 * kMinute));
    QTRY_COMPARE_WITH_TIMEOUT(text(model, 0, ModelSessionStints::SingleStintTime), QStringLiteral("16:00.000"), 3000);
}

void TestEventModels::trackLimits()
{
    auto provider = makeTestProvider();
    // Cars 10, 9 and 7 at 12:02, 12:01 and 12:03.
    mergeMirror(*provider, QStringLiteral(R"({"timing":{"session":{"trackLimits":{"1":{"participant":"10","time":%1,"affectedLaps":[12],"trackLimitsName":"Turn 4"},)"
                                          R"("2":{"participant":"9","time":%2,"affectedLaps":[3,4],"trackLimitsName":"Turn 4"},)"
                                          R"("3":{"participant":"7","time":%3,"affectedLaps":[1],"trackLimitsName":"Turn 4"}}}}})")
                               .arg(kNoon + 2 * kMinute)
                               .arg(kNoon + kMinute)
                               .arg(kNoon + 3 * kMinute)
                               .toUtf8());
    ModelTrackLimits model(provider.get());
    QCOMPARE(model.columnCount(), 4);
    QCOMPARE(text(model, 1, ModelTrackLimits::AffectedLaps), QStringLiteral("3, 4"));
    QCOMPARE(text(model, 1, ModelTrackLimits::Time), QStringLiteral("2026/01/01 12:01:00.000"));
    TrackLimitSortProxyModel proxy;
    proxy.setSourceModel(&model);
    proxy.sort(ModelTrackLimits::Time, Qt::AscendingOrder);
    QCOMPARE(column(proxy, ModelTrackLimits::Participant), QStringList({"9", "10", "7"}));
    // Car numbers sort as numbers.
    proxy.sort(ModelTrackLimits::Participant, Qt::AscendingOrder);
    QCOMPARE(column(proxy, ModelTrackLimits::Participant), QStringList({"7", "9", "10"}));
    // The affected laps never reorder the rows.
    proxy.sort(ModelTrackLimits::AffectedLaps, Qt::DescendingOrder);
    QCOMPARE(column(proxy, ModelTrackLimits::Participant), QStringList({"7", "9", "10"}));
}

void TestEventModels::tyres()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"entry":{"10":{"drivers":{"1":{"lastName":"Driver10"}}},"2":{"drivers":{"1":{"lastName":"Driver2"}}}},)"
                   R"("standings":{"overall":{"participantDetails":{"10":{"currentDriver":1},"2":{"currentDriver":1}}}}}},)"
                   R"("tyres":{"session":{"data":{"2":{"frontLeft":{"laps":1,"specification":"Soft"},"frontRight":{"laps":0,"specification":""},)"
                   R"("rearLeft":{"laps":2,"specification":"Medium"}}}}}})");
    ModelTyresSessionData model(provider.get());
    emit p.controller()->tyresDataReceived();
    QCOMPARE(column(model, ModelTyresSessionData::Number), QStringList({"2", "10"}));
    QCOMPARE(text(model, 0, ModelTyresSessionData::Name), QStringLiteral("Driver2"));
    QCOMPARE(text(model, 0, ModelTyresSessionData::FrontLeft), QStringLiteral("1 Lap (Soft)"));
    QCOMPARE(text(model, 0, ModelTyresSessionData::FrontRight), QStringLiteral("0 Lap "));
    QCOMPARE(text(model, 0, ModelTyresSessionData::RearLeft), QStringLiteral("2 Laps (Medium)"));
    QCOMPARE(text(model, 0, ModelTyresSessionData::RearRight), QString());
    QCOMPARE(model.data(model.index(0, ModelTyresSessionData::RearLeft), Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    emit p.controller()->cleanAll();
    QCOMPARE(model.rowCount(), 0);
}

void TestEventModels::stintTotals_data()
{
    QTest::addColumn<QVector<Stint>>("stints");
    QTest::addColumn<QStringList>("sessionAccumulated");
    QTest::addColumn<QStringList>("onTrack");
    QTest::addColumn<QStringList>("singleStint");
    QTest::addColumn<QStringList>("sessionOnTrack");
    QTest::addColumn<QStringList>("pitInfo");
    // One driver: three 20-minute runs around two one-minute stays.
    QTest::newRow("one driver") << QVector<Stint>({{1, "RUN", 0, 20, ""}, {1, "PIT", 20, 21, ""}, {1, "RUN", 21, 41, ""}, {1, "PIT", 41, 42, ""}, {1, "RUN", 42, 62, ""}})
                                << QStringList({"20:00.000", "21:00.000", "41:00.000", "42:00.000", "1:02:00.000"})
                                << QStringList({"20:00.000", "", "40:00.000", "", "1:00:00.000"})
                                << QStringList({"20:00.000", "", "20:00.000", "", "20:00.000"})
                                << QStringList({"20:00.000", "", "40:00.000", "", "1:00:00.000"}) << QStringList({"", "", "", "", ""});
    // Penalty and safety-car stays do not end the fuel stint.
    QTest::newRow("penalty and safety car") << QVector<Stint>({{1, "RUN", 0, 20, ""}, {1, "PIT", 20, 21, "Penalty"}, {1, "RUN", 21, 30, ""}, {1, "PIT", 30, 31, "sc"}})
                                            << QStringList({"20:00.000", "21:00.000", "30:00.000", "31:00.000"})
                                            << QStringList({"20:00.000", "", "29:00.000", ""})
                                            << QStringList({"20:00.000", "21:00.000", "30:00.000", "31:00.000"})
                                            << QStringList({"20:00.000", "", "29:00.000", ""}) << QStringList({"", "Penalty", "", "SC"});
    // Driver 1 comes back after driver 2 and goes on from his own totals.
    QTest::newRow("returning driver") << QVector<Stint>({{1, "RUN", 0, 20, ""}, {2, "RUN", 20, 50, ""}, {1, "RUN", 50, 60, ""}})
                                      << QStringList({"20:00.000", "30:00.000", "30:00.000"})
                                      << QStringList({"20:00.000", "30:00.000", "10:00.000"})
                                      << QStringList({"20:00.000", "50:00.000", "1:00:00.000"})
                                      << QStringList({"20:00.000", "30:00.000", "30:00.000"}) << QStringList({"", "", ""});
    // A driver without a name (index 3 is not in the entry) has no session total.
    QTest::newRow("unnamed driver") << QVector<Stint>({{3, "RUN", 0, 20, ""}}) << QStringList({""}) << QStringList({"20:00.000"})
                                    << QStringList({"20:00.000"}) << QStringList({"20:00.000"}) << QStringList({""});
}

void TestEventModels::stintTotals()
{
    QFETCH(QVector<Stint>, stints);
    QFETCH(QStringList, sessionAccumulated);
    QFETCH(QStringList, onTrack);
    QFETCH(QStringList, singleStint);
    auto provider = makeTestProvider();
    addDriver(*provider, QStringLiteral("7"), 1, QStringLiteral("Smith"));
    addDriver(*provider, QStringLiteral("7"), 2, QStringLiteral("Jones"));
    setStints(*provider, QStringLiteral("7"), stints);
    ModelSessionStints model(provider.get(), QStringLiteral("Dark"));
    model.setParticipant(QStringLiteral("7"));
    QCOMPARE(column(model, ModelSessionStints::SessionAccumTime), sessionAccumulated);
    QCOMPARE(column(model, ModelSessionStints::TrackAccumTime), onTrack);
    QCOMPARE(column(model, ModelSessionStints::SingleStintTime), singleStint);
    QFETCH(QStringList, sessionOnTrack);
    QFETCH(QStringList, pitInfo);
    QCOMPARE(column(model, ModelSessionStints::TrackSessionAccumTime), sessionOnTrack);
    QCOMPARE(column(model, ModelSessionStints::PitType), pitInfo);
}

void TestEventModels::runningStintCounts()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addDriver(p, QStringLiteral("7"), 1, QStringLiteral("Smith"));
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), true);
    setStints(p, QStringLiteral("7"), {{1, "RUN", 0, 20, ""}, {1, "PIT", 20, 21, ""}, {1, "RUN", 21, -1, ""}});
    g_now = kNoon + 31 * kMinute;
    ModelSessionStints model(provider.get(), QStringLiteral("Light"));
    model.setParticipant(QStringLiteral("7"));
    // The open stint counts up to now: 10 minutes on track, 31 in the session.
    QCOMPARE(text(model, 2, ModelSessionStints::FinishTime), QStringLiteral("running"));
    QCOMPARE(text(model, 2, ModelSessionStints::LapFinish), QStringLiteral("--"));
    QCOMPARE(text(model, 2, ModelSessionStints::Time), QString());
    QCOMPARE(text(model, 2, ModelSessionStints::TrackAccumTime), QStringLiteral("30:00.000"));
    QCOMPARE(text(model, 2, ModelSessionStints::SessionAccumTime), QStringLiteral("31:00.000"));
    QCOMPARE(text(model, 2, ModelSessionStints::SingleStintTime), QStringLiteral("10:00.000"));
    // ... and keeps counting with the clock, repainted in place.
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    g_now += kMinute;
    QTRY_COMPARE_WITH_TIMEOUT(text(model, 2, ModelSessionStints::SingleStintTime), QStringLiteral("11:00.000"), 3000);
    QCOMPARE(reset.count(), 0);
    // Colours by skin: track rows light, pit rows plain until followed.
    QCOMPARE(model.data(model.index(0, 0), Qt::BackgroundRole).value<QBrush>().color(), QColor(220, 220, 220));
    QVERIFY(!model.data(model.index(1, 0), Qt::BackgroundRole).isValid());
    p.setFollowColor(0, QColor(Qt::blue));
    p.setCarToFollow(0, QStringLiteral("7"));
    QCOMPARE(model.data(model.index(1, 0), Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::blue));
    // A car that stopped running (its last lap ended at 12:29, the clock
    // reads 12:32) counts its open stint up to the end of that lap. It used
    // to count 0, dropping the final stint from every total after the flag.
    V2_Data* lap = mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.5"));
    lap->insertData(QStringLiteral("startTime"), quint64(kNoon + 27 * kMinute));
    lap->insertData(QStringLiteral("time"), quint64(2 * kMinute));
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.6"))->insertData(QStringLiteral("startTime"), quint64(kNoon + 29 * kMinute)); // never completed
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("running"), false);
    emit p.controller()->analysisStints();
    QCOMPARE(text(model, 2, ModelSessionStints::FinishTime), QStringLiteral("not running"));
    QCOMPARE(text(model, 2, ModelSessionStints::SingleStintTime), QStringLiteral("8:00.000"));
    QCOMPARE(text(model, 2, ModelSessionStints::SessionAccumTime), QStringLiteral("29:00.000"));
    QCOMPARE(text(model, 2, ModelSessionStints::TrackAccumTime), QStringLiteral("28:00.000"));
    QCOMPARE(text(model, 2, ModelSessionStints::TrackSessionAccumTime), QStringLiteral("28:00.000"));
    model.setBikeLayout(true);
    QCOMPARE(model.headerData(ModelSessionStints::Driver, Qt::Horizontal).toString(), QStringLiteral("Rider"));
}

QTEST_MAIN(TestEventModels)
#include "tst_eventmodels.moc"
