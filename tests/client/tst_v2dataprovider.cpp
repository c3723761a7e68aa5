#include "ClientV2Controller.h"
#include "LapTree.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QtTest>

#include <functional>
#include <memory>

using TimingConstants::NO_TIME;

namespace {


constexpr int kIntMax = 2147483647;

// One getter: the node it reads, the field, a value to store there and
// what the getter returns for it, the default (node without the field)
// and the value for a missing node. A few of each kind of value and each
// pair of defaults; the other getters read the same way.
struct GetterRow {
    const char* name;
    const char* node;
    const char* field;
    QVariant stored;
    QVariant expected;
    QVariant defaultValue;
    QVariant missing;
    std::function<QVariant(V2DataProvider&)> read;
};

QVariant u64(quint64 value)
{
    return QVariant::fromValue(value);
}

QVariant i64(qint64 value)
{
    return QVariant::fromValue(value);
}

const QString P = QStringLiteral("7");
const QString K = QStringLiteral("k");
const QString GT = QStringLiteral("GT3");

#define GET(expr) [](V2DataProvider& p) { return QVariant::fromValue(p.expr); }

const QVector<GetterRow>& getterRows()
{
    static const QVector<GetterRow> rows = {
        {"getSessionName", "timing.session.info", "name", "Race 1", "Race 1", "", "", GET(getSessionName())},
        {"getSessionDate", "timing.session.info", "date", i64(1767268800000), i64(1767268800000), i64(0), i64(0), GET(getSessionDate())},
        {"isRace", "timing.session.info", "type", "RACE", true, false, false, GET(isRace())},
        {"isRace lower case", "timing.session.info", "type", "race", false, false, false, GET(isRace())},
        {"getCurrentFlag", "timing.session.status", "currentFlag", "FCY", "FCY", "", "NONE", GET(getCurrentFlag())},
        {"getNumberOfSectors", "timing.session.track.info", "numberOfSectors", 3, 3, 0, 0, GET(getNumberOfSectors())},
        {"getParticipantAtPosition class", "timing.session.standings.byClass.active.GT3.standings.2", "participant", "9", "9", "", "",
         GET(getParticipantAtPosition(2, GT))},
        {"getParticipantAtFinishLinePosition class", "timing.session.standings.byClass.finishLine.GT3.standings.1", "participant", "7", "7", "",
         "", GET(getParticipantAtFinishLinePosition(1, GT))},
        {"getGapFirstLaps absolute", "timing.session.standings.byClass.active.GT3.standings.1", "gapFirstLaps", -2, 2, 0, 0,
         GET(getGapFirstLaps(1, GT))},
        {"getGapPreviousTime", "timing.session.standings.overall.active.3", "gapPreviousTime", 0.5, 0.5, -1.0, -1.0,
         GET(getGapPreviousTime(3, QString()))},
        {"getCurrentLap", "timing.session.standings.overall.participantDetails.7", "currentLap", 5, 5, -1, -1, GET(getCurrentLap(P))},
        {"getPitStops", "timing.session.standings.overall.participantDetails.7", "pitStops", 2, 2, kIntMax, 0, GET(getPitStops(P))},
        {"getLastLapTime", "timing.session.standings.overall.participantDetails.7.lastLap", "time", u64(91000), u64(91000), u64(NO_TIME), u64(0),
         GET(getLastLapTime(P))},
        {"isLastLapValid", "timing.session.standings.overall.participantDetails.7.lastLap", "isValid", false, false, true, true,
         GET(isLastLapValid(P))},
        {"getBestLapTimeOrNone", "timing.session.standings.overall.participantDetails.7.bestLap", "time", u64(90000), u64(90000), u64(NO_TIME),
         u64(NO_TIME), GET(getBestLapTimeOrNone(P))},
        {"getBestLapNumberOrMax", "timing.session.standings.overall.participantDetails.7.bestLap", "number", 3, 3, kIntMax, 0,
         GET(getBestLapNumberOrMax(P))},
        {"getBestSectorTimeOrNone", "timing.session.standings.overall.participantDetails.7.bestSectors.1", "time", u64(30000), u64(30000),
         u64(NO_TIME), u64(NO_TIME), GET(getBestSectorTimeOrNone(P, 1))},
        {"getPitInLapNumber", "timing.analysis.pitIn.7.pits.k", "lapNumber", 12, 12, -1, 0, GET(getPitInLapNumber(P, K))},
        {"getStintDriver", "timing.analysis.stints.7.stints.k", "driver", 2, 2, -1, -1, GET(getStintDriver(P, K))},
        {"getLapSectionDayTime", "timing.analysis.laps.7.laps.3.sections.Ford", "dayTime", u64(9), u64(9), u64(0), u64(0),
         GET(getLapSectionDayTime(P, QStringLiteral("3"), QStringLiteral("Ford")))},
        {"getFlagType", "timing.session.flags.k", "type", "SC", "SC", "NONE", "", GET(getFlagType(K))},
        {"getFlagElapsed", "timing.session.flags.k", "elapsed", i64(600), i64(600), i64(-1), i64(-1), GET(getFlagElapsed(K))},
        {"getPitEntryStatus", "signalling.pitEntry", "status", i64(1), i64(1), i64(0), i64(0), GET(getPitEntryStatus())},
        {"getCurrentAmbientTemperature", "weather.currentData", "ambientTemperature", 21.5, 21.5f, 0.0f, 0.0f,
         GET(getCurrentAmbientTemperature())},
        {"getFastestLapStandingLap", "timing.session.standings.overall.additional.byFastestLap.1", "lap", 4, 4, -1, -1,
         GET(getFastestLapStandingLap(1))},
        {"getSectorStandingGap", "timing.session.standings.overall.additional.bySectorBestTime.3.standings.2", "gap", 0.25, 0.25, -1.0, -1.0,
         GET(getSectorStandingGap(2, 3))},
        {"getCombinedFastestSectorTime", "timing.combined.participantDetails.7.fastestSectors.2", "time", u64(9), u64(9), u64(NO_TIME), u64(0),
         GET(getCombinedFastestSectorTime(P, 2))},
        {"getCombinedSessionResultTime", "timing.combined.participantDetails.7.sessionsResults.2", "time", u64(9), u64(9), u64(0), u64(0),
         GET(getCombinedSessionResultTime(P, 2))},
    };
    return rows;
}

#undef GET

} // namespace

using namespace LapTree;

class TestV2DataProvider final : public QObject
{
    Q_OBJECT

private slots:
    void wholeRebuildsOfOneChunkCoalesce();
    void getters_data();
    void getters();
    void childLists();
    void driverNames_data();
    void driverNames();
    void driverNumbersAndOneLap();
    void participantStatus();
    void classes();
    void trackLimitsOfCurrentLap();
    void getDataIsACopy();
    void relaysAndOrder();
    void pitAndStintLookups();
    void carToFollow();
    void weatherSampling_data();
    void weatherSampling();
    void tyresRefusal_data();
    void tyresRefusal();
    void combinedName();
};
void TestV2DataProvider::getters_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < getterRows().size(); ++i)
        QTest::newRow(getterRows().at(i).name) << i;
}
void TestV2DataProvider::getters()
{
    QFETCH(int, row);
    const GetterRow& getter = getterRows().at(row);
    auto provider = makeTestProvider();
    // Missing node, then node without the field, then the stored value.
    QCOMPARE(getter.read(*provider), getter.missing);
    V2_Data* node = mirrorNode(*provider, QLatin1String(getter.node));
    node->insertData(QStringLiteral("unrelated"), 1);
    QCOMPARE(getter.read(*provider), getter.defaultValue);
    QVariant stored = getter.stored;
    node->insertData(QLatin1String(getter.field), &stored);
    QCOMPARE(getter.read(*provider), getter.expected);
    // A value of the wrong type reads as the default.
    if (getter.stored.userType() != QMetaType::QString) {
        node->insertData(QLatin1String(getter.field), QStringLiteral("text"));
        QCOMPARE(getter.read(*provider), getter.defaultValue);
    }
}
void TestV2DataProvider::childLists()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QCOMPARE(p.getEntryList(), QStringList());
    QCOMPARE(p.getStandingsCount(QString()), 0);
    QCOMPARE(p.getTimingLoopNames(), QStringList());
    mergeMirror(p, R"({"timing":{"session":{"entry":{"7":{},"12":{},"9":{}},"standings":{
        "overall":{"active":{"1":{"participant":"1"},"2":{"participant":"2"},"3":{"participant":"3"}},"finishLine":{"1":{},"2":{},"3":{}}},
        "byClass":{"active":{"GT3":{"standings":{"1":{}}}},"finishLine":{"GT3":{"standings":{"1":{},"2":{}}}}}}}}})");
    QCOMPARE(p.getEntryList(), QStringList({"12", "7", "9"}));
    QCOMPARE(p.getStandingsCount(QString()), 3);
    QCOMPARE(p.getFinishLineStandingsCount(QString()), 3);
    QCOMPARE(p.getStandingsCount(GT), 1);
    QCOMPARE(p.getFinishLineStandingsCount(GT), 2);
    QCOMPARE(p.getStandingsCount(QStringLiteral("GT4")), 0);
    mergeMirror(p, R"({"timing":{"session":{"track":{"info":{"timingLoops":{"1":{"name":"IM1"},"2":{"name":"IM2"}}}},
        "standings":{"overall":{"additional":{"byTopSpeed":{"1":{"speed":300.0}}}}}}}})");
    QCOMPARE(p.getTimingLoopNames(), QStringList({"IM1", "IM2"}));
    // Imperial units convert the top speed standings.
    p.setUsaUnits(true);
    QVERIFY(qAbs(p.getTopSpeedStandingSpeed(1) - 186.4113) < 1e-9);
}
void TestV2DataProvider::driverNames_data()
{
    QTest::addColumn<QString>("firstName");
    QTest::addColumn<QString>("lastName");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    QTest::newRow("initial") << "Alex" << "Smith" << 1 << "A. Smith";
    QTest::newRow("no first name") << "" << "Zorer" << 1 << "Zorer";
    QTest::newRow("case kept") << "vivozoriv" << "Zorer" << 1 << "v. Zorer";
    QTest::newRow("no such driver") << "Alex" << "Smith" << 2 << "";
    QTest::newRow("index -1") << "Alex" << "Smith" << -1 << "";
}
void TestV2DataProvider::driverNames()
{
    QFETCH(QString, firstName);
    QFETCH(QString, lastName);
    QFETCH(int, index);
    QFETCH(QString, expected);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QCOMPARE(p.getDriverName(P, 1), QString());
    V2_Data* driver = mirrorNode(p, QStringLiteral("timing.session.entry.7.drivers.1"));
    if (!firstName.isEmpty())
        driver->insertData(QStringLiteral("firstName"), firstName);
    driver->insertData(QStringLiteral("lastName"), lastName);
    QCOMPARE(p.getDriverName(P, index), expected);

    // Current driver, best-lap driver, pit and stint drivers name the same way.
    QCOMPARE(p.getCurrentDriverName(P), QString());
    V2_Data* details = mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"));
    QCOMPARE(p.getCurrentDriverName(P), QString());
    details->insertData(QStringLiteral("currentDriver"), index);
    QCOMPARE(p.getCurrentDriverName(P), expected);
    QCOMPARE(p.getBestLapDriverName(P), QString());
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7.bestLap"));
    QCOMPARE(p.getBestLapDriverName(P), QString()); // driver index defaults to a number nobody has
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7.bestLap"))->insertData(QStringLiteral("driver"), index);
    QCOMPARE(p.getBestLapDriverName(P), expected);
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.7.pits.1"))->insertData(QStringLiteral("driver"), index);
    mirrorNode(p, QStringLiteral("timing.analysis.pitOut.7.pits.1"))->insertData(QStringLiteral("driver"), index);
    mirrorNode(p, QStringLiteral("timing.analysis.stints.7.stints.1"))->insertData(QStringLiteral("driver"), index);
    QCOMPARE(p.getPitInDriverName(P, QStringLiteral("1")), expected);
    QCOMPARE(p.getPitOutDriverName(P, QStringLiteral("1")), expected);
    QCOMPARE(p.getStintDriverName(P, QStringLiteral("1")), expected);
    QCOMPARE(p.getStintDriverName(P, QStringLiteral("2")), QString());
}
void TestV2DataProvider::driverNumbersAndOneLap()
{
    auto provider = makeTestProvider();
    for (const char* driver : {"10", "2", "1"})
        mirrorNode(*provider, QStringLiteral("timing.session.entry.7.drivers.%1").arg(QLatin1String(driver)))
            ->insertData(QStringLiteral("lastName"), QStringLiteral("X"));
    // By number, not as text.
    QCOMPARE(provider->getDriverNumbers(QStringLiteral("7")), QList<int>({1, 2, 10}));
    QVERIFY(provider->getDriverNumbers(QStringLiteral("8")).isEmpty());
    LapTree::LapSpec spec;
    spec.time = 91000;
    spec.driver = 2;
    spec.valid = false;
    LapTree::writeLap(LapTree::root(*provider), QStringLiteral("7"), 3, spec);
    const auto lap = provider->getLap(QStringLiteral("7"), QStringLiteral("3"));
    QVERIFY(lap.exists);
    QCOMPARE(lap.time, quint64(91000));
    QCOMPARE(lap.driver, 2);
    QVERIFY(!lap.valid);
    QVERIFY(!provider->getLap(QStringLiteral("7"), QStringLiteral("4")).exists);
}

void TestV2DataProvider::participantStatus()
{
    auto provider = makeTestProvider();
    V2_Data* details = mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.participantDetails.7"));
    details->insertData(QStringLiteral("status"), QStringLiteral("RETIRED"));
    QCOMPARE(provider->getParticipantStatus(P), QStringLiteral("RETIRED"));
    details->insertData(QStringLiteral("hasSeenCheckered"), false);
    QCOMPARE(provider->getParticipantStatus(P), QStringLiteral("RETIRED"));
    details->insertData(QStringLiteral("hasSeenCheckered"), true);
    QCOMPARE(provider->getParticipantStatus(P), QStringLiteral("CHECKERED"));
}
void TestV2DataProvider::classes()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"classes":{"2":{"name":"GT3"},"1":{"name":"LMP2"},"3":{}}}}})");
    QCOMPARE(p.getClasses(), QStringList());
    mirrorNode(p, QStringLiteral("timing.session.standings.byClass"));
    // Key order, not name order; a class without a name gives an empty text.
    QCOMPARE(p.getClasses(), QStringList({"LMP2", "GT3", ""}));
}
void TestV2DataProvider::trackLimitsOfCurrentLap()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QVERIFY(!p.hasLapSectorTrackLimits(P, 2));
    mergeMirror(p, R"({"timing":{"session":{"standings":{"overall":{"participantDetails":{"7":{"currentLap":4}}}}}}})");
    QVERIFY(!p.hasLapSectorTrackLimits(P, 2));
    mergeMirror(p, R"({"timing":{"analysis":{"laps":{"7":{"laps":{"4":{"sectors":{"2":{"trackLimits":true}}},"3":{"sectors":{"1":{"trackLimits":true}}}}}}}}})");
    QVERIFY(p.hasLapSectorTrackLimits(P, 2));
    QVERIFY(!p.hasLapSectorTrackLimits(P, 1));
}
void TestV2DataProvider::getDataIsACopy()
{
    auto provider = makeTestProvider();
    QVERIFY(!provider->getData(QStringLiteral("timing.session.info")));
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("name"), QStringLiteral("Race"));
    std::unique_ptr<V2_Data> copy = provider->getData(QStringLiteral("timing.session.info"));
    QVERIFY(copy);
    QCOMPARE(copy->getString(QStringLiteral("name")), QStringLiteral("Race"));
    copy->insertData(QStringLiteral("name"), QStringLiteral("Changed"));
    copy->getOrCreateDataPointer(QStringLiteral("extra"));
    QCOMPARE(provider->getSessionName(), QStringLiteral("Race"));
    QVERIFY(!root(*provider)->getV2_Data(QStringLiteral("timing.session.info.extra")));
}
void TestV2DataProvider::relaysAndOrder()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    ClientV2Controller* c = p.controller();
    // Every relayed signal arrives under its own name with its arguments.
    QSignalSpy byPosition(&p, &V2DataProvider::standingsOverallByPosition);
    QSignalSpy details(&p, &V2DataProvider::participantDetailsByPnum);
    QSignalSpy combined(&p, &V2DataProvider::combinedParticipantDetailsByPnum);
    QSignalSpy lapsByPnum(&p, &V2DataProvider::analysisLapsByPnum);
    QSignalSpy weather(&p, &V2DataProvider::weather);
    QSignalSpy tyres(&p, &V2DataProvider::tyresDataReceived);
    QSignalSpy connected(&p, &V2DataProvider::onConnected);
    QSignalSpy login(&p, &V2DataProvider::onLoginDone);
    QSignalSpy processed(&p, &V2DataProvider::analysisProcessed);
    emit c->standingsOverallByPosition(4);
    emit c->participantDetailsByPnum(P);
    emit c->combinedParticipantDetailsByPnum(QStringLiteral("9"));
    emit c->analysisLapsByPnum(P);
    emit c->weather();
    emit c->tyresDataReceived();
    emit c->onConnected();
    emit c->onLoginDone();
    emit c->analysisProcessed();
    QCOMPARE(byPosition.count(), 1);
    QCOMPARE(byPosition.at(0).at(0).toInt(), 4);
    QCOMPARE(details.at(0).at(0).toString(), P);
    QCOMPARE(combined.at(0).at(0).toString(), QStringLiteral("9"));
    QCOMPARE(lapsByPnum.count(), 1);
    QCOMPARE(weather.count(), 1);
    QCOMPARE(tyres.count(), 1);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(login.count(), 1);
    QCOMPARE(processed.count(), 1);

    // Not relayed: the positioning hand-off and the lap batch internals.
    QSignalSpy lapSignal(&p, &V2DataProvider::analysisLapsByPnumAndLap);
    emit c->updateFlag(1);
    emit c->clearParticipants();
    QCOMPARE(lapSignal.count(), 0);

    // Consumers of the relayed analysisLaps run before the rebuild.
    addEntry(root(p), P);
    writeLap(root(p), P, 1, simpleLap(1000, 90000));
    QStringList order;
    connect(&p, &V2DataProvider::analysisLaps, &p, [&] { order << QStringLiteral("relayed %1").arg(p.getLapRows().size()); });
    connect(&p, &V2DataProvider::analysisProcessed, &p, [&] { order << QStringLiteral("processed %1").arg(p.getLapRows().size()); });
    emit c->analysisLaps();
    QCOMPARE(order, QStringList({"relayed 0", "processed 1"}));
    // A new entry list rebuilds the caches too.
    order.clear();
    writeLap(root(p), P, 2, simpleLap(91000, 90000));
    emit c->sessionEntry();
    QCOMPARE(order, QStringList({"processed 2"}));
}
void TestV2DataProvider::pitAndStintLookups()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QCOMPARE(p.getLastPitInLap(P), 0);
    QCOMPARE(p.getLastPitInKey(P), quint64(0));
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.7.pits"));
    QCOMPARE(p.getLastPitInLap(P), 0);
    QCOMPARE(p.getLastPitInKey(P), quint64(0));
    mergeMirror(p, R"({"timing":{"analysis":{"pitIn":{"7":{"pits":{"1":{"lapNumber":5},"2":{}}}},"pitOut":{"7":{"pits":{"1":{},"3":{}}}}}}})");
    QCOMPARE(p.getLastPitInLap(P), kIntMax); // greatest key without a lap number
    QCOMPARE(p.getLastPitInKey(P), quint64(2));
    QCOMPARE(p.getLastPitOutKey(P), quint64(3));
    QCOMPARE(p.getPitInParticipants(), QStringList({"7"}));
    QCOMPARE(p.getPitInKeys(P), QStringList({"1", "2"}));
    QCOMPARE(p.getPitOutParticipants(), QStringList({"7"}));
    QCOMPARE(p.getPitOutKeys(P), QStringList({"1", "3"}));
    QCOMPARE(p.getStintKeys(P), QStringList());
    QCOMPARE(p.getStintLaps(P, K), qMakePair(0, 0));
    V2_Data* stint = mirrorNode(p, QStringLiteral("timing.analysis.stints.7.stints.k"));
    stint->insertData(QStringLiteral("openLapNumber"), 3);
    QCOMPARE(p.getStintLaps(P, K), qMakePair(3, 0));
    stint->insertData(QStringLiteral("closeLapNumber"), 9);
    QCOMPARE(p.getStintLaps(P, K), qMakePair(3, 9));
    QCOMPARE(p.getStintKeys(P), QStringList({"k"}));
    mergeMirror(p, R"({"timing":{"analysis":{"laps":{"7":{"laps":{"2":{},"1":{}}}}}}})");
    QCOMPARE(p.getLapKeys(P), QStringList({"1", "2"}));
}
void TestV2DataProvider::carToFollow()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QSignalSpy changed(&p, &V2DataProvider::onCarToFollowChanged);
    p.setFollowColor(1, QColor(Qt::red));
    QCOMPARE(changed.count(), 0);
    p.setCarToFollow(1, P);
    p.setCarToFollow(2, QStringLiteral("9")); // panel 2 has no colour
    QCOMPARE(changed.count(), 2);
    QCOMPARE(p.getCarToFollow(1), P);
    QCOMPARE(p.getCarToFollow(3), QString());
    QCOMPARE(p.getFollowColor(P), QColor(Qt::red));
    QVERIFY(!p.getFollowColor(QStringLiteral("9")).isValid());
    QVERIFY(!p.getFollowColor(QStringLiteral("1")).isValid());
    QCOMPARE(p.getFollowedCars(), QStringList({"7", "9"}));
    QVERIFY(p.isCarFollowedByOtherPanel(2, P));
    QVERIFY(!p.isCarFollowedByOtherPanel(1, P));
    p.removeCarToFollow(1);
    QCOMPARE(changed.count(), 3);
    QCOMPARE(p.getFollowedCars(), QStringList({"9"}));
    QVERIFY(!p.isCarFollowedByOtherPanel(2, P));
    // A panel that follows nothing still announces the change.
    p.removeCarToFollow(5);
    QCOMPARE(changed.count(), 4);
    QCOMPARE(p.getFollowedCars(), QStringList({"9"}));
    // A block that takes another car lets the first one go.
    p.setCarToFollow(2, QStringLiteral("3"));
    QCOMPARE(p.getFollowedCars(), QStringList({"3"}));
    // A removed block is forgotten with its colour: its next car is not highlighted.
    p.setCarToFollow(1, P);
    p.removeFollowPanel(1);
    QCOMPARE(changed.count(), 7);
    QCOMPARE(p.getCarToFollow(1), QString());
    p.setCarToFollow(1, P);
    QVERIFY(!p.getFollowColor(P).isValid());
}
void TestV2DataProvider::weatherSampling_data()
{
    QTest::addColumn<qint64>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("stepMs");
    QTest::addColumn<int>("expectedCount");
    QTest::addColumn<qint64>("expectedFirst");
    const qint64 base = Q_INT64_C(1767268800000);
    QTest::newRow("three hours every 10 s") << base << 1081 << 10000 << 121 << base + 3600000;
    QTest::newRow("last 30 minutes") << base << 181 << 10000 << 31 << base;
    QTest::newRow("one key") << base << 1 << 10000 << 1 << base;
    QTest::newRow("none") << base << 0 << 10000 << 0 << qint64(0);
    QTest::newRow("every 30 s") << base << 41 << 30000 << 21 << base;
}
void TestV2DataProvider::weatherSampling()
{
    QFETCH(qint64, first);
    QFETCH(int, count);
    QFETCH(int, stepMs);
    QFETCH(int, expectedCount);
    QFETCH(qint64, expectedFirst);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    for (int i = 0; i < count; ++i)
        mirrorNode(p, QStringLiteral("weather.sessionData.%1").arg(first + qint64(i) * stepMs))->insertData(QStringLiteral("humidity"), 50.0 + i);
    const QStringList keys = p.getWeatherSampleKeys();
    QCOMPARE(keys.size(), expectedCount);
    if (expectedCount == 0)
        return;
    QCOMPARE(keys.first().toLongLong(), expectedFirst);
    const qint64 last = first + qint64(count - 1) * stepMs;
    QVERIFY(keys.first().toLongLong() >= last - 7200000);
    for (int i = 1; i < keys.size(); ++i)
        QVERIFY(keys.at(i).toLongLong() - keys.at(i - 1).toLongLong() >= 59000);
    QCOMPARE(keys.last().toLongLong(), last - (last - expectedFirst) % 60000);
}

void TestV2DataProvider::tyresRefusal_data()
{
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("disables");
    QTest::newRow("refusal") << "Unknown channel tyres.session" << true;
    QTest::newRow("any order") << "channel tyres.session: Unknown" << true;
    QTest::newRow("lower case") << "unknown channel tyres.session" << false;
    QTest::newRow("other channel") << "Unknown channel weather" << false;
    QTest::newRow("other error") << "Line from server longer than 10 bytes: connection dropped" << false;
}
void TestV2DataProvider::tyresRefusal()
{
    QFETCH(QString, error);
    QFETCH(bool, disables);
    auto provider = makeTestProvider();
    QSignalSpy disabled(provider.get(), &V2DataProvider::disableTyresData);
    emit provider->controller()->errorReceived(error);
    QCOMPARE(disabled.count(), disables ? 1 : 0);
}
void TestV2DataProvider::combinedName()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QCOMPARE(p.getCombinedParticipantName(P), QString());
    mergeMirror(p, R"({"timing":{"combined":{"entry":{"7":{"team":"Blue Racing"}}}}})");
    QCOMPARE(p.getCombinedParticipantName(P), QString()); // no first driver
    mergeMirror(p, R"({"timing":{"combined":{"entry":{"7":{"drivers":{"1":{"firstName":"Alex","lastName":"Smith"}}}}}}})");
    QCOMPARE(p.getCombinedParticipantName(P), QStringLiteral("A. Smith"));
    mergeMirror(p, R"({"timing":{"session":{"info":{"champIsEndurance":true}}}})");
    QCOMPARE(p.getCombinedParticipantName(P), QStringLiteral("Blue Racing"));
}

// A login brings several whole collections in one read, each asking the
// lap caches to be rebuilt: they are rebuilt and announced once.
void TestV2DataProvider::wholeRebuildsOfOneChunkCoalesce()
{
    const QByteArray lines = "JSON:1::{\"timing\":{\"session\":{\"info\":{\"sessionDbId\":5},\"entry\":{\"7\":{\"class\":\"A\"}}}}}\r\n"
                             "JSON:2::{\"timing\":{\"analysis\":{\"laps\":{\"7\":{\"laps\":{\"1\":{\"time\":90000},\"2\":{\"time\":91000}}}}}}}\r\n"
                             "JSON:3::{\"timing\":{\"combined\":{\"entry\":{\"7\":{\"class\":\"A\"}}}}}\r\n";
    int announced[2] = {};
    for (const bool together : {false, true}) {
        auto provider = makeTestProvider();
        QSignalSpy processed(provider.get(), &V2DataProvider::analysisProcessed);
        QSignalSpy cleaned(provider.get(), &V2DataProvider::cleanAll);
        if (together) {
            provider->controller()->receiveBytes(lines);
            // Asked for before the waiting rebuild ran: every cache getter
            // rebuilds first, the speeds too (they read the emptied caches).
            QCOMPARE(provider->getSpeedRows().size(), 2);
            QCOMPARE(provider->getSpeedRowPositions().size(), 2);
        } else {
            for (const QByteArray& line : lines.split('\n')) {
                provider->controller()->receiveBytes(line + '\n');
                QCoreApplication::processEvents();
            }
        }
        QTRY_COMPARE(provider->getLapRows().size(), 2);
        QCoreApplication::processEvents();
        // One announcement comes with the new session's clean-up.
        QCOMPARE(cleaned.count(), 1);
        announced[together] = processed.count();
    }
    QCOMPARE(announced[true], 2);
    QVERIFY(announced[false] > announced[true]);
}

QTEST_GUILESS_MAIN(TestV2DataProvider)
#include "tst_v2dataprovider.moc"
