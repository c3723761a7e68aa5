#include "ClientV2Controller.h"
#include "SimulatedSession.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <memory>

using TimingConstants::NO_TIME;

namespace {

using SectorRowMap = QMap<int, QList<int>>;

constexpr int kIntMax = 2147483647;

V2_Data* root(V2DataProvider& provider)
{
    return provider.controller()->getCurrentData();
}

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

void store(V2_Data* node, const QString& field, const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::QString:
        node->insertData(field, value.toString());
        break;
    case QMetaType::Bool:
        node->insertData(field, value.toBool());
        break;
    case QMetaType::Int:
        node->insertData(field, value.toInt());
        break;
    case QMetaType::Double:
        node->insertData(field, value.toDouble());
        break;
    case QMetaType::LongLong:
        node->insertData(field, value.value<qint64>());
        break;
    default:
        node->insertData(field, value.value<quint64>());
        break;
    }
}

// A lap node with everything the records read.
struct LapSpec {
    quint64 start = 0;
    int time = 0;
    int driver = 1;
    quint64 sectors[4] = {0, 0, 0, 0}; // 0: no sector node
    bool sectorValid[4] = {true, true, true, true};
    bool trackLimits[4] = {false, false, false, false};
    bool valid = true;
    int position = 1;
    double topSpeed = 250.0;
    quint64 porsche = 0; // day time; 0: no node
    quint64 t6 = 0;
    quint64 t7 = 0;
    bool t6Valid = true;
    bool t7Valid = true;
    bool pitIn = false;
};

void writeLap(V2_Data* root, const QString& pNum, int lap, const LapSpec& spec)
{
    const QString path = QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(pNum).arg(lap);
    if (V2_Data* laps = root->getV2_Data(QStringLiteral("timing.analysis.laps.%1.laps").arg(pNum)))
        laps->deleteKey(QString::number(lap));
    V2_Data* node = root->getOrCreateDataPointer(path);
    node->insertData(QStringLiteral("startTime"), spec.start);
    node->insertData(QStringLiteral("time"), spec.time);
    node->insertData(QStringLiteral("driver"), spec.driver);
    node->insertData(QStringLiteral("isValid"), spec.valid);
    node->insertData(QStringLiteral("position"), spec.position);
    node->insertData(QStringLiteral("topSpeed"), spec.topSpeed);
    for (int s = 0; s < 4; ++s) {
        if (spec.sectors[s] == 0)
            continue;
        V2_Data* sector = node->getOrCreateDataPointer(QStringLiteral("sectors.%1").arg(s + 1));
        sector->insertData(QStringLiteral("time"), spec.sectors[s]);
        sector->insertData(QStringLiteral("isValid"), spec.sectorValid[s]);
        sector->insertData(QStringLiteral("trackLimits"), spec.trackLimits[s]);
    }
    const auto section = [node](const char* name, quint64 dayTime, bool valid) {
        if (dayTime == 0)
            return;
        V2_Data* found = node->getOrCreateDataPointer(QStringLiteral("sections.") + QLatin1String(name));
        found->insertData(QStringLiteral("dayTime"), dayTime);
        found->insertData(QStringLiteral("time"), quint64(dayTime % 10000));
        found->insertData(QStringLiteral("isValid"), valid);
    };
    section("Porsche", spec.porsche, true);
    section("T6", spec.t6, spec.t6Valid);
    section("T7", spec.t7, spec.t7Valid);
    if (spec.pitIn)
        node->getOrCreateDataPointer(QStringLiteral("pitIn"))->insertData(QStringLiteral("time"), spec.start + 5);
}

LapSpec simpleLap(quint64 start, int time)
{
    LapSpec spec;
    spec.start = start;
    spec.time = time;
    spec.sectors[0] = time / 2;
    spec.sectors[1] = time - time / 2;
    spec.porsche = start + 1000;
    return spec;
}

void addEntry(V2_Data* root, const QString& pNum)
{
    V2_Data* driver = root->getOrCreateDataPointer(QStringLiteral("timing.session.entry.%1.drivers.1").arg(pNum));
    driver->insertData(QStringLiteral("firstName"), QStringLiteral("Alex"));
    driver->insertData(QStringLiteral("lastName"), QStringLiteral("Smith%1").arg(pNum));
}

// Every record of a kind as comparable text, ordered by key and identity,
// plus a check that positions agree with the rows.
template <typename Rows>
QStringList describe(const Rows& rows, const V2DataProvider::RowPositions& positions, const std::function<QString(const typename Rows::mapped_type&)>& fields,
                     QString* fault)
{
    QStringList out;
    int row = 0;
    for (auto it = rows.cbegin(); it != rows.cend(); ++it, ++row) {
        if (it->rowPosition != row || positions.value(row, ~quint64(0)) != it.key())
            *fault = QStringLiteral("row %1 holds position %2").arg(row).arg(it->rowPosition);
        out.append(QStringLiteral("%1|%2|%3|%4").arg(it.key()).arg(it->pNum).arg(it->lapNumber).arg(fields(it.value())));
    }
    if (positions.size() != rows.size())
        *fault = QStringLiteral("%1 positions for %2 rows").arg(positions.size()).arg(rows.size());
    std::sort(out.begin(), out.end());
    return out;
}

QStringList describeAll(V2DataProvider& p, QString* fault)
{
    QStringList all;
    all += describe<V2DataProvider::LapRows>(
        p.getLapRows(), p.getLapRowPositions(),
        [](const LapAnalysisRecord& r) {
            return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9")
                .arg(r.startTime)
                .arg(r.lapTime)
                .arg(r.driverName)
                .arg(r.sectorTime[0])
                .arg(r.sectorTime[1])
                .arg(r.sectorValid[1])
                .arg(r.sectionTime[0])
                .arg(r.topSpeed)
                .arg(r.hasPitIn);
        },
        fault);
    const auto section = [](const SectionRecord& r) { return QStringLiteral("%1 %2").arg(r.time).arg(r.isValid); };
    all += describe<V2DataProvider::SectionRows>(p.getPorscheSectionRows(), p.getPorscheSectionRowPositions(), section, fault);
    all += describe<V2DataProvider::SectionRows>(p.getFordSectionRows(), p.getFordSectionRowPositions(), section, fault);
    all += describe<V2DataProvider::AccSectionRows>(
        p.getAccSectionRows(), p.getAccSectionRowPositions(), [](const AccSectionRecord& r) { return QStringLiteral("%1 %2").arg(r.time).arg(r.isValid); },
        fault);
    all += describe<V2DataProvider::SpeedRows>(
        p.getSpeedRows(false), p.getSpeedRowPositions(), [](const SpeedRecord& r) { return QString::number(r.topSpeed); }, fault);
    for (int s = 1; s <= 4; ++s) {
        all += describe<V2DataProvider::SectorRows>(
            *p.getSectorRows(s), *p.getSectorRowPositions(s),
            [s](const SectorRecord& r) { return QStringLiteral("S%1 %2 %3").arg(s).arg(r.time).arg(r.isValid); }, fault);
    }
    return all;
}

} // namespace

class TestV2DataProvider final : public QObject
{
    Q_OBJECT

private slots:
    void getters_data();
    void getters();
    void childLists();
    void driverNames_data();
    void driverNames();
    void participantStatus();
    void classes();
    void trackLimitsOfCurrentLap();
    void getDataIsACopy();
    void relaysAndOrder();
    void rebuildRecords();
    void equalEndTimes();
    void accumulatedWithoutSections();
    void batchSignals();
    void movedRowIsCoveredByTheBatch();
    void queuedRowsFollowShifts_data();
    void queuedRowsFollowShifts();
    void deletionRenumbers();
    void incrementalEqualsRebuild();
    void cleanEmpties();
    void loopSegments_data();
    void loopSegments();
    void pitInLaps();
    void pitAndStintLookups();
    void speedUnits();
    void lastSectorRecord();
    void carToFollow();
    void weatherSampling_data();
    void weatherSampling();
    void tyresRefusal_data();
    void tyresRefusal();
    void combinedName();
    void againstTheSimulator();
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
    store(node, QLatin1String(getter.field), getter.stored);
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
    for (const char* number : {"7", "12", "9"})
        addEntry(root(p), QLatin1String(number));
    QCOMPARE(p.getEntryList(), QStringList({"12", "7", "9"}));
    for (int i = 1; i <= 3; ++i) {
        mirrorNode(p, QStringLiteral("timing.session.standings.overall.active.%1").arg(i))->insertData(QStringLiteral("participant"), QString::number(i));
        mirrorNode(p, QStringLiteral("timing.session.standings.overall.finishLine.%1").arg(i));
    }
    mirrorNode(p, QStringLiteral("timing.session.standings.byClass.active.GT3.standings.1"));
    mirrorNode(p, QStringLiteral("timing.session.standings.byClass.finishLine.GT3.standings.1"));
    mirrorNode(p, QStringLiteral("timing.session.standings.byClass.finishLine.GT3.standings.2"));
    QCOMPARE(p.getStandingsCount(QString()), 3);
    QCOMPARE(p.getFinishLineStandingsCount(QString()), 3);
    QCOMPARE(p.getStandingsCount(GT), 1);
    QCOMPARE(p.getFinishLineStandingsCount(GT), 2);
    QCOMPARE(p.getStandingsCount(QStringLiteral("GT4")), 0);
    mirrorNode(p, QStringLiteral("timing.session.track.info.timingLoops.1"))->insertData(QStringLiteral("name"), QStringLiteral("IM1"));
    mirrorNode(p, QStringLiteral("timing.session.track.info.timingLoops.2"))->insertData(QStringLiteral("name"), QStringLiteral("IM2"));
    QCOMPARE(p.getTimingLoopNames(), QStringList({"IM1", "IM2"}));
    // Imperial units convert the top speed standings.
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.additional.byTopSpeed.1"))->insertData(QStringLiteral("speed"), 300.0);
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
    mirrorNode(p, QStringLiteral("timing.session.classes.2"))->insertData(QStringLiteral("name"), QStringLiteral("GT3"));
    mirrorNode(p, QStringLiteral("timing.session.classes.1"))->insertData(QStringLiteral("name"), QStringLiteral("LMP2"));
    mirrorNode(p, QStringLiteral("timing.session.classes.3"));
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
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"))->insertData(QStringLiteral("currentLap"), 4);
    QVERIFY(!p.hasLapSectorTrackLimits(P, 2));
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.4.sectors.2"))->insertData(QStringLiteral("trackLimits"), true);
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.3.sectors.1"))->insertData(QStringLiteral("trackLimits"), true);
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

void TestV2DataProvider::rebuildRecords()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    mirrorNode(p, QStringLiteral("timing.session.entry.7.drivers.2"))->insertData(QStringLiteral("lastName"), QStringLiteral("Solo"));
    V2_Data* details = mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"));
    details->insertData(QStringLiteral("bestTopSpeed"), 300.0);
    details->getOrCreateDataPointer(QStringLiteral("bestLap"))->insertData(QStringLiteral("time"), quint64(89000));
    details->getOrCreateDataPointer(QStringLiteral("bestSectors.2"))->insertData(QStringLiteral("time"), quint64(40000));
    LapSpec spec = simpleLap(5000, 90000);
    spec.driver = 2;
    spec.sectors[2] = 1;
    spec.sectorValid[1] = false;
    spec.trackLimits[1] = true;
    spec.pitIn = true;
    spec.t6 = 7000;
    spec.t7 = 8000;
    spec.t6Valid = false;
    writeLap(root(p), P, 3, spec);
    emit p.controller()->analysisLaps();

    QCOMPARE(p.getLapRows().size(), 1);
    const LapAnalysisRecord& lap = p.getLapRows().first();
    QCOMPARE(p.getLapRows().firstKey(), quint64(95000));
    QCOMPARE(lap.pNum, P);
    QCOMPARE(lap.lapNumber, 3);
    QCOMPARE(lap.rowPosition, 0);
    QCOMPARE(lap.driverName, QStringLiteral("Solo"));
    QCOMPARE(lap.sectorTime[0], quint64(45000));
    QCOMPARE(lap.sectorTime[3], NO_TIME);
    QVERIFY(!lap.sectorValid[1]);
    QVERIFY(lap.sectorTrackLimits[1]);
    QVERIFY(!lap.sectorTrackLimits[0]);
    QCOMPARE(lap.bestSectorTime[1], quint64(40000));
    QCOMPARE(lap.bestSectorTime[0], quint64(0)); // no best node for that sector
    QCOMPARE(lap.bestLapTime, quint64(89000));
    QCOMPARE(lap.bestTopSpeed, 300.0);
    QCOMPARE(lap.sectionDayTime[0], quint64(6000));
    QCOMPARE(lap.sectionTime[1], NO_TIME);
    QVERIFY(lap.hasPitIn);
    QCOMPARE(lap.pitInTime, quint64(5005));
    QVERIFY(!lap.hasPitOut);
    // Sector keys add the existing sectors up to each one; a missing sector adds nothing.
    QCOMPARE(p.getSectorRows(1)->firstKey(), quint64(50000));
    QCOMPARE(p.getSectorRows(2)->firstKey(), quint64(95000));
    QCOMPARE(p.getSectorRows(3)->firstKey(), quint64(95001));
    QCOMPARE(p.getSectorRows(4)->firstKey(), quint64(95001));
    QCOMPARE(p.getSectorRows(4)->first().time, quint64(0));
    QVERIFY(!p.getSectorRows(2)->first().isValid);
    QVERIFY(!p.getSectorRows(0));
    QVERIFY(!p.getSectorRowPositions(5));
    // ACC: T6's day time, both times, invalid when either is.
    QCOMPARE(p.getAccSectionRows().firstKey(), quint64(7000));
    QCOMPARE(p.getAccSectionRows().first().time, quint64(15000));
    QVERIFY(!p.getAccSectionRows().first().isValid);
    QCOMPARE(p.getAccSectionRows().first().sectionName, QStringLiteral("ACC"));
    QCOMPARE(p.getPorscheSectionRows().firstKey(), quint64(6000));
    QCOMPARE(p.getFordSectionRows().firstKey(), quint64(0)); // no Ford section: filed at 0
    QCOMPARE(p.getFordSectionRows().first().lapNumber, 3);
    QCOMPARE(p.getSpeedRows(false).firstKey(), quint64(95000));
}

void TestV2DataProvider::equalEndTimes()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    addEntry(root(p), QStringLiteral("9"));
    emit p.controller()->analysisLaps();
    writeLap(root(p), P, 1, simpleLap(1000, 90000));
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("1"));
    writeLap(root(p), QStringLiteral("9"), 1, simpleLap(2000, 89000));
    emit p.controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("1"));
    emit p.controller()->analysisLapsEnd();
    QCOMPARE(p.getLapRows().size(), 2);
    QCOMPARE(p.getLapRows().uniqueKeys(), QList<quint64>({91000}));
    QCOMPARE(p.getLapRows().first().pNum, QStringLiteral("9")); // processed last, first
    QCOMPARE(p.getLapRows().first().rowPosition, 0);
    QCOMPARE((p.getLapRows().cbegin() + 1)->rowPosition, 1);
    QCOMPARE(AnalysisCache<LapAnalysisRecord>::recordAt(p.getLapRows(), p.getLapRowPositions(), 1)->pNum, P);

    QSignalSpy removed(&p, &V2DataProvider::analysysLapsUpdateByRow);
    emit p.controller()->deleteLapAnalysisData(QStringLiteral("9"), QStringLiteral("1"));
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0), QVariantList({0, false, true}));
    QCOMPARE(p.getLapRows().size(), 1);
    QCOMPARE(p.getLapRows().first().pNum, P);
    QCOMPARE(p.getLapRows().first().rowPosition, 0);
    QCOMPARE(p.getLapRowPositions(), V2DataProvider::RowPositions({91000}));
}

void TestV2DataProvider::accumulatedWithoutSections()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    LapSpec withSections = simpleLap(1000, 90000);
    withSections.t6 = 50000;
    withSections.t7 = 60000;
    writeLap(root(p), P, 1, withSections);
    writeLap(root(p), P, 2, simpleLap(91000, 90000));
    LapSpec onlyT7 = simpleLap(181000, 90000);
    onlyT7.t7 = 200000;
    writeLap(root(p), P, 3, onlyT7);
    emit p.controller()->analysisLaps();
    const auto& acc = p.getAccSectionRows();
    QCOMPARE(acc.size(), 3);
    QCOMPARE(acc.firstKey(), quint64(0));
    QCOMPARE(acc.first().lapNumber, 2);
    QCOMPARE(acc.first().time, quint64(0));
    QCOMPARE(acc.first().rowPosition, 0);
    QCOMPARE(acc.lastKey(), quint64(200000)); // T7's day time when T6 has none
}

void TestV2DataProvider::batchSignals()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    writeLap(root(p), P, 1, simpleLap(1000, 90000));
    writeLap(root(p), P, 2, simpleLap(91000, 90000));
    emit p.controller()->analysisLaps();

    QSignalSpy single(&p, &V2DataProvider::analysysLapsUpdateByRow);
    QSignalSpy singleSector(&p, &V2DataProvider::analysysLapsUpdateByRowSector);
    QSignalSpy singleSection(&p, &V2DataProvider::analysysLapsUpdateByRowSection);
    QSignalSpy list(&p, &V2DataProvider::analysysLapsUpdateByRowList);
    QSignalSpy sectionList(&p, &V2DataProvider::analysysSectionUpdateByRowList);
    QSignalSpy accList(&p, &V2DataProvider::analysysAccUpdateByRowList);
    QSignalSpy speedList(&p, &V2DataProvider::analysysSpeedUpdateByRowList);
    QSignalSpy sectorMap(&p, &V2DataProvider::analysysSectorUpdateByRowMap);
    QSignalSpy processedLap(&p, &V2DataProvider::analysisLapsByPnumAndLap);

    // A known lap changed in place: nothing now, its row once at the batch end.
    LapSpec changed = simpleLap(1000, 90000);
    changed.sectorValid[0] = false;
    changed.valid = false;
    writeLap(root(p), P, 1, changed);
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("1"));
    QCOMPARE(single.count(), 0);
    QCOMPARE(singleSector.count(), 0);
    QCOMPARE(processedLap.count(), 1);
    QCOMPARE(processedLap.at(0), QVariantList({P, QStringLiteral("1")}));
    QVERIFY(!p.getSectorRows(1)->first().isValid);

    // A new lap: one single-row signal per kind at once.
    writeLap(root(p), P, 3, simpleLap(181000, 90000));
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("3"));
    QCOMPARE(single.count(), 1);
    QCOMPARE(single.at(0), QVariantList({2, true, false}));
    QCOMPARE(singleSector.count(), 4);
    QCOMPARE(singleSector.at(3), QVariantList({2, true, 4, false}));
    QCOMPARE(singleSection.count(), 2);
    QCOMPARE(singleSection.at(0), QVariantList({2, true, QStringLiteral("Porsche"), false}));
    // No Ford sections: every record sits at key 0 and the newest comes first.
    QCOMPARE(singleSection.at(1), QVariantList({0, true, QStringLiteral("Ford"), false}));
    QCOMPARE(list.count(), 0);

    emit p.controller()->analysisLapsEnd();
    QCOMPARE(list.count(), 1);
    QCOMPARE(list.at(0).at(0).value<QList<int>>(), QList<int>({0}));
    QCOMPARE(sectionList.count(), 2);
    QCOMPARE(sectionList.at(0).at(1).toString(), QStringLiteral("Porsche"));
    QCOMPARE(sectionList.at(1).at(1).toString(), QStringLiteral("Ford"));
    QCOMPARE(accList.count(), 1);
    QCOMPARE(speedList.count(), 1);
    const auto sectors = sectorMap.at(0).at(0).value<SectorRowMap>();
    QCOMPARE(sectors.keys(), QList<int>({1, 2, 3, 4}));
    QCOMPARE(sectors.value(1), QList<int>({0}));
    QCOMPARE(single.count(), 1);

    // Lists are emptied: the next batch reports nothing.
    emit p.controller()->analysisLapsEnd();
    QCOMPARE(list.at(1).at(0).value<QList<int>>(), QList<int>());
    QVERIFY(sectorMap.at(1).at(0).value<SectorRowMap>().isEmpty());
}

void TestV2DataProvider::movedRowIsCoveredByTheBatch()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    addEntry(root(p), QStringLiteral("9"));
    // Car 9's lap in progress has no time yet and is filed at its start.
    writeLap(root(p), QStringLiteral("9"), 1, simpleLap(500, 0));
    for (int lap = 1; lap <= 4; ++lap)
        writeLap(root(p), P, lap, simpleLap(quint64(lap) * 10000, 10000));
    emit p.controller()->analysisLaps();
    QCOMPARE(p.getLapRows().first().pNum, QStringLiteral("9"));

    QSignalSpy list(&p, &V2DataProvider::analysysLapsUpdateByRowList);
    writeLap(root(p), QStringLiteral("9"), 1, simpleLap(500, 35000)); // ends at 35500: between rows 2 and 3
    emit p.controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("1"));
    emit p.controller()->analysisLapsEnd();
    // Its old row and its new row: the refreshed range covers every shifted row.
    QCOMPARE(list.at(0).at(0).value<QList<int>>(), QList<int>({0, 2}));
    QString fault;
    describeAll(p, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QCOMPARE(AnalysisCache<LapAnalysisRecord>::recordAt(p.getLapRows(), p.getLapRowPositions(), 2)->pNum, QStringLiteral("9"));
}

void TestV2DataProvider::queuedRowsFollowShifts_data()
{
    QTest::addColumn<bool>("insertBefore");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("a new row before it") << true << QString() << QList<int>({3});
    QTest::newRow("a row before it removed") << false << QStringLiteral("1") << QList<int>({1});
    QTest::newRow("its own row removed") << false << QStringLiteral("3") << QList<int>();
}

void TestV2DataProvider::queuedRowsFollowShifts()
{
    QFETCH(bool, insertBefore);
    QFETCH(QString, deleted);
    QFETCH(QList<int>, rows);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    addEntry(root(p), QStringLiteral("9"));
    for (int lap = 1; lap <= 3; ++lap)
        writeLap(root(p), P, lap, simpleLap(quint64(lap) * 10000, 10000));
    emit p.controller()->analysisLaps();
    QSignalSpy list(&p, &V2DataProvider::analysysLapsUpdateByRowList);
    // Lap 3 changes in place at row 2 and is queued for the batch end ...
    LapSpec changed = simpleLap(30000, 10000);
    changed.valid = false;
    writeLap(root(p), P, 3, changed);
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("3"));
    // ... then rows shift before the batch ends.
    if (insertBefore) {
        writeLap(root(p), QStringLiteral("9"), 1, simpleLap(100, 200));
        emit p.controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("1"));
    } else {
        emit p.controller()->deleteLapAnalysisData(P, deleted);
    }
    emit p.controller()->analysisLapsEnd();
    QCOMPARE(list.at(0).at(0).value<QList<int>>(), rows);
    for (int row : rows)
        QVERIFY(!AnalysisCache<LapAnalysisRecord>::recordAt(p.getLapRows(), p.getLapRowPositions(), row)->isValid);
}

void TestV2DataProvider::deletionRenumbers()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    for (int lap = 1; lap <= 5; ++lap)
        writeLap(root(p), P, lap, simpleLap(quint64(lap) * 100000, 90000));
    emit p.controller()->analysisLaps();
    QSignalSpy laps(&p, &V2DataProvider::analysysLapsUpdateByRow);
    QSignalSpy sectors(&p, &V2DataProvider::analysysLapsUpdateByRowSector);
    QSignalSpy speeds(&p, &V2DataProvider::analysysLapsUpdateByRowSectionSpeed);
    emit p.controller()->deleteLapAnalysisData(P, QStringLiteral("2"));
    QCOMPARE(laps.count(), 1);
    QCOMPARE(laps.at(0), QVariantList({1, false, true}));
    QCOMPARE(speeds.at(0), QVariantList({1, false, true}));
    QCOMPARE(sectors.count(), 4);
    QCOMPARE(sectors.at(2), QVariantList({1, false, 3, true}));
    QCOMPARE(p.getLapRows().size(), 4);
    QString fault;
    describeAll(p, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // An unknown lap is ignored without a signal.
    emit p.controller()->deleteLapAnalysisData(P, QStringLiteral("2"));
    emit p.controller()->deleteLapAnalysisData(QStringLiteral("99"), QStringLiteral("1"));
    QCOMPARE(laps.count(), 1);
}

void TestV2DataProvider::incrementalEqualsRebuild()
{
    // One provider follows the updates lap by lap, the other rebuilds from
    // the same tree; after every batch both must hold the same records, and
    // every row position must match its row.
    auto incremental = makeTestProvider();
    auto rebuilt = makeTestProvider();
    QRandomGenerator random(20261206);
    const QStringList cars = {"1", "7", "12", "33", "9"};
    const auto both = [&](const std::function<void(V2_Data*)>& change) {
        change(root(*incremental));
        change(root(*rebuilt));
    };
    both([&](V2_Data* r) {
        for (const QString& car : cars)
            addEntry(r, car);
    });
    emit incremental->controller()->analysisLaps();
    QMap<QString, int> lapsOf;
    int checks = 0;
    for (int batch = 0; batch < 120; ++batch) {
        const int steps = 1 + int(random.bounded(6));
        for (int step = 0; step < steps; ++step) {
            const QString car = cars.at(int(random.bounded(cars.size())));
            const int choice = int(random.bounded(10));
            if (choice < 2 && lapsOf.value(car) > 0) {
                // Delete one of the car's laps.
                const int lap = 1 + int(random.bounded(lapsOf.value(car)));
                both([&](V2_Data* r) {
                    if (V2_Data* laps = r->getV2_Data(QStringLiteral("timing.analysis.laps.%1.laps").arg(car)))
                        laps->deleteKey(QString::number(lap));
                });
                emit incremental->controller()->deleteLapAnalysisData(car, QString::number(lap));
                continue;
            }
            // A new lap, or a known one written again with other values;
            // times repeat often, so keys collide.
            const int lap = choice < 6 || lapsOf.value(car) == 0 ? lapsOf.value(car) + 1 : 1 + int(random.bounded(lapsOf.value(car)));
            lapsOf[car] = qMax(lapsOf.value(car), lap);
            LapSpec spec = simpleLap(quint64(random.bounded(20)) * 1000, int(random.bounded(4)) * 1000);
            spec.sectorValid[1] = random.bounded(2) == 0;
            spec.porsche = random.bounded(3) == 0 ? 0 : quint64(random.bounded(5)) * 1000;
            spec.t6 = random.bounded(2) == 0 ? 0 : quint64(random.bounded(5)) * 1000;
            spec.t7 = random.bounded(2) == 0 ? 0 : quint64(random.bounded(5)) * 1000;
            spec.topSpeed = random.bounded(3) * 100.0;
            spec.pitIn = random.bounded(4) == 0;
            both([&](V2_Data* r) { writeLap(r, car, lap, spec); });
            emit incremental->controller()->analysisLapsByPnumAndLap(car, QString::number(lap));
        }
        emit incremental->controller()->analysisLapsEnd();
        emit rebuilt->controller()->analysisLaps();
        QString fault;
        const QStringList expected = describeAll(*rebuilt, &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("rebuild: ") + fault));
        const QStringList actual = describeAll(*incremental, &fault);
        QVERIFY2(fault.isEmpty(), qPrintable(QStringLiteral("batch %1: ").arg(batch) + fault));
        QCOMPARE(actual, expected);
        ++checks;
    }
    QCOMPARE(checks, 120);
    QVERIFY(incremental->getLapRows().size() > 50);
}

void TestV2DataProvider::cleanEmpties()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    writeLap(root(p), P, 1, simpleLap(1000, 90000));
    emit p.controller()->analysisLaps();
    QCOMPARE(p.getLapRows().size(), 1);
    QSignalSpy processed(&p, &V2DataProvider::analysisProcessed);
    QSignalSpy cleaned(&p, &V2DataProvider::cleanAll);
    emit p.controller()->cleanAll();
    QCOMPARE(cleaned.count(), 1);
    QCOMPARE(processed.count(), 1);
    QVERIFY(p.getLapRows().isEmpty());
    QVERIFY(p.getLapRowPositions().isEmpty());
    for (int s = 1; s <= 4; ++s)
        QVERIFY(p.getSectorRows(s)->isEmpty());
    // After emptying, the lap is new again.
    QSignalSpy single(&p, &V2DataProvider::analysysLapsUpdateByRow);
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("1"));
    QCOMPARE(single.count(), 1);
}

void TestV2DataProvider::loopSegments_data()
{
    QTest::addColumn<QStringList>("loops");
    QTest::addColumn<QList<quint64>>("passing"); // 0: no loop node
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QStringList>("segments");
    QTest::newRow("no loops") << QStringList() << QList<quint64>() << QStringList() << QStringList();
    QTest::newRow("A, B") << QStringList({"A", "B"}) << QList<quint64>({30000, 70000, 0}) << QStringList({"A-B", "B-FL"})
                          << QStringList({"A-B=30000", "B-FL=40000"});
    QTest::newRow("A, FL") << QStringList({"A", "FL"}) << QList<quint64>({30000, 90000}) << QStringList({"A-FL"}) << QStringList({"A-FL=30000"});
    QTest::newRow("passing goes back") << QStringList({"A", "B", "C"}) << QList<quint64>({30000, 20000, 50000, 0})
                                       << QStringList({"A-B", "B-C", "C-FL"}) << QStringList({"A-B=30000", "C-FL=30000"});
    QTest::newRow("missing passing") << QStringList({"A", "B"}) << QList<quint64>({0, 0, 0}) << QStringList({"A-B", "B-FL"})
                                     << QStringList({"A-B=0", "B-FL=0"});
}

void TestV2DataProvider::loopSegments()
{
    QFETCH(QStringList, loops);
    QFETCH(QList<quint64>, passing);
    QFETCH(QStringList, pairs);
    QFETCH(QStringList, segments);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    for (int i = 0; i < loops.size(); ++i)
        mirrorNode(p, QStringLiteral("timing.session.track.info.timingLoops.%1").arg(i + 1))->insertData(QStringLiteral("name"), loops.at(i));
    addEntry(root(p), P);
    writeLap(root(p), P, 1, simpleLap(1000, 90000));
    for (int i = 0; i < passing.size(); ++i) {
        if (passing.at(i) != 0)
            mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.1.loopSectors.%1").arg(i + 1))->insertData(QStringLiteral("time"), passing.at(i));
    }
    QStringList actualPairs;
    for (const auto& pair : p.getLoopSectorPairs())
        actualPairs << pair.first + QLatin1Char('-') + pair.second;
    QCOMPARE(actualPairs, pairs);
    emit p.controller()->analysisLaps();
    QStringList actualSegments;
    const auto& map = p.getLapRows().first().loopSegments;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        actualSegments << QStringLiteral("%1-%2=%3").arg(it.key().first, it.key().second).arg(it.value());
    QCOMPARE(actualSegments, segments);
}

void TestV2DataProvider::pitInLaps()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    QVERIFY(!p.isPitInLap(P, QStringLiteral("5")));
    addEntry(root(p), P);
    addEntry(root(p), QStringLiteral("9"));
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.7.pits.1"))->insertData(QStringLiteral("lapNumber"), 5);
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.7.pits.2"))->insertData(QStringLiteral("lapNumber"), 23);
    // Built on first use while empty.
    QVERIFY(p.isPitInLap(P, QStringLiteral("23")));
    QVERIFY(p.isPitInLap(P, QStringLiteral("5")));
    QVERIFY(!p.isPitInLap(P, QStringLiteral("24")));
    QVERIFY(!p.isPitInLap(QStringLiteral("9"), QStringLiteral("5")));
    // Later pit entries count after the controller reports them.
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.9.pits.1"))->insertData(QStringLiteral("lapNumber"), 8);
    QVERIFY(!p.isPitInLap(QStringLiteral("9"), QStringLiteral("8")));
    emit p.controller()->analysisPitIn();
    QVERIFY(p.isPitInLap(QStringLiteral("9"), QStringLiteral("8")));
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
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.7.pits.1"))->insertData(QStringLiteral("lapNumber"), 5);
    mirrorNode(p, QStringLiteral("timing.analysis.pitIn.7.pits.2"));
    mirrorNode(p, QStringLiteral("timing.analysis.pitOut.7.pits.1"));
    mirrorNode(p, QStringLiteral("timing.analysis.pitOut.7.pits.3"));
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
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.2"));
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.1"));
    QCOMPARE(p.getLapKeys(P), QStringList({"1", "2"}));
}

void TestV2DataProvider::speedUnits()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    LapSpec spec = simpleLap(1000, 90000);
    spec.topSpeed = 200.0;
    writeLap(root(p), P, 1, spec);
    emit p.controller()->analysisLaps();
    QCOMPARE(p.getSpeedRows(false).first().topSpeed, 200.0);
    // The cached speeds change unit with the unit, once, however often they are read.
    p.setUsaUnits(true);
    p.setUsaUnits(true);
    QVERIFY(qAbs(p.getSpeedRows(true).first().topSpeed - 124.2742) < 1e-9);
    QVERIFY(qAbs(p.getSpeedRows(true).first().topSpeed - 124.2742) < 1e-9);
    QVERIFY(qAbs(p.getLapRows().first().topSpeed - 124.2742) < 1e-9);
    QCOMPARE(p.getLapTopSpeed(P, QStringLiteral("1")), 200.0); // the tree's own value
    // A lap filed while imperial units are set is in miles per hour like the rest.
    spec.start = 100000;
    writeLap(root(p), P, 2, spec);
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("2"));
    QVERIFY(qAbs(p.getSpeedRows(false).last().topSpeed - 124.2742) < 1e-9);
    p.setUsaUnits(false);
    QVERIFY(qAbs(p.getSpeedRows(true).first().topSpeed - 200.0) < 1e-9);
    QVERIFY(qAbs(p.getSpeedRows(true).last().topSpeed - 200.0) < 1e-9);
}

void TestV2DataProvider::lastSectorRecord()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    SectorRecord empty = p.getLastSectorRecord(P, 2);
    QCOMPARE(empty.pNum, P);
    QCOMPARE(empty.dayTime, quint64(0));
    V2_Data* details = mirrorNode(p, QStringLiteral("timing.session.standings.overall.participantDetails.7"));
    details->insertData(QStringLiteral("currentLapStartTime"), quint64(100000));
    details->insertData(QStringLiteral("currentSector"), 3);
    details->getOrCreateDataPointer(QStringLiteral("lastLap"))->insertData(QStringLiteral("lapStartTime"), quint64(10000));
    V2_Data* s1 = details->getOrCreateDataPointer(QStringLiteral("lastSectors.1"));
    s1->insertData(QStringLiteral("time"), quint64(30000));
    V2_Data* s2 = details->getOrCreateDataPointer(QStringLiteral("lastSectors.2"));
    s2->insertData(QStringLiteral("time"), quint64(31000));
    s2->insertData(QStringLiteral("isValid"), false);
    SectorRecord second = p.getLastSectorRecord(P, 2);
    QCOMPARE(second.dayTime, quint64(161000));
    QCOMPARE(second.time, quint64(31000));
    QVERIFY(!second.isValid);
    SectorRecord third = p.getLastSectorRecord(P, 3); // no third node: time 0
    QCOMPARE(third.dayTime, quint64(161000));
    QCOMPARE(third.time, quint64(0));
    details->insertData(QStringLiteral("currentSector"), 1); // the sectors belong to the last lap
    QCOMPARE(p.getLastSectorRecord(P, 1).dayTime, quint64(40000));
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
    V2_Data* entry = mirrorNode(p, QStringLiteral("timing.combined.entry.7"));
    entry->insertData(QStringLiteral("team"), QStringLiteral("Blue Racing"));
    QCOMPARE(p.getCombinedParticipantName(P), QString()); // no first driver
    V2_Data* driver = entry->getOrCreateDataPointer(QStringLiteral("drivers.1"));
    driver->insertData(QStringLiteral("firstName"), QStringLiteral("Alex"));
    driver->insertData(QStringLiteral("lastName"), QStringLiteral("Smith"));
    QCOMPARE(p.getCombinedParticipantName(P), QStringLiteral("A. Smith"));
    mirrorNode(p, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("champIsEndurance"), true);
    QCOMPARE(p.getCombinedParticipantName(P), QStringLiteral("Blue Racing"));
}


void TestV2DataProvider::againstTheSimulator()
{
    SimulatedSession session({QStringLiteral("--cars"), QStringLiteral("20")}, 3600);
    V2DataProvider& p = *session.provider;
    SimPublisher& publisher = *session.publisher;
    QSignalSpy processed(&p, &V2DataProvider::analysisProcessed);
    QTRY_VERIFY_WITH_TIMEOUT(p.getLapRows().size() > 0 && p.getStandingsCount(QString()) == 20 && !p.getWeatherSampleKeys().isEmpty(), 20000);
    const V2_Data* truth = publisher.published();

    // Session, track and entry.
    QCOMPARE(p.getSessionName(), truth->getString(QStringLiteral("timing.session.info.name")));
    QVERIFY(!p.getSessionName().isEmpty());
    QCOMPARE(p.isRace(), truth->getString(QStringLiteral("timing.session.info.type")) == QLatin1String("RACE"));
    QCOMPARE(p.getTrackName(), truth->getString(QStringLiteral("timing.session.track.info.name")));
    QCOMPARE(p.getEntryList().size(), 20);
    QVERIFY(!p.getTimingLoopNames().isEmpty());
    QVERIFY(!p.getClasses().isEmpty());
    // Standings and details: every position names a car of the entry.
    QSet<QString> seen;
    for (int position = 1; position <= 20; ++position) {
        const QString pNum = p.getParticipantAtPosition(position, QString());
        QVERIFY(p.getEntryList().contains(pNum));
        seen.insert(pNum);
        QCOMPARE(pNum, truth->getString(QStringLiteral("timing.session.standings.overall.active.%1.participant").arg(position)));
        QVERIFY(p.getCurrentLap(pNum) >= 1);
        QVERIFY(!p.getDriverName(pNum, 1).isEmpty());
    }
    QCOMPARE(seen.size(), 20);
    QCOMPARE(p.getGapFirstTime(1, QString()), truth->getDouble(QStringLiteral("timing.session.standings.overall.active.1.gapFirstTime"), -1.0));
    QVERIFY(p.getSessionBestLapTime() > 0 && p.getSessionBestLapTime() != NO_TIME);
    // Lap analysis: one record per lap of the tree, in order, positions right.
    int lapCount = 0;
    for (const QString& pNum : p.getEntryList())
        lapCount += p.getLapKeys(pNum).size();
    QCOMPARE(p.getLapRows().size(), lapCount);
    QCOMPARE(p.getSpeedRows(false).size(), lapCount);
    QCOMPARE(p.getSectorRows(2)->size(), lapCount);
    QString fault;
    describeAll(p, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // Race control, flags, weather, tyres, pits.
    QCOMPARE(p.getRaceControlMessageKeys(), truth->getV2_Data(QStringLiteral("raceControl.messages"))->datas()->keys());
    QCOMPARE(p.getFlagKeys().size(), truth->getV2_Data(QStringLiteral("timing.session.flags"))->datas()->size());
    QVERIFY(p.getWeatherSampleKeys().size() >= 55 && p.getWeatherSampleKeys().size() <= 61);
    QVERIFY(p.getCurrentAmbientTemperature() != 0.0f);
    const QString leader = p.getParticipantAtPosition(1, QString());
    QTRY_VERIFY_WITH_TIMEOUT(!p.getTyresData(leader).rearRight.isEmpty(), 10000);
    const V2_Data* wheel = truth->getV2_Data(QStringLiteral("tyres.session.data.%1.rearRight").arg(leader));
    const int tyreLaps = wheel->getInt(QStringLiteral("laps"));
    QCOMPARE(p.getTyresData(leader).rearRight, QStringLiteral("%1 %2 (%3)")
                                                   .arg(tyreLaps)
                                                   .arg(tyreLaps < 2 ? QStringLiteral("Lap") : QStringLiteral("Laps"))
                                                   .arg(wheel->getString(QStringLiteral("specification"))));
    QCOMPARE(p.getPitInParticipants().isEmpty(), !truth->getV2_Data(QStringLiteral("timing.analysis.pitIn")));
    QCOMPARE(p.getTrackLimits().size(), truth->getV2_Data(QStringLiteral("timing.session.trackLimits"))
                                             ? truth->getV2_Data(QStringLiteral("timing.session.trackLimits"))->datas()->size()
                                             : 0);

    // Two more simulated minutes arrive lap by lap; the caches still match a rebuild.
    QSignalSpy ends(p.controller(), &ClientV2Controller::analysisLapsEnd);
    for (qint64 at = 3610000; at <= 3720000; at += 10000)
        publisher.publishAt(at);
    QTRY_VERIFY_WITH_TIMEOUT(ends.count() > 0 && p.getLapRows().size() > lapCount, 20000);
    QTest::qWait(200);
    const QStringList live = describeAll(p, &fault);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    emit p.controller()->analysisLaps();
    QCOMPARE(describeAll(p, &fault), live);
}

QTEST_GUILESS_MAIN(TestV2DataProvider)
#include "tst_v2dataprovider.moc"
