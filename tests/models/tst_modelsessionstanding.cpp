#include "ModelSessionStandingBySector.h"
#include "ModelSessionStandingPractice.h"
#include "SessionClock.h"
#include "TestProvider.h"
#include "TimingColours.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QIcon>
#include <QtTest>

namespace {

// The computer clock of these tests.
qint64 g_now = Q_INT64_C(1767268800000);
qint64 testClock()
{
    return g_now;
}

const QString kDetails = QStringLiteral("timing.session.standings.overall.participantDetails.");

// One car at an overall position, with its details.
void addCar(V2DataProvider& p, int position, const QString& pNum, const QString& className = QStringLiteral("GT3"))
{
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.active.%1").arg(position))->insertData(QStringLiteral("participant"), pNum);
    V2_Data* entry = mirrorNode(p, QStringLiteral("timing.session.entry.") + pNum);
    entry->insertData(QStringLiteral("class"), className);
    entry->getOrCreateDataPointer(QStringLiteral("drivers.1"))->insertData(QStringLiteral("lastName"), QStringLiteral("Driver") + pNum);
    V2_Data* details = mirrorNode(p, kDetails + pNum);
    details->insertData(QStringLiteral("currentDriver"), 1);
    details->insertData(QStringLiteral("elapsedLaps"), 10);
}

V2_Data* standing(V2DataProvider& p, int position)
{
    return mirrorNode(p, QStringLiteral("timing.session.standings.overall.active.%1").arg(position));
}

void setSector(V2DataProvider& p, const QString& pNum, int sector, quint64 last, quint64 best, bool valid = true)
{
    V2_Data* lastNode = mirrorNode(p, kDetails + pNum + QStringLiteral(".lastSectors.%1").arg(sector));
    lastNode->insertData(QStringLiteral("time"), last);
    lastNode->insertData(QStringLiteral("isValid"), valid);
    mirrorNode(p, kDetails + pNum + QStringLiteral(".bestSectors.%1").arg(sector))->insertData(QStringLiteral("time"), best);
}

QString text(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

// An invalid colour when the cell has no background.
QColor background(const QAbstractItemModel& model, int row, int column)
{
    const QVariant brush = model.data(model.index(row, column), Qt::BackgroundRole);
    return brush.isValid() ? brush.value<QBrush>().color() : QColor();
}

QColor foreground(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column), Qt::ForegroundRole).value<QBrush>().color();
}

// A cell's cue as letters: b bold, u underlined, i italic, s struck out; "-" without a font.
QString cue(const QAbstractItemModel& model, int row, int column)
{
    const QVariant value = model.data(model.index(row, column), Qt::FontRole);
    if (!value.isValid())
        return QStringLiteral("-");
    const QFont font = value.value<QFont>();
    QString letters;
    if (font.bold())
        letters += QLatin1Char('b');
    if (font.underline())
        letters += QLatin1Char('u');
    if (font.italic())
        letters += QLatin1Char('i');
    if (font.strikeOut())
        letters += QLatin1Char('s');
    return letters;
}

} // namespace

class TestModelSessionStanding final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void headersAndShape();
    void gapTexts_data();
    void gapTexts();
    void pitPhase();
    void pitTimes_data();
    void pitTimes();
    void sectorColours_data();
    void sectorColours();
    void lastLapColours();
    void paletteAndCue_data();
    void paletteAndCue();
    void icons();
    void practiceColumns();
    void classAndOverallUpdates();
    void updatesAnnounceOneRow();
    void consistentForViews();
    void periodicRefresh();
};

void TestModelSessionStanding::init()
{
    g_now = Q_INT64_C(1767268800000);
    SessionClock::reset();
    SessionClock::setClock(&testClock);
}

void TestModelSessionStanding::cleanup()
{
    SessionClock::setClock(nullptr);
    TimingColours::instance()->setPalette(TimingColours::Classic);
    TimingColours::instance()->setCues(true);
}

void TestModelSessionStanding::headersAndShape()
{
    auto provider = makeTestProvider();
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingPractice practice(provider.get(), QStringLiteral("Dark"));
    QCOMPARE(race.rowCount(), 0);
    // Rows appear with the first standings notification.
    addCar(*provider, 1, QStringLiteral("7"));
    addCar(*provider, 2, QStringLiteral("9"));
    emit provider->controller()->standingsOverall();
    QCOMPARE(race.rowCount(), 2);
    QCOMPARE(race.data(race.index(1, 0)), QVariant(2));
    QCOMPARE(text(race, 1, 1), QStringLiteral("9"));
    QCOMPARE(text(race, 1, 2), QStringLiteral("Driver9"));
    QCOMPARE(text(race, 1, 3), QStringLiteral("GT3"));
    QVERIFY(!race.data(race.index(0, 0), Qt::EditRole).isValid());
    QVERIFY(!race.data(race.index(5, 0)).isValid());
    emit provider->controller()->cleanAll();
    QCOMPARE(race.rowCount(), 0);
}

void TestModelSessionStanding::gapTexts_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("laps");
    QTest::addColumn<double>("time");
    QTest::addColumn<QString>("gap");
    QTest::addColumn<QString>("interval");
    QTest::newRow("leader") << 1 << "" << 0 << 0.0 << "" << "";
    QTest::newRow("leader with a stored gap") << 1 << "" << 1 << 5000.0 << "" << "";
    QTest::newRow("time") << 2 << "CLASSIFIED" << 0 << 6186.0 << "6.186" << "6.186";
    QTest::newRow("minutes") << 2 << "" << 0 << 83456.0 << "1:23.456" << "1:23.456";
    QTest::newRow("one lap") << 3 << "" << 1 << 0.0 << "1 Lap" << "1 Lap";
    QTest::newRow("two laps, stored negative") << 3 << "" << -2 << 0.0 << "2 Laps" << "2 Laps";
    QTest::newRow("no gap yet") << 3 << "" << 0 << -1.0 << "" << "";
    QTest::newRow("retired") << 4 << "RETIRED" << 0 << 2000.0 << "RETIRED" << "";
    QTest::newRow("not classified") << 4 << "NOT_CLASSIFIED" << 0 << 2000.0 << "2.000" << "";
}

void TestModelSessionStanding::gapTexts()
{
    QFETCH(int, position);
    QFETCH(QString, status);
    QFETCH(int, laps);
    QFETCH(double, time);
    QFETCH(QString, gap);
    QFETCH(QString, interval);
    auto provider = makeTestProvider();
    for (int i = 1; i <= position; ++i)
        addCar(*provider, i, QString::number(i * 10));
    V2_Data* row = standing(*provider, position);
    row->insertData(QStringLiteral("status"), status);
    for (const char* prefix : {"gapFirst", "gapPrevious"}) {
        row->insertData(QLatin1String(prefix) + QStringLiteral("Laps"), laps);
        if (time >= 0)
            row->insertData(QLatin1String(prefix) + QStringLiteral("Time"), time);
    }
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingPractice practice(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    practice.processRefresh();
    QCOMPARE(text(race, position - 1, ModelSessionStandingBySector::Gap), gap);
    QCOMPARE(text(race, position - 1, ModelSessionStandingBySector::Interval), interval);
    QCOMPARE(text(practice, position - 1, ModelSessionStandingPractice::Gap), gap);
    QCOMPARE(text(practice, position - 1, ModelSessionStandingPractice::Interval), interval);
}

void TestModelSessionStanding::pitPhase()
{
    auto provider = makeTestProvider();
    addCar(*provider, 1, QStringLiteral("7"));
    for (int s = 1; s <= 4; ++s)
        setSector(*provider, QStringLiteral("7"), s, 30000 + s, 29000 + s);
    const quint64 pitIn = quint64(g_now) - 10000;
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.%1").arg(pitIn));
    // An exit older than the entry does not count: the car is in the pit lane.
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitOut.7.pits.%1").arg(pitIn - 600000));
    ModelSessionStandingBySector dark(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingBySector light(provider.get(), QStringLiteral("Light"));
    dark.processRefresh();
    light.processRefresh();
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::PitOutTime), QString());
    QVERIFY(!text(dark, 0, ModelSessionStandingBySector::PitInTime).isEmpty());

    // 10 s after the entry: still the last sectors.
    QVERIFY(!dark.showsBestSectors(0));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::S2), QStringLiteral("30.002"));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::PitTime), QStringLiteral("00:10.000"));

    // After 15 s: the best sectors, cyan on the dark skin, blue on the light one.
    g_now += 5001;
    QVERIFY(dark.showsBestSectors(0));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::S2), QStringLiteral("29.002"));
    QCOMPARE(foreground(dark, 0, ModelSessionStandingBySector::S2), QColor(Qt::cyan));
    QCOMPARE(foreground(light, 0, ModelSessionStandingBySector::S2), QColor(Qt::blue));
    QVERIFY(!dark.data(dark.index(0, ModelSessionStandingBySector::S2), Qt::BackgroundRole).isValid());
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::PitTime), QStringLiteral("00:15.001"));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::LastPitInLap), QString());

    // Out again: last sectors return, the stop has its length. The pit exit
    // alone is enough to update the row.
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitOut.7.pits.%1").arg(pitIn + 65250));
    emit provider->controller()->analysisPitOut();
    QTRY_COMPARE(text(dark, 0, ModelSessionStandingBySector::PitTime), QStringLiteral("01:05.250"));
    mirrorNode(*provider, kDetails + QStringLiteral("7"))->insertData(QStringLiteral("pitStops"), 1);
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.%1").arg(pitIn))->insertData(QStringLiteral("lapNumber"), 12);
    emit provider->controller()->participantDetailsByPnum(QStringLiteral("7"));
    QVERIFY(!dark.showsBestSectors(0));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::S2), QStringLiteral("30.002"));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::PitTime), QStringLiteral("01:05.250"));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::LastPitInLap), QStringLiteral("12"));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::Pit), QStringLiteral("1"));
    QVERIFY(!text(dark, 0, ModelSessionStandingBySector::PitOutTime).isEmpty());

    // A closed session shows no pit time, and best sectors for a car in the lane at once.
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.%1").arg(pitIn + 100000));
    mirrorNode(*provider, QStringLiteral("timing.session.status"))->insertData(QStringLiteral("isClosed"), true);
    g_now = qint64(pitIn) + 100001;
    emit provider->controller()->standingsOverall();
    QVERIFY(dark.showsBestSectors(0));
    QCOMPARE(text(dark, 0, ModelSessionStandingBySector::PitTime), QString());
}

void TestModelSessionStanding::pitTimes_data()
{
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("shown");
    QTest::newRow("seconds") << qint64(24500) << "00:24.500";
    QTest::newRow("just under an hour") << qint64(3599999) << "59:59.999";
    QTest::newRow("an hour") << qint64(3600000) << "01:00:00";
    QTest::newRow("one hour two minutes") << qint64(3720000) << "01:02:00";
}

void TestModelSessionStanding::pitTimes()
{
    QFETCH(qint64, length);
    QFETCH(QString, shown);
    auto provider = makeTestProvider();
    addCar(*provider, 1, QStringLiteral("7"));
    const qint64 in = g_now - 5000000;
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.%1").arg(in));
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitOut.7.pits.%1").arg(in + length));
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    QCOMPARE(text(race, 0, ModelSessionStandingBySector::PitTime), shown);
}

void TestModelSessionStanding::sectorColours_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<quint64>("last");
    QTest::addColumn<quint64>("personalBest");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("followed");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QColor>("fore");
    const QColor none;
    const QColor darkText(22, 22, 22);
    const QColor lightText(220, 220, 220);
    const QColor follow(255, 160, 0);
    QTest::newRow("session best") << "Dark" << quint64(25000) << quint64(25000) << true << false << QColor(Qt::magenta) << darkText;
    QTest::newRow("personal best") << "Dark" << quint64(25500) << quint64(25500) << true << false << QColor(Qt::cyan) << darkText;
    QTest::newRow("ordinary dark") << "Dark" << quint64(26000) << quint64(25500) << true << false << none << lightText;
    QTest::newRow("ordinary light") << "Light" << quint64(26000) << quint64(25500) << true << false << none << darkText;
    QTest::newRow("invalid dark") << "Dark" << quint64(25000) << quint64(25000) << false << false << none << QColor(Qt::darkGray);
    QTest::newRow("invalid light") << "Light" << quint64(25000) << quint64(25000) << false << false << none << QColor(Qt::gray);
    QTest::newRow("followed") << "Dark" << quint64(26000) << quint64(25500) << true << true << follow << darkText;
    QTest::newRow("followed best") << "Dark" << quint64(25000) << quint64(25000) << true << true << QColor(Qt::magenta) << darkText;
    // Grey is not read on a follow colour: dark text, struck out.
    QTest::newRow("invalid followed") << "Dark" << quint64(25000) << quint64(25000) << false << true << follow << darkText;
}

void TestModelSessionStanding::sectorColours()
{
    QFETCH(QString, skin);
    QFETCH(quint64, last);
    QFETCH(quint64, personalBest);
    QFETCH(bool, valid);
    QFETCH(bool, followed);
    QFETCH(QColor, back);
    QFETCH(QColor, fore);
    auto provider = makeTestProvider();
    addCar(*provider, 1, QStringLiteral("7"));
    setSector(*provider, QStringLiteral("7"), 2, last, personalBest, valid);
    mirrorNode(*provider, QStringLiteral("timing.session.bestResults.overall.sectors.2"))->insertData(QStringLiteral("time"), quint64(25000));
    if (followed) {
        provider->setFollowColor(0, QColor(255, 160, 0));
        provider->setCarToFollow(0, QStringLiteral("7"));
    }
    ModelSessionStandingBySector race(provider.get(), skin);
    race.processRefresh();
    QCOMPARE(background(race, 0, ModelSessionStandingBySector::S2), back);
    QCOMPARE(foreground(race, 0, ModelSessionStandingBySector::S2), fore);
    TimingColours::instance()->setCues(false);
    QCOMPARE(cue(race, 0, ModelSessionStandingBySector::S2), !valid && followed ? QStringLiteral("s") : QStringLiteral("-"));
}

void TestModelSessionStanding::lastLapColours()
{
    auto provider = makeTestProvider();
    addCar(*provider, 1, QStringLiteral("7"));
    addCar(*provider, 2, QStringLiteral("9"));
    addCar(*provider, 3, QStringLiteral("11"));
    mirrorNode(*provider, QStringLiteral("timing.session.bestResults.overall.lap"))->insertData(QStringLiteral("time"), quint64(90000));
    const auto lap = [&](const char* pNum, quint64 last, quint64 best, bool valid) {
        mirrorNode(*provider, kDetails + QLatin1String(pNum) + QStringLiteral(".lastLap"))->insertData(QStringLiteral("time"), last);
        mirrorNode(*provider, kDetails + QLatin1String(pNum) + QStringLiteral(".lastLap"))->insertData(QStringLiteral("isValid"), valid);
        mirrorNode(*provider, kDetails + QLatin1String(pNum) + QStringLiteral(".bestLap"))->insertData(QStringLiteral("time"), best);
    };
    lap("7", 90000, 90000, true);
    lap("9", 91000, 91000, true);
    lap("11", 90000, 90000, false);
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    QCOMPARE(background(race, 0, ModelSessionStandingBySector::LastLap), QColor(Qt::magenta));
    QCOMPARE(text(race, 0, ModelSessionStandingBySector::LastLap), QStringLiteral("1:30.000"));
    QCOMPARE(text(race, 0, ModelSessionStandingBySector::FastestLap), QStringLiteral("1:30.000"));
    QCOMPARE(background(race, 1, ModelSessionStandingBySector::LastLap), QColor(Qt::cyan));
    QCOMPARE(foreground(race, 1, ModelSessionStandingBySector::LastLap), QColor(22, 22, 22));
    QVERIFY(!race.data(race.index(2, ModelSessionStandingBySector::LastLap), Qt::BackgroundRole).isValid());
    QCOMPARE(foreground(race, 2, ModelSessionStandingBySector::LastLap), QColor(Qt::darkGray));
    // Without a completed lap: no last lap text, no colour.
    mirrorNode(*provider, kDetails + QStringLiteral("9"))->insertData(QStringLiteral("elapsedLaps"), 0);
    emit provider->controller()->standingsOverallByPosition(2);
    QCOMPARE(text(race, 1, ModelSessionStandingBySector::LastLap), QString());
    QCOMPARE(text(race, 1, ModelSessionStandingBySector::Laps), QString());
    QVERIFY(!race.data(race.index(1, ModelSessionStandingBySector::LastLap), Qt::BackgroundRole).isValid());
    QCOMPARE(foreground(race, 1, ModelSessionStandingBySector::LastLap), QColor(220, 220, 220));
}

void TestModelSessionStanding::paletteAndCue_data()
{
    QTest::addColumn<bool>("practice");
    QTest::addColumn<QString>("skin");
    QTest::addColumn<bool>("safe");
    QTest::addColumn<bool>("cues");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<QColor>("fore");
    QTest::addColumn<QString>("font");
    // Row 0: a session best sector; row 1: a personal best sector and a personal
    // best last lap; row 2: an invalid sector; row 3: best sectors in the pit lane.
    const int s2 = ModelSessionStandingBySector::S2;
    const int lastLap = ModelSessionStandingBySector::LastLap;
    const QColor dark(22, 22, 22);
    const QColor none;
    const QColor orange(230, 159, 0);
    const QColor sky(86, 180, 233);
    QTest::newRow("race classic session best") << false << "Dark" << false << true << 0 << s2 << QColor(Qt::magenta) << dark << "b";
    QTest::newRow("race safe session best") << false << "Dark" << true << true << 0 << s2 << orange << dark << "b";
    QTest::newRow("race safe session best no cue") << false << "Dark" << true << false << 0 << s2 << orange << dark << "-";
    QTest::newRow("race safe personal best") << false << "Dark" << true << true << 1 << s2 << sky << dark << "u";
    QTest::newRow("race classic personal lap") << false << "Light" << false << true << 1 << lastLap << QColor(Qt::cyan) << dark << "u";
    QTest::newRow("race safe personal lap") << false << "Light" << true << true << 1 << lastLap << sky << dark << "u";
    QTest::newRow("race invalid") << false << "Dark" << true << true << 2 << s2 << none << QColor(Qt::darkGray) << "s";
    QTest::newRow("race invalid high contrast") << false << "HighContrast" << true << true << 2 << s2 << none << QColor(Qt::lightGray) << "s";
    QTest::newRow("race classic pit best dark") << false << "Dark" << false << true << 3 << s2 << none << QColor(Qt::cyan) << "i";
    QTest::newRow("race safe pit best dark") << false << "Dark" << true << true << 3 << s2 << none << sky << "i";
    QTest::newRow("race safe pit best light") << false << "Light" << true << false << 3 << s2 << none << QColor(0, 114, 178) << "-";
    QTest::newRow("race ordinary high contrast") << false << "HighContrast" << true << true << 0 << int(ModelSessionStandingBySector::Name) << none
                                                  << QColor(255, 255, 255) << "-";
    QTest::newRow("practice safe session best") << true << "Dark" << true << true << 0 << s2 << orange << dark << "b";
    QTest::newRow("practice classic personal best") << true << "Dark" << false << true << 1 << s2 << QColor(Qt::cyan) << dark << "u";
}

void TestModelSessionStanding::paletteAndCue()
{
    QFETCH(bool, practice);
    QFETCH(QString, skin);
    QFETCH(bool, safe);
    QFETCH(bool, cues);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QColor, back);
    QFETCH(QColor, fore);
    QFETCH(QString, font);
    auto provider = makeTestProvider();
    mirrorNode(*provider, QStringLiteral("timing.session.bestResults.overall.sectors.2"))->insertData(QStringLiteral("time"), quint64(25000));
    mirrorNode(*provider, QStringLiteral("timing.session.bestResults.overall.lap"))->insertData(QStringLiteral("time"), quint64(90000));
    const char* cars[] = {"7", "9", "11", "12"};
    const quint64 last[] = {25000, 25500, 25000, 26000};
    const quint64 best[] = {25000, 25500, 25000, 25800};
    for (int i = 0; i < 4; ++i) {
        const QString car = QLatin1String(cars[i]);
        addCar(*provider, i + 1, car);
        setSector(*provider, car, 2, last[i], best[i], i != 2);
        mirrorNode(*provider, kDetails + car + QStringLiteral(".lastLap"))->insertData(QStringLiteral("time"), quint64(91000));
        mirrorNode(*provider, kDetails + car + QStringLiteral(".lastLap"))->insertData(QStringLiteral("isValid"), true);
        mirrorNode(*provider, kDetails + car + QStringLiteral(".bestLap"))->insertData(QStringLiteral("time"), quint64(91000));
    }
    // Car 12 entered the pit lane 20 s ago: its best sectors show.
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.12.pits.%1").arg(g_now - 20000));
    std::unique_ptr<ModelSessionStanding> model;
    if (practice)
        model = std::make_unique<ModelSessionStandingPractice>(provider.get(), skin);
    else
        model = std::make_unique<ModelSessionStandingBySector>(provider.get(), skin);
    model->processRefresh();
    QSignalSpy repainted(model.get(), &QAbstractItemModel::dataChanged);
    TimingColours::instance()->setPalette(safe ? TimingColours::ColourSafe : TimingColours::Classic);
    TimingColours::instance()->setCues(cues);
    // A change of palette or cue repaints every row at once.
    QCOMPARE(repainted.count(), int(safe) + int(!cues));
    QCOMPARE(background(*model, row, column), back);
    QCOMPARE(foreground(*model, row, column), fore);
    QCOMPARE(cue(*model, row, column), font);
}

void TestModelSessionStanding::icons()
{
    auto provider = makeTestProvider();
    const QStringList statuses = {"BOX", "OUT_LAP", "STOPPED", "RETIRED"};
    for (int i = 0; i < statuses.size(); ++i) {
        addCar(*provider, i + 1, QString::number(i + 1));
        mirrorNode(*provider, kDetails + QString::number(i + 1))->insertData(QStringLiteral("status"), statuses.at(i));
    }
    mirrorNode(*provider, kDetails + QStringLiteral("4"))->insertData(QStringLiteral("hasSeenCheckered"), true);
    mirrorNode(*provider, kDetails + QStringLiteral("1"))->insertData(QStringLiteral("currentLap"), 3);
    mirrorNode(*provider, QStringLiteral("timing.analysis.laps.1.laps.3.sectors.2"))->insertData(QStringLiteral("trackLimits"), true);
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    QVERIFY(race.data(race.index(0, 1), Qt::DecorationRole).value<QIcon>().pixmap(16).toImage()
            != race.data(race.index(1, 1), Qt::DecorationRole).value<QIcon>().pixmap(16).toImage());
    for (int row = 0; row < 4; ++row)
        QVERIFY2(!race.data(race.index(row, 1), Qt::DecorationRole).value<QIcon>().isNull(), qPrintable(statuses.at(row)));
    QVERIFY(!race.data(race.index(0, 2), Qt::DecorationRole).isValid());
    QVERIFY(!race.data(race.index(0, ModelSessionStandingBySector::S2), Qt::DecorationRole).value<QPixmap>().isNull());
    QVERIFY(!race.data(race.index(0, ModelSessionStandingBySector::S1), Qt::DecorationRole).isValid());
    QCOMPARE(race.data(race.index(0, ModelSessionStandingBySector::S2), Qt::DecorationRole).value<QPixmap>().size(), QSize(14, 14));
}

void TestModelSessionStanding::practiceColumns()
{
    auto provider = makeTestProvider();
    addCar(*provider, 1, QStringLiteral("7"));
    V2_Data* details = mirrorNode(*provider, kDetails + QStringLiteral("7"));
    details->insertData(QStringLiteral("currentSector"), 3);
    details->insertData(QStringLiteral("trackLimitsInfractions"), 2);
    details->getOrCreateDataPointer(QStringLiteral("bestLap"))->insertData(QStringLiteral("time"), quint64(95123));
    details->getOrCreateDataPointer(QStringLiteral("bestLap"))->insertData(QStringLiteral("number"), 6);
    setSector(*provider, QStringLiteral("7"), 1, 25000, 25000);
    mirrorNode(*provider, QStringLiteral("timing.session.bestResults.overall.sectors.1"))->insertData(QStringLiteral("time"), quint64(25000));
    details->insertData(QStringLiteral("currentLap"), 4);
    mirrorNode(*provider, QStringLiteral("timing.analysis.laps.7.laps.4.sectors.1"))->insertData(QStringLiteral("trackLimits"), true);
    ModelSessionStandingPractice practice(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    practice.processRefresh();
    race.processRefresh();
    QCOMPARE(text(practice, 0, ModelSessionStandingPractice::Lap), QStringLiteral("6"));
    QCOMPARE(text(practice, 0, ModelSessionStandingPractice::Time), QStringLiteral("1:35.123"));
    QCOMPARE(text(practice, 0, ModelSessionStandingPractice::Laps), QStringLiteral("10"));
    QCOMPARE(text(practice, 0, ModelSessionStandingPractice::TrackLimitsInfractions), QStringLiteral("2"));
    QCOMPARE(text(race, 0, ModelSessionStandingBySector::S), QStringLiteral("3"));
    // A sector with a track-limits mark is not coloured as a best in practice; in a race it is.
    QVERIFY(!practice.data(practice.index(0, ModelSessionStandingPractice::S1), Qt::BackgroundRole).isValid());
    QCOMPARE(background(race, 0, ModelSessionStandingBySector::S1), QColor(Qt::magenta));
}

void TestModelSessionStanding::classAndOverallUpdates()
{
    auto provider = makeTestProvider();
    addCar(*provider, 1, QStringLiteral("7"));
    mirrorNode(*provider, QStringLiteral("timing.session.standings.byClass.active.GT3.standings.1"))->insertData(QStringLiteral("participant"),
                                                                                                                QStringLiteral("7"));
    ModelSessionStandingBySector overall(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingBySector byClass(provider.get(), QStringLiteral("Dark"));
    overall.setClassType(QString());
    byClass.setClassType(QStringLiteral("GT3"));
    QCOMPARE(byClass.rowCount(), 1);
    QSignalSpy overallChanged(&overall, &QAbstractItemModel::dataChanged);
    QSignalSpy classChanged(&byClass, &QAbstractItemModel::dataChanged);
    // Each announcement below comes with car 7's row changed (a row that did
    // not change is not repainted).
    int laps = 10;
    const auto lapDone = [&] { mirrorNode(*provider, kDetails + QStringLiteral("7"))->insertData(QStringLiteral("elapsedLaps"), ++laps); };
    lapDone();
    emit provider->controller()->standingsOverallByPosition(1);
    QCOMPARE(overallChanged.count(), 1);
    QCOMPARE(classChanged.count(), 0);
    lapDone();
    emit provider->controller()->standingsByClassByPosition(1);
    QCOMPARE(overallChanged.count(), 1);
    QCOMPARE(classChanged.count(), 1);
    // Another class's third position is no row of this class.
    QSignalSpy inserted(&byClass, &QAbstractItemModel::rowsInserted);
    emit provider->controller()->standingsByClassByPosition(2);
    emit provider->controller()->standingsByClassByPosition(3);
    QCOMPARE(byClass.rowCount(), 1);
    QCOMPARE(inserted.count(), 0);
    // "Overall" in any case counts as overall (the same rows: repainted, not reset).
    overall.setClassType(QStringLiteral("overall"));
    lapDone();
    emit provider->controller()->standingsOverallByPosition(1);
    QCOMPARE(overallChanged.count(), 3);
    // A participant update reaches the row of that participant only.
    lapDone();
    emit provider->controller()->participantDetailsByPnum(QStringLiteral("99"));
    QCOMPARE(classChanged.count(), 1);
    emit provider->controller()->participantDetailsByPnum(QStringLiteral("7"));
    QCOMPARE(classChanged.count(), 2);
}

void TestModelSessionStanding::updatesAnnounceOneRow()
{
    auto provider = makeTestProvider();
    for (int i = 1; i <= 3; ++i)
        addCar(*provider, i, QString::number(i));
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    QSignalSpy changed(&race, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&race, &QAbstractItemModel::modelReset);
    // Positions 2 and 3 swap: each update rebuilds its own row, all of it
    // (another car brings its own follow colour and flash to every cell).
    standing(*provider, 2)->insertData(QStringLiteral("participant"), QStringLiteral("3"));
    emit provider->controller()->standingsOverallByPosition(2);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), race.index(1, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), race.index(1, 20));
    QCOMPARE(text(race, 1, 1), QStringLiteral("3"));
    QCOMPARE(reset.count(), 0);
    // The same car with another driver: the driver's cell alone.
    mirrorNode(*provider, QStringLiteral("timing.session.entry.3.drivers.1"))->insertData(QStringLiteral("lastName"), QStringLiteral("Other"));
    emit provider->controller()->standingsOverallByPosition(2);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toModelIndex(), race.index(1, 2));
    QCOMPARE(changed.at(1).at(1).toModelIndex(), race.index(1, 2));
    changed.removeLast();
    // A new session best repaints everything.
    mirrorNode(*provider, QStringLiteral("timing.session.bestResults.overall.lap"))->insertData(QStringLiteral("time"), quint64(89000));
    emit provider->controller()->standingsOverallByPosition(3);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(1).at(0).toModelIndex(), race.index(0, 0));
    QCOMPARE(changed.at(1).at(1).toModelIndex(), race.index(2, 20));
    // The follow registry changing repaints everything too.
    provider->setCarToFollow(0, QStringLiteral("1"));
    QCOMPARE(changed.count(), 3);
    // A position announced with nothing of its row changed repaints nothing.
    emit provider->controller()->standingsOverallByPosition(1);
    QCOMPARE(changed.count(), 3);
    // A burst of notifications: one refresh a moment later, which repaints
    // only the row that changed (car 1's laps), and nothing is reset.
    mirrorNode(*provider, kDetails + QStringLiteral("1"))->insertData(QStringLiteral("elapsedLaps"), 11);
    emit provider->controller()->analysisPitIn();
    emit provider->controller()->analysisPitOut();
    emit provider->controller()->participantDetails();
    QCOMPARE(changed.count(), 3);
    QTRY_COMPARE(changed.count(), 4);
    QTest::qWait(100);
    QCOMPARE(changed.count(), 4);
    QCOMPARE(changed.at(3).at(0).toModelIndex(), race.index(0, 0));
    QCOMPARE(changed.at(3).at(1).toModelIndex(), race.index(0, 20));
    QCOMPARE(reset.count(), 0);
}

void TestModelSessionStanding::consistentForViews()
{
    auto provider = makeTestProvider();
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingPractice practice(provider.get(), QStringLiteral("Light"));
    QAbstractItemModelTester raceTester(&race, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester practiceTester(&practice, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Positions arrive one by one, beyond the rows the model has.
    for (int i = 1; i <= 5; ++i) {
        addCar(*provider, i, QString::number(i));
        emit provider->controller()->standingsOverallByPosition(i);
        QCOMPARE(race.rowCount(), i);
    }
    // A gap: position 8 before 6 and 7 exist.
    addCar(*provider, 8, QStringLiteral("8"));
    emit provider->controller()->standingsOverallByPosition(8);
    QCOMPARE(race.rowCount(), 6);
    emit provider->controller()->standingsOverallByPosition(0);
    emit provider->controller()->standingsOverallByPosition(-4);
    emit provider->controller()->standingsOverall();
    race.updateSkin(QStringLiteral("Light"));
    emit provider->controller()->cleanAll();
    QCOMPARE(race.rowCount(), 0);
    QCOMPARE(practice.rowCount(), 0);
}

void TestModelSessionStanding::periodicRefresh()
{
    auto provider = makeTestProvider();
    for (int i = 1; i <= 3; ++i)
        addCar(*provider, i, QString::number(i));
    // Car 2 is in the pit lane, car 3 has left it.
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.2.pits.%1").arg(g_now - 5000));
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.3.pits.%1").arg(g_now - 90000));
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitOut.3.pits.%1").arg(g_now - 60000));
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    ModelSessionStandingPractice practice(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    practice.processRefresh();
    QSignalSpy raceChanged(&race, &QAbstractItemModel::dataChanged);
    QSignalSpy practiceChanged(&practice, &QAbstractItemModel::dataChanged);
    QTRY_VERIFY_WITH_TIMEOUT(practiceChanged.count() >= 1, 5000);
    QVERIFY(raceChanged.count() >= 2); // every 300 ms against every second
    for (const QSignalSpy* spy : {&raceChanged, &practiceChanged}) {
        for (const QList<QVariant>& change : *spy) {
            // The sectors to the pit time of the car in the lane, nothing else.
            QCOMPARE(change.at(0).toModelIndex().row(), 1);
            QCOMPARE(change.at(0).toModelIndex().column(), 10);
            QCOMPARE(change.at(1).toModelIndex().row(), 1);
            QCOMPARE(change.at(1).toModelIndex().column(), 18);
        }
    }
    // The running stop counts with the clock.
    QCOMPARE(text(race, 1, ModelSessionStandingBySector::PitTime), QStringLiteral("00:05.000"));
    g_now += 2000;
    QCOMPARE(text(race, 1, ModelSessionStandingBySector::PitTime), QStringLiteral("00:07.000"));
}

QTEST_MAIN(TestModelSessionStanding)
#include "tst_modelsessionstanding.moc"
