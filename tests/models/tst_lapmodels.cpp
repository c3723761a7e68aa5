#include "ModelSectionTime.h"
#include "ModelSessionLap.h"
#include "ModelSessionLapForCarFollow.h"
#include "ModelSessionSector.h"
#include "AppSettings.h"
#include "CsvExport.h"
#include "ModelSessionSpeed.h"
#include "SessionClock.h"
#include "TestProvider.h"
#include "TimingColours.h"
#include "TestSettings.h"
#include "TimeOfDay.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QPointer>
#include <QSettings>
#include <QTableView>
#include <QtTest>

#include <ctime>

namespace {

constexpr quint64 kStart = Q_UINT64_C(1767268800000);
const QString kDetails = QStringLiteral("timing.session.standings.overall.participantDetails.");

struct Lap {
    quint64 sector2 = 30000;
    bool trackLimits = false;
    bool pitIn = false;
    double topSpeed = 200.0;
};

// Lap n of a car, ending at kStart + n minutes (+ the car number in ms).
void writeLap(V2DataProvider& p, const QString& pNum, int n, const Lap& lap = Lap())
{
    V2_Data* node = mirrorNode(p, QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(pNum).arg(n));
    const quint64 start = kStart + quint64(n - 1) * 60000 + pNum.toULongLong();
    node->insertData(QStringLiteral("startTime"), start);
    node->insertData(QStringLiteral("time"), 60000);
    node->insertData(QStringLiteral("topSpeed"), lap.topSpeed);
    V2_Data* s1 = node->getOrCreateDataPointer(QStringLiteral("sectors.1"));
    s1->insertData(QStringLiteral("time"), quint64(60000) - lap.sector2);
    V2_Data* s2 = node->getOrCreateDataPointer(QStringLiteral("sectors.2"));
    s2->insertData(QStringLiteral("time"), lap.sector2);
    s2->insertData(QStringLiteral("trackLimits"), lap.trackLimits);
    node->getOrCreateDataPointer(QStringLiteral("sections.Porsche"))->insertData(QStringLiteral("dayTime"), start + 1000);
    if (lap.pitIn)
        node->getOrCreateDataPointer(QStringLiteral("pitIn"))->insertData(QStringLiteral("time"), start + 50000);
}

// Two cars with three laps each, and the caches built.
std::unique_ptr<V2DataProvider> session()
{
    auto provider = makeTestProvider();
    for (const char* car : {"7", "9"}) {
        mirrorNode(*provider, QStringLiteral("timing.session.entry.") + QLatin1String(car));
        for (int n = 1; n <= 3; ++n)
            writeLap(*provider, QLatin1String(car), n);
    }
    emit provider->controller()->analysisLaps();
    return provider;
}

QColor colour(const QAbstractItemModel& model, int row, int column, int role)
{
    return model.data(model.index(row, column), role).value<QBrush>().color();
}

// Car 7's lap 2 has the session's best second sector; its lap 3 the car's own best.
std::unique_ptr<V2DataProvider> bestSectorSession()
{
    auto provider = session();
    V2DataProvider& p = *provider;
    writeLap(p, QStringLiteral("7"), 2, {25000});
    writeLap(p, QStringLiteral("7"), 3, {27000});
    writeLap(p, QStringLiteral("9"), 3, {25000, true});
    mirrorNode(p, QStringLiteral("timing.session.bestResults.overall.sectors.2"))->insertData(QStringLiteral("time"), quint64(25000));
    mirrorNode(p, kDetails + QStringLiteral("7.bestSectors.2"))->insertData(QStringLiteral("time"), quint64(27000));
    emit p.controller()->analysisLaps();
    return provider;
}

} // namespace

class TestLapModels final : public QObject
{
    Q_OBJECT

private slots:
    void bestColours();
    void paletteAndCue_data();
    void paletteAndCue();
    void cleanup();
    void announcements();
    void carFollowColumnsAndPitLaps();
    void notesStayWithTheirLap();
    void noteBeingTypedSurvivesTheNextLap();
    void sectorLiveRows();
    void sectionAndSpeedModels();
    void speedUnitsEverywhere();
    void timesOfDayInTheChosenClock_data();
    void timesOfDayInTheChosenClock();

private:
    TestSettings m_settings;
};

void TestLapModels::bestColours()
{
    auto provider = bestSectorSession();
    ModelSessionLap all(provider.get(), QStringLiteral("Dark"), false);
    ModelSessionLapForCarFollow follow(provider.get(), QStringLiteral("Dark"));
    all.processAnalysis();
    follow.setFollowedParticipant(QStringLiteral("7"));
    follow.processAnalysis();
    const auto rowOf = [&all](const QString& pNum, int lap) {
        for (int row = 0; row < all.rowCount(); ++row) {
            if (all.recordAt(row)->pNum == pNum && all.recordAt(row)->lapNumber == lap)
                return row;
        }
        return -1;
    };
    const int best = rowOf(QStringLiteral("7"), 2);
    const int personal = rowOf(QStringLiteral("7"), 3);
    const int marked = rowOf(QStringLiteral("9"), 3);
    const int s2 = ModelSessionLap::S1 + 1;
    QCOMPARE(all.followedParticipant(), QStringLiteral("---"));
    QCOMPARE(colour(all, best, s2, Qt::BackgroundRole), QColor(Qt::magenta));
    QCOMPARE(colour(all, best, s2, Qt::ForegroundRole), QColor(22, 22, 22));
    // Nobody followed in the general table: no personal bests.
    QVERIFY(!all.data(all.index(personal, s2), Qt::BackgroundRole).isValid());
    QCOMPARE(colour(follow, personal, s2, Qt::BackgroundRole), QColor(Qt::cyan));
    // Sectors 3 and 4 were never run and car 7 has no best there: no time is no best.
    QVERIFY(!follow.data(follow.index(personal, s2 + 1), Qt::BackgroundRole).isValid());
    QVERIFY(!follow.data(follow.index(personal, s2 + 2), Qt::BackgroundRole).isValid());
    QCOMPARE(colour(follow, personal, s2 + 1, Qt::ForegroundRole), QColor(220, 220, 220));
    // A track limits mark: the icon, no magenta, grey text.
    QVERIFY(!all.data(all.index(marked, s2), Qt::BackgroundRole).isValid());
    QCOMPARE(colour(all, marked, s2, Qt::ForegroundRole), QColor(Qt::darkGray));
    QVERIFY(all.data(all.index(marked, s2), Qt::DecorationRole).isValid());
    QCOMPARE(all.cellText(best, s2), QStringLiteral("25.000"));
    // A followed car's rows take its colour in the general table only.
    provider->setFollowColor(1, QColor(Qt::red));
    provider->setCarToFollow(1, QStringLiteral("9"));
    QCOMPARE(colour(all, marked, ModelSessionLap::Number, Qt::BackgroundRole), QColor(Qt::red));
    QVERIFY(!follow.data(follow.index(marked, ModelSessionLap::Number), Qt::BackgroundRole).isValid());
}

void TestLapModels::cleanup()
{
    TimingColours::instance()->setPalette(TimingColours::Classic);
    TimingColours::instance()->setCues(true);
}

void TestLapModels::paletteAndCue_data()
{
    QTest::addColumn<bool>("followBlock");
    QTest::addColumn<QString>("car");
    QTest::addColumn<int>("lap");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("safe");
    QTest::addColumn<bool>("cues");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QColor>("fore");
    QTest::addColumn<int>("font"); // 0 none, 1 bold, 2 underline, 3 struck out
    const int s2 = ModelSessionLap::S1 + 1;
    const QColor dark(22, 22, 22);
    const QColor orange(230, 159, 0);
    const QColor sky(86, 180, 233);
    QTest::newRow("table classic best") << false << "7" << 2 << s2 << false << true << QColor(Qt::magenta) << dark << 1;
    QTest::newRow("table safe best") << false << "7" << 2 << s2 << true << true << orange << dark << 1;
    QTest::newRow("table safe best no cue") << false << "7" << 2 << s2 << true << false << orange << dark << 0;
    QTest::newRow("block safe best") << true << "7" << 2 << s2 << true << true << orange << dark << 1;
    QTest::newRow("block classic personal") << true << "7" << 3 << s2 << false << true << QColor(Qt::cyan) << dark << 2;
    QTest::newRow("block safe personal") << true << "7" << 3 << s2 << true << true << sky << dark << 2;
    QTest::newRow("table marked") << false << "9" << 3 << s2 << true << true << QColor() << QColor(Qt::darkGray) << 3;
    QTest::newRow("table marked no cue") << false << "9" << 3 << s2 << true << false << QColor() << QColor(Qt::darkGray) << 0;
    QTest::newRow("table plain") << false << "9" << 1 << s2 << true << true << QColor() << QColor(220, 220, 220) << 0;
}

void TestLapModels::paletteAndCue()
{
    QFETCH(bool, followBlock);
    QFETCH(QString, car);
    QFETCH(int, lap);
    QFETCH(int, column);
    QFETCH(bool, safe);
    QFETCH(bool, cues);
    QFETCH(QColor, back);
    QFETCH(QColor, fore);
    QFETCH(int, font);
    auto provider = bestSectorSession();
    ModelSessionLap all(provider.get(), QStringLiteral("Dark"), false);
    ModelSessionLapForCarFollow block(provider.get(), QStringLiteral("Dark"));
    block.setFollowedParticipant(QStringLiteral("7"));
    ModelSessionLap& model = followBlock ? block : all;
    model.processAnalysis();
    QSignalSpy repainted(&model, &QAbstractItemModel::dataChanged);
    TimingColours::instance()->setPalette(safe ? TimingColours::ColourSafe : TimingColours::Classic);
    TimingColours::instance()->setCues(cues);
    QCOMPARE(repainted.count(), int(safe) + int(!cues));
    int row = -1;
    for (int r = 0; r < model.rowCount(); ++r) {
        if (model.recordAt(r)->pNum == car && model.recordAt(r)->lapNumber == lap)
            row = r;
    }
    QVERIFY(row >= 0);
    const QVariant brush = model.data(model.index(row, column), Qt::BackgroundRole);
    QCOMPARE(brush.isValid() ? brush.value<QBrush>().color() : QColor(), back);
    QCOMPARE(colour(model, row, column, Qt::ForegroundRole), fore);
    const QVariant cue = model.data(model.index(row, column), Qt::FontRole);
    QCOMPARE(cue.isValid(), font != 0);
    QCOMPARE(cue.value<QFont>().bold(), font == 1);
    QCOMPARE(cue.value<QFont>().underline(), font == 2);
    QCOMPARE(cue.value<QFont>().strikeOut(), font == 3);
}

void TestLapModels::announcements()
{
    auto provider = session();
    ModelSessionLap model(provider.get(), QStringLiteral("Dark"), false);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.processAnalysis();
    QCOMPARE(model.rowCount(), 6);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    // A single-row change beyond the table is ignored.
    model.processAnalysisLap(6, false, false);
    QCOMPARE(changed.count(), 0);
    // A batch's rows 5, 2, 9: one range, rows 2 to the last row.
    model.processAnalysisLapByRowList({5, 2, 9});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 2);
    QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 5);
    // A new lap: one inserted row where the provider filed it.
    writeLap(*provider, QStringLiteral("9"), 4);
    emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("4"));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(model.rowCount(), 7);
    QCOMPARE(model.recordAt(inserted.at(0).at(1).toInt())->lapNumber, 4);
    emit provider->controller()->cleanAll();
    QCOMPARE(model.rowCount(), 0);
}

void TestLapModels::carFollowColumnsAndPitLaps()
{
    auto provider = session();
    V2DataProvider& p = *provider;
    for (int loop = 1; loop <= 2; ++loop)
        mirrorNode(p, QStringLiteral("timing.session.track.info.timingLoops.%1").arg(loop))->insertData(QStringLiteral("name"), QStringLiteral("IM%1").arg(loop));
    writeLap(p, QStringLiteral("7"), 3, {30000, false, true});
    emit p.controller()->analysisLaps();
    ModelSessionLapForCarFollow model(provider.get(), QStringLiteral("Dark"));
    model.processAnalysis();
    // Loop pairs IM1 ― IM2 and IM2 ― FL after the 18 lap columns.
    QCOMPARE(model.columnCount(), 20);
    QCOMPARE(model.headerData(19, Qt::Horizontal).toString(), QString(QStringLiteral("IM2 ") + QChar(0x2015) + QStringLiteral(" FL")));
    int pitRow = -1;
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.recordAt(row)->hasPitIn)
            pitRow = row;
    }
    QVERIFY(pitRow >= 0);
    QCOMPARE(colour(model, pitRow, ModelSessionLap::Lap, Qt::BackgroundRole), QColor(QStringLiteral("#0000BB")));
    QCOMPARE(colour(model, pitRow, ModelSessionLap::Lap, Qt::ForegroundRole), QColor(QStringLiteral("#EFF0F1")));
    QVERIFY(!model.data(model.index(0, ModelSessionLap::Lap), Qt::BackgroundRole).isValid());
}

void TestLapModels::notesStayWithTheirLap()
{
    auto provider = session();
    ModelSessionLap model(provider.get(), QStringLiteral("Dark"), false);
    model.processAnalysis();
    const QModelIndex note = model.index(4, ModelSessionLap::Notes);
    QVERIFY(model.flags(note) & Qt::ItemIsEditable);
    QVERIFY(!(model.flags(model.index(4, ModelSessionLap::LapTime)) & Qt::ItemIsEditable));
    const LapAnalysisRecord noted = *model.recordAt(4);
    QVERIFY(model.setData(note, QStringLiteral("box; \"fuel\"")));
    // A lap that ended earlier arrives: the rows shift, the note stays on its lap.
    writeLap(*provider, QStringLiteral("5"), 1);
    emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("5"), QStringLiteral("1"));
    for (int row = 0; row < model.rowCount(); ++row) {
        const bool same = model.recordAt(row)->pNum == noted.pNum && model.recordAt(row)->lapNumber == noted.lapNumber;
        QCOMPARE(model.cellText(row, ModelSessionLap::Notes), same ? QStringLiteral("box; \"fuel\"") : QString());
    }
}

void TestLapModels::noteBeingTypedSurvivesTheNextLap()
{
    // Lines as the server sends them: a session with one lap of car 7, then
    // car 7 starting its next lap. That line used to reset every lap table,
    // closing the editor without saving what was typed.
    auto provider = makeTestProvider();
    ModelSessionLap model(provider.get(), QStringLiteral("Dark"), false);
    provider->controller()->receiveBytes(
        R"(JSON:1::{"timing":{"analysis":{"laps":{"7":{"laps":{"1":{"startTime":1767268800000,"time":60000}}}}},)"
        R"("session":{"entry":{"7":{"class":"GT3"}},"info":{"sessionDbId":12},"standings":{"overall":{"participantDetails":{"7":{"currentLap":1}}}}}}})"
        "\n");
    QTRY_COMPARE(model.rowCount(), 1);
    QTableView view;
    view.setModel(&model);
    view.show();
    view.edit(model.index(0, ModelSessionLap::Notes));
    QPointer<QLineEdit> editor = view.findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("box next lap"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    provider->controller()->receiveBytes(R"(JSON:2::{"timing":{"session":{"standings":{"overall":{"participantDetails":{"7":{"currentLap":2}}}}}}})"
                                         "\n");
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(reset.count(), 0);
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("box next lap"));
}

void TestLapModels::sectorLiveRows()
{
    auto provider = session();
    V2DataProvider& p = *provider;
    ModelSessionSector sector(provider.get(), QStringLiteral("Dark"), 2);
    ModelSessionSector first(provider.get(), QStringLiteral("Dark"), 1);
    ModelSessionSector third(provider.get(), QStringLiteral("Dark"), 3);
    QAbstractItemModelTester tester(&sector, QAbstractItemModelTester::FailureReportingMode::QtTest);
    for (ModelSessionSector* model : {&sector, &first, &third})
        model->processAnalysis();
    QCOMPARE(sector.rowCount(), 6);
    // Car 7 completes sector 2 of its fourth lap: shown at once from its details.
    V2_Data* details = mirrorNode(p, kDetails + QStringLiteral("7"));
    details->insertData(QStringLiteral("currentSector"), 3);
    details->insertData(QStringLiteral("currentLapStartTime"), kStart + 180000);
    mirrorNode(p, kDetails + QStringLiteral("7.lastSectors.1"))->insertData(QStringLiteral("time"), quint64(31000));
    mirrorNode(p, kDetails + QStringLiteral("7.lastSectors.2"))->insertData(QStringLiteral("time"), quint64(29500));
    emit p.controller()->participantDetailsByPnum(QStringLiteral("7"));
    QCOMPARE(sector.rowCount(), 7);
    QCOMPARE(sector.data(sector.index(6, ModelAnalysisTable::Value)).toString(), QStringLiteral("29.500"));
    emit p.controller()->participantDetailsByPnum(QStringLiteral("7")); // the same sector again
    QCOMPARE(sector.rowCount(), 7);
    // Only the sector just completed: sector 1 was shown when it was, sector
    // 3 is not run yet (each used to get a row, the third a future one).
    QCOMPARE(first.rowCount(), 6);
    QCOMPARE(third.rowCount(), 6);
    // Without the lap's start no row: it was dated by the sectors alone, in 1970.
    V2_Data* other = mirrorNode(p, kDetails + QStringLiteral("9"));
    other->insertData(QStringLiteral("currentSector"), 2);
    mirrorNode(p, kDetails + QStringLiteral("9.lastSectors.1"))->insertData(QStringLiteral("time"), quint64(30000));
    emit p.controller()->participantDetailsByPnum(QStringLiteral("9"));
    QCOMPARE(first.rowCount(), 6);
    // Back in sector 1 the track's last sector was completed, on the last lap.
    mirrorNode(p, QStringLiteral("timing.session.track.info"))->insertData(QStringLiteral("numberOfSectors"), 3);
    other->insertData(QStringLiteral("currentSector"), 1);
    mirrorNode(p, kDetails + QStringLiteral("9.lastLap"))->insertData(QStringLiteral("lapStartTime"), kStart + 180009);
    for (int s = 2; s <= 3; ++s)
        mirrorNode(p, kDetails + QStringLiteral("9.lastSectors.%1").arg(s))->insertData(QStringLiteral("time"), quint64(20000));
    emit p.controller()->participantDetailsByPnum(QStringLiteral("9"));
    QCOMPARE(first.rowCount(), 6);
    QCOMPARE(third.rowCount(), 7);
    QCOMPARE(third.data(third.index(6, ModelAnalysisTable::Value)).toString(), QStringLiteral("20.000"));
    // Another sector's signals leave it alone; its own take the provider's rows again.
    sector.processAnalysisLap(0, false, 3, false);
    QCOMPARE(sector.rowCount(), 7);
    writeLap(p, QStringLiteral("9"), 4);
    emit p.controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("4"));
    QCOMPARE(sector.rowCount(), 7);
    QCOMPARE(sector.data(sector.index(6, ModelAnalysisTable::Number)).toString(), QStringLiteral("9"));
}

void TestLapModels::sectionAndSpeedModels()
{
    auto provider = session();
    ModelSectionTime porsche(provider.get(), QStringLiteral("Dark"), QStringLiteral("Porsche"));
    ModelSectionTime ford(provider.get(), QStringLiteral("Dark"), QStringLiteral("Ford"));
    ModelSessionSpeed speeds(provider.get(), QStringLiteral("Dark"));
    for (ModelAnalysisTable* model : std::initializer_list<ModelAnalysisTable*>{&porsche, &ford, &speeds})
        model->processAnalysis();
    QSignalSpy porscheRows(&porsche, &QAbstractItemModel::rowsInserted);
    QSignalSpy fordRows(&ford, &QAbstractItemModel::rowsInserted);
    writeLap(*provider, QStringLiteral("9"), 4);
    emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("4"));
    QCOMPARE(porscheRows.count(), 1);
    // Laps without a Ford section file no Ford record (they used to, dated 0).
    QCOMPARE(fordRows.count(), 0);
    QCOMPARE(ford.rowCount(), 0);
    QCOMPARE(porsche.rowCount(), 7);
    QCOMPARE(speeds.headerData(ModelAnalysisTable::Value, Qt::Horizontal).toString(), QStringLiteral("Speed (km/h)"));
    QCOMPARE(speeds.data(speeds.index(0, ModelAnalysisTable::Value)).toString(), QStringLiteral("200.0"));
    provider->setUsaUnits(true);
    speeds.setUsaUnits(true);
    QCOMPARE(speeds.data(speeds.index(0, ModelAnalysisTable::Value)).toString(), QStringLiteral("124.3"));
}

// Switching units: every table showing a cached speed repaints it and names
// the unit; the provider alone is told, as the main window tells it first.
void TestLapModels::speedUnitsEverywhere()
{
    auto provider = session();
    ModelSessionLap laps(provider.get(), QStringLiteral("Dark"), false);
    ModelSessionLapForCarFollow follow(provider.get(), QStringLiteral("Dark"), true);
    ModelSessionSpeed speeds(provider.get(), QStringLiteral("Dark"));
    laps.processAnalysis();
    follow.processAnalysis();
    speeds.processAnalysis();
    QCOMPARE(laps.headerData(ModelSessionLap::Speed, Qt::Horizontal).toString(), QStringLiteral("Speed (km/h)"));
    QCOMPARE(laps.cellText(0, ModelSessionLap::Speed), QStringLiteral("200.0"));
    QSignalSpy lapCells(&laps, &QAbstractItemModel::dataChanged);
    QSignalSpy followCells(&follow, &QAbstractItemModel::dataChanged);
    QSignalSpy speedCells(&speeds, &QAbstractItemModel::dataChanged);
    qRegisterMetaType<Qt::Orientation>();
    QSignalSpy lapHeader(&laps, &QAbstractItemModel::headerDataChanged);
    provider->setUsaUnits(true);
    for (QSignalSpy* spy : {&lapCells, &followCells, &speedCells}) {
        QCOMPARE(spy->count(), 1);
        QCOMPARE(spy->first().at(0).toModelIndex().row(), 0);
        QCOMPARE(spy->first().at(1).toModelIndex().row(), 5);
    }
    QCOMPARE(lapCells.first().at(0).toModelIndex().column(), int(ModelSessionLap::Speed));
    QCOMPARE(lapHeader.count(), 1);
    QCOMPARE(laps.cellText(0, ModelSessionLap::Speed), QStringLiteral("124.3"));
    QCOMPARE(follow.cellText(5, ModelSessionLap::Speed), QStringLiteral("124.3"));
    QCOMPARE(speeds.data(speeds.index(0, ModelAnalysisTable::Value)).toString(), QStringLiteral("124.3"));
    QCOMPARE(laps.headerData(ModelSessionLap::Speed, Qt::Horizontal).toString(), QStringLiteral("Speed (mph)"));
    QCOMPARE(follow.headerData(ModelSessionLap::Speed, Qt::Horizontal).toString(), QStringLiteral("Speed (mph)"));
    QCOMPARE(speeds.headerData(ModelAnalysisTable::Value, Qt::Horizontal).toString(), QStringLiteral("Speed (mph)"));
}

void TestLapModels::timesOfDayInTheChosenClock_data()
{
    QTest::addColumn<int>("zone");
    QTest::addColumn<QString>("lapStart");
    QTest::addColumn<QString>("stored");
    // Car 7's first lap starts at 12:00:00 UTC; the track runs two hours ahead.
    QTest::newRow("this computer's time") << int(TimeOfDay::ComputerTime) << QStringLiteral("12:00:00") << QStringLiteral("computer");
    QTest::newRow("track time") << int(TimeOfDay::TrackTime) << QStringLiteral("14:00:00") << QStringLiteral("track");
}

void TestLapModels::timesOfDayInTheChosenClock()
{
    QFETCH(int, zone);
    QFETCH(QString, lapStart);
    QFETCH(QString, stored);
    // The computer's clock reads UTC here, whatever the machine's zone.
    qputenv("TZ", "UTC");
    tzset();
    SessionClock::setUtcOffset(7200000);
    TimeOfDay::setZone(TimeOfDay::Zone(zone));
    auto provider = session();
    ModelSessionLap model(provider.get(), QStringLiteral("Dark"), false);
    model.processAnalysis();
    int row = 0;
    while (row < model.rowCount() && !(model.recordAt(row)->pNum == QLatin1String("7") && model.recordAt(row)->lapNumber == 1))
        ++row;
    QVERIFY(row < model.rowCount());
    QCOMPARE(model.data(model.index(row, ModelSessionLap::DayTime)).toString(), lapStart);

    QTableView view;
    view.setModel(&model);
    QString error;
    const QString path = m_settings.filePath(QStringLiteral("laps.csv"));
    QVERIFY2(CsvExport::write(view, path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QVERIFY(lines.size() > row + 1);
    QVERIFY2(lines.at(row + 1).startsWith(lapStart.toUtf8() + ';'), lines.at(row + 1).constData());

    // The choice is kept for the next start.
    QCOMPARE(AppSettings::open()->value(TimeOfDay::kZoneKey).toString(), stored);
    TimeOfDay::setZone(TimeOfDay::ComputerTime);
    SessionClock::setUtcOffset(0);
}

QTEST_MAIN(TestLapModels)
#include "tst_lapmodels.moc"
