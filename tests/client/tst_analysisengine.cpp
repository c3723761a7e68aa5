#include "ClientV2Controller.h"
#include "LapTree.h"
#include "TestProvider.h"
#include "V2DataProvider.h"
#include "V2_Data.h"

#include <QRandomGenerator>
#include <QtTest>

// The lap analysis caches as the provider keeps them: the full rebuild, one
// lap filed, changed, moved or removed, the batch-end row lists, loop
// segments, pit-entry laps, speed units and the live sector record.

using TimingConstants::NO_TIME;
using namespace LapTree;

namespace {

using SectorRowMap = QMap<int, QList<int>>;
const QString P = QStringLiteral("7");

} // namespace

class TestAnalysisEngine final : public QObject
{
    Q_OBJECT

private slots:
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
    void speedUnits();
    void lastSectorRecord();
};

void TestAnalysisEngine::rebuildRecords()
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
    spec.position = 4;
    writeLap(root(p), P, 3, spec);
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.3.pitOut"))->insertData(QStringLiteral("time"), 6000);
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
    QVERIFY(lap.hasPitOut);
    QCOMPARE(lap.position, 4);
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
    // No Ford section, no Ford record (it used to be filed at 0, a blank row on top).
    QVERIFY(p.getFordSectionRows().isEmpty());
    QCOMPARE(p.getSpeedRows().firstKey(), quint64(95000));
}
void TestAnalysisEngine::equalEndTimes()
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
void TestAnalysisEngine::accumulatedWithoutSections()
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
    // Lap 2 passed neither section: no record (it used to sit first, dated 0).
    QCOMPARE(acc.size(), 2);
    QCOMPARE(acc.firstKey(), quint64(50000));
    QCOMPARE(acc.first().lapNumber, 1);
    QCOMPARE(acc.first().rowPosition, 0);
    QCOMPARE(acc.lastKey(), quint64(200000)); // T7's day time when T6 has none
    // Lap 2 reaches T6 later: a new row; it loses it again: the row goes.
    QSignalSpy rows(&p, &V2DataProvider::analysysLapsUpdateByRowSectionAcc);
    LapSpec reached = simpleLap(91000, 90000);
    reached.t6 = 120000;
    writeLap(root(p), P, 2, reached);
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("2"));
    QCOMPARE(rows.count(), 1);
    QCOMPARE(rows.at(0), QVariantList({1, true, false}));
    QCOMPARE(acc.size(), 3);
    mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.2"))->deleteKey(QStringLiteral("sections"));
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("2"));
    QCOMPARE(rows.count(), 2);
    QCOMPARE(rows.at(1), QVariantList({1, false, true}));
    QCOMPARE(acc.size(), 2);
}
void TestAnalysisEngine::batchSignals()
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
    // The lap has no Ford section, so no Ford row (one used to be filed at key 0).
    QCOMPARE(singleSection.count(), 1);
    QCOMPARE(singleSection.at(0), QVariantList({2, true, QStringLiteral("Porsche"), false}));
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
void TestAnalysisEngine::movedRowIsCoveredByTheBatch()
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
void TestAnalysisEngine::queuedRowsFollowShifts_data()
{
    QTest::addColumn<bool>("insertBefore");
    QTest::addColumn<QString>("deleted");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("a new row before it") << true << QString() << QList<int>({3});
    QTest::newRow("a row before it removed") << false << QStringLiteral("1") << QList<int>({1});
    QTest::newRow("its own row removed") << false << QStringLiteral("3") << QList<int>();
}
void TestAnalysisEngine::queuedRowsFollowShifts()
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
void TestAnalysisEngine::deletionRenumbers()
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
void TestAnalysisEngine::incrementalEqualsRebuild()
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
void TestAnalysisEngine::cleanEmpties()
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
void TestAnalysisEngine::loopSegments_data()
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
    // Missed passings give no time: they used to read as 0, so "A-B=0", and
    // the segment after a missed loop the whole time since the line.
    QTest::newRow("missing passing") << QStringList({"A", "B"}) << QList<quint64>({0, 0, 0}) << QStringList({"A-B", "B-FL"}) << QStringList();
    QTest::newRow("missed first loop") << QStringList({"A", "B"}) << QList<quint64>({0, 70000, 0}) << QStringList({"A-B", "B-FL"}) << QStringList();
    QTest::newRow("missed middle loop") << QStringList({"A", "B", "C"}) << QList<quint64>({30000, 0, 50000, 0})
                                        << QStringList({"A-B", "B-C", "C-FL"}) << QStringList({"A-B=30000"});
    QTest::newRow("five loops against name order") << QStringList({"E", "D", "C", "B", "A"}) << QList<quint64>({1000, 3000, 6000, 10000, 15000, 20000})
                                                   << QStringList({"E-D", "D-C", "C-B", "B-A", "A-FL"})
                                                   << QStringList({"A-FL=5000", "B-A=4000", "C-B=3000", "D-C=2000", "E-D=1000"});
}
void TestAnalysisEngine::loopSegments()
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
void TestAnalysisEngine::pitInLaps()
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
void TestAnalysisEngine::speedUnits()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addEntry(root(p), P);
    LapSpec spec = simpleLap(1000, 90000);
    spec.topSpeed = 200.0;
    writeLap(root(p), P, 1, spec);
    emit p.controller()->analysisLaps();
    QCOMPARE(p.getSpeedRows().first().topSpeed, 200.0);
    // The cached speeds change unit with the unit, once, however often they are read.
    p.setUsaUnits(true);
    p.setUsaUnits(true);
    QVERIFY(qAbs(p.getSpeedRows().first().topSpeed - 124.2742) < 1e-9);
    QVERIFY(qAbs(p.getSpeedRows().first().topSpeed - 124.2742) < 1e-9);
    QVERIFY(qAbs(p.getLapRows().first().topSpeed - 124.2742) < 1e-9);
    QCOMPARE(p.getLapTopSpeed(P, QStringLiteral("1")), 200.0); // the tree's own value
    // A lap filed while imperial units are set is in miles per hour like the rest.
    spec.start = 100000;
    writeLap(root(p), P, 2, spec);
    emit p.controller()->analysisLapsByPnumAndLap(P, QStringLiteral("2"));
    QVERIFY(qAbs(p.getSpeedRows().last().topSpeed - 124.2742) < 1e-9);
    p.setUsaUnits(false);
    QVERIFY(qAbs(p.getSpeedRows().first().topSpeed - 200.0) < 1e-9);
    QVERIFY(qAbs(p.getSpeedRows().last().topSpeed - 200.0) < 1e-9);
}
void TestAnalysisEngine::lastSectorRecord()
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
    // Without the lap's start there is no time of day (it read 30000: 1970).
    details->insertData(QStringLiteral("currentSector"), 2);
    details->deleteKey(QStringLiteral("currentLapStartTime"));
    QCOMPARE(p.getLastSectorRecord(P, 1).dayTime, quint64(0));
}
QTEST_GUILESS_MAIN(TestAnalysisEngine)
#include "tst_analysisengine.moc"
