#include "AppSettings.h"
#include "GapChartItem.h"
#include "GapChartShading.h"
#include "GapChartView.h"
#include "LapTree.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "WidgetGapChart.h"

#include <QComboBox>
#include <QMenu>
#include <QScrollBar>
#include <QtTest>

namespace {

constexpr quint64 kT0 = Q_UINT64_C(1767268800000);
constexpr int kLapMs = 100000;

// Lap `lap` of a car ending `endMs` after kT0, having started `startMs` after it.
void lapOf(V2DataProvider& p, const QString& pNum, int lap, qint64 startMs, qint64 endMs, bool pitIn = false)
{
    LapTree::LapSpec fields;
    fields.start = kT0 + startMs;
    fields.time = int(endMs - startMs);
    LapTree::writeLap(LapTree::root(p), pNum, lap, fields);
    if (pitIn)
        mirrorNode(p, QStringLiteral("timing.analysis.pitIn.%1.pits.%2").arg(pNum).arg(kT0 + endMs))->insertData(QStringLiteral("lapNumber"), lap);
}

// A race of cars 9, 7 and 12; car 9 leads, a lap every 100 s, laps 1 to `laps`.
void race(V2DataProvider& p, int laps)
{
    mirrorNode(p, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    for (const char* car : { "9", "7", "12" })
        LapTree::addEntry(LapTree::root(p), QLatin1String(car));
    for (int lap = 1; lap <= laps; ++lap)
        lapOf(p, QStringLiteral("9"), lap, (lap - 1) * kLapMs, lap * kLapMs);
}

void flag(V2DataProvider& p, int key, const QString& type, int sector, qint64 atMs)
{
    V2_Data* node = mirrorNode(p, QStringLiteral("timing.session.flags.%1").arg(key));
    node->insertData(QStringLiteral("type"), type);
    node->insertData(QStringLiteral("sector"), sector);
    node->insertData(QStringLiteral("time"), kT0 + atMs);
}

} // namespace

class TestGapChart final : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void shading_data();
    void shading();
    void pitMarks();
    void lapUpdateTouchesOneItem_data();
    void lapUpdateTouchesOneItem();
    void wholeChanges_data();
    void wholeChanges();
    void paletteKeptPerCar();
    void referenceWithoutLaps_data();
    void referenceWithoutLaps();
    void followsTheNewestLap();
    void settingsRestored();
    void carMenuKeepsTheList_data();
    void carMenuKeepsTheList();

private:
    TestSettings m_config;
};

void TestGapChart::geometry_data()
{
    QTest::addColumn<double>("lapWidth");
    QTest::addColumn<double>("secondHeight");
    QTest::addColumn<QString>("reference");
    QTest::addColumn<qint64>("behindMs"); // car 7's lap 3 ends this long after car 9's
    QTest::addColumn<qint64>("nextLapMs"); // car 9's lap 4, from the end of its lap 3; 0: not run yet; < 0: run later
    QTest::addColumn<QString>("drawn");
    QTest::addColumn<QPointF>("point"); // of lap 3
    QTest::addColumn<bool>("lapped");
    QTest::newRow("2.5 s behind the leader") << 10.0 << 20.0 << QString() << qint64(2500) << qint64(0) << "7" << QPointF(30, 50) << false;
    QTest::newRow("another scale") << 4.0 << 2.5 << QString() << qint64(2500) << qint64(0) << "7" << QPointF(12, 6.25) << false;
    QTest::newRow("the leader on the axis") << 10.0 << 20.0 << QString() << qint64(2500) << qint64(0) << "9" << QPointF(30, 0) << false;
    QTest::newRow("ahead of the reference car") << 10.0 << 20.0 << "7" << qint64(2500) << qint64(0) << "9" << QPointF(30, -50) << false;
    QTest::newRow("just under a lap") << 10.0 << 20.0 << QString() << qint64(99999) << qint64(0) << "7" << QPointF(30, 1999.98) << false;
    QTest::newRow("a lap down: clipped") << 10.0 << 20.0 << QString() << qint64(100000) << qint64(0) << "7" << QPointF(30, 2000) << true;
    QTest::newRow("laps down: clipped") << 10.0 << 20.0 << QString() << qint64(230000) << qint64(0) << "7" << QPointF(30, 2000) << true;
    // Lapped when the reference had ended lap 4 before car 7 ended lap 3, whatever lap 3 took.
    QTest::newRow("behind a slow next lap: not lapped") << 10.0 << 20.0 << QString() << qint64(120000) << qint64(150000) << "7" << QPointF(30, 2400) << false;
    QTest::newRow("behind a fast next lap: lapped") << 10.0 << 20.0 << QString() << qint64(95000) << qint64(90000) << "7" << QPointF(30, 1800) << true;
    // A negative next lap: announced after the view is drawn (a lap update, not a rebuild).
    QTest::newRow("behind a slow next lap, announced") << 10.0 << 20.0 << QString() << qint64(120000) << qint64(-150000) << "7" << QPointF(30, 2400) << false;
    QTest::newRow("a lap ahead of the reference: clipped") << 10.0 << 20.0 << "7" << qint64(150000) << qint64(0) << "9" << QPointF(30, -2000) << true;
}

void TestGapChart::geometry()
{
    QFETCH(double, lapWidth);
    QFETCH(double, secondHeight);
    QFETCH(QString, reference);
    QFETCH(qint64, behindMs);
    QFETCH(qint64, nextLapMs);
    QFETCH(QString, drawn);
    QFETCH(QPointF, point);
    QFETCH(bool, lapped);
    auto provider = makeTestProvider();
    race(*provider, 3);
    // Car 7: laps 1 and 2 a second behind, lap 3 (the reference's lap time when it is the reference: 100 s).
    lapOf(*provider, QStringLiteral("7"), 1, 0, kLapMs + 1000);
    lapOf(*provider, QStringLiteral("7"), 2, kLapMs + 1000, 2 * kLapMs + 1000);
    lapOf(*provider, QStringLiteral("7"), 3, 3 * kLapMs + behindMs - kLapMs, 3 * kLapMs + behindMs);
    if (nextLapMs > 0)
        lapOf(*provider, QStringLiteral("9"), 4, 3 * kLapMs, 3 * kLapMs + nextLapMs);
    GapChartView view;
    view.setScale(lapWidth, secondHeight);
    view.setChosenCars({ QStringLiteral("9"), QStringLiteral("7") });
    view.setReference(reference);
    view.setProvider(provider.get());
    if (nextLapMs < 0) {
        lapOf(*provider, QStringLiteral("9"), 4, 3 * kLapMs, 3 * kLapMs - nextLapMs);
        emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("4"));
    }
    GapChartItem* line = view.line(drawn);
    QVERIFY(line);
    QVERIFY(line->hasPoint(3));
    QCOMPARE(line->pointAt(3), point);
    QCOMPARE(line->isLapped(3), lapped);
    QVERIFY(line->boundingRect().contains(point));
}

void TestGapChart::shading_data()
{
    QTest::addColumn<QStringList>("flags"); // type:sector:seconds after the start
    QTest::addColumn<QList<int>>("kinds"); // laps 1 to 4: 0 none, 1 full-course yellow, 2 safety car
    QTest::newRow("safety car from lap 3 into lap 4") << QStringList{ "SAFETY_CAR:0:250", "GREEN:0:320" } << QList<int>{ 0, 0, 2, 2 };
    QTest::newRow("full-course yellow within lap 1") << QStringList{ "FULL_YELLOW:0:10", "GREEN:0:20" } << QList<int>{ 1, 0, 0, 0 };
    QTest::newRow("a sector yellow is not shaded") << QStringList{ "YELLOW:2:10", "GREEN:2:150" } << QList<int>{ 0, 0, 0, 0 };
    QTest::newRow("still running") << QStringList{ "CODE_60:0:150" } << QList<int>{ 0, 1, 1, 1 };
    QTest::newRow("safety car, then a yellow") << QStringList{ "SAFETY_CAR:0:50", "FULL_YELLOW:0:150", "GREEN:0:160" } << QList<int>{ 2, 2, 0, 0 };
    QTest::newRow("a red ends it") << QStringList{ "VIRTUAL_SAFETY_CAR:0:120", "RED:0:130", "GREEN:0:350" } << QList<int>{ 0, 2, 0, 0 };
}

void TestGapChart::shading()
{
    QFETCH(QStringList, flags);
    QFETCH(QList<int>, kinds);
    auto provider = makeTestProvider();
    race(*provider, 4);
    GapChartView view;
    view.resize(300, 200);
    view.setScale(10, 20);
    view.setChosenCars({ QStringLiteral("9") });
    view.setProvider(provider.get());
    for (int i = 0; i < flags.size(); ++i) {
        const QStringList parts = flags.at(i).split(QLatin1Char(':'));
        flag(*provider, i + 1, parts.at(0), parts.at(1).toInt(), parts.at(2).toLongLong() * 1000);
    }
    emit provider->controller()->sessionFlags();
    QList<int> shaded;
    for (int lap = 1; lap <= 4; ++lap)
        shaded.append(view.shading()->kind(lap));
    QCOMPARE(shaded, kinds);
    for (int lap = 1; lap <= 4; ++lap) {
        const QRectF band = view.shading()->band(lap);
        QCOMPARE(band.isEmpty(), kinds.at(lap - 1) == 0);
        if (!band.isEmpty()) {
            // Lap N is run between the ends of laps N − 1 and N, over the chart's height:
            // from the lap strip above the 0 line to 30 s below it (and its margin).
            QCOMPARE(band.left(), (lap - 1) * 10.0);
            QCOMPARE(band.width(), 10.0);
            QCOMPARE(band.top(), -26.0);
            QCOMPARE(band.bottom(), 612.0);
        }
    }
}

void TestGapChart::pitMarks()
{
    auto provider = makeTestProvider();
    race(*provider, 3);
    lapOf(*provider, QStringLiteral("7"), 1, 0, kLapMs + 1000);
    lapOf(*provider, QStringLiteral("7"), 2, kLapMs + 1000, 2 * kLapMs + 1500, true);
    GapChartView view;
    view.setScale(10, 20);
    view.setChosenCars({ QStringLiteral("7") });
    view.setProvider(provider.get());
    GapChartItem* line = view.line(QStringLiteral("7"));
    // Centred on lap 2's point (20, 1.5 s × 20).
    QCOMPARE(line->pitMark(2), QRectF(17, 27, 6, 6));
    QVERIFY(line->pitMark(1).isEmpty());
    // A pit announced after the lap: the mark follows once the provider has re-read its pits.
    lapOf(*provider, QStringLiteral("7"), 3, 2 * kLapMs + 1500, 3 * kLapMs + 2000, true);
    emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("7"), QStringLiteral("3"));
    emit provider->controller()->analysisPitIn();
    QTRY_COMPARE_WITH_TIMEOUT(line->pitMark(3), QRectF(27, 37, 6, 6), 1000);
    QCOMPARE(view.line(QStringLiteral("7")), line);
}

void TestGapChart::lapUpdateTouchesOneItem_data()
{
    QTest::addColumn<QString>("car");
    QTest::addColumn<int>("lap");
    QTest::addColumn<qint64>("endMs"); // car 9 ends lap N at N × 100 s, car 7 two seconds later (laps 1 to 3)
    QTest::addColumn<QStringList>("touched");
    QTest::addColumn<qint64>("gap7"); // car 7's gap on that lap afterwards, ms; -1: none
    QTest::newRow("a drawn car behind the leader") << "7" << 4 << qint64(403000) << QStringList{ "7" } << qint64(3000);
    QTest::newRow("a car not drawn, behind") << "12" << 4 << qint64(405000) << QStringList{} << qint64(-1);
    // Car 12 ended the lap before car 9: the reference's lap moves the drawn cars' points on it.
    QTest::newRow("a new leader of the newest lap") << "12" << 4 << qint64(399000) << QStringList{ "9" } << qint64(-1);
    QTest::newRow("a new leader of an earlier lap") << "12" << 3 << qint64(299000) << QStringList{ "7", "9" } << qint64(3000);
    // Car 9 loses lap 3 to car 7, which then leads it.
    QTest::newRow("the leader's lap replaced by a later one") << "9" << 3 << qint64(303000) << QStringList{ "7", "9" } << qint64(0);
    // A garbage lap number is ignored, not allocated for.
    QTest::newRow("an absurd lap number") << "7" << 2000000000 << qint64(403000) << QStringList{} << qint64(-1);
}

void TestGapChart::lapUpdateTouchesOneItem()
{
    QFETCH(QString, car);
    QFETCH(int, lap);
    QFETCH(qint64, endMs);
    QFETCH(QStringList, touched);
    QFETCH(qint64, gap7);
    auto provider = makeTestProvider();
    race(*provider, 4);
    for (int lap = 1; lap <= 3; ++lap)
        lapOf(*provider, QStringLiteral("7"), lap, (lap - 1) * kLapMs + 2000, lap * kLapMs + 2000);
    GapChartView view;
    view.setScale(10, 20);
    view.setChosenCars({ QStringLiteral("7"), QStringLiteral("9") });
    view.setProvider(provider.get());
    QHash<QString, GapChartItem*> items;
    QHash<QString, int> revisions;
    for (const QString& pNum : view.cars()) {
        items.insert(pNum, view.line(pNum));
        revisions.insert(pNum, view.line(pNum)->revision());
    }
    lapOf(*provider, car, lap, endMs - kLapMs, endMs);
    emit provider->controller()->analysisLapsByPnumAndLap(car, QString::number(lap));
    QStringList changed;
    for (const QString& pNum : view.cars()) {
        QCOMPARE(view.line(pNum), items.value(pNum)); // not rebuilt
        if (view.line(pNum)->revision() != revisions.value(pNum))
            changed.append(pNum);
    }
    std::sort(changed.begin(), changed.end());
    QCOMPARE(changed, touched);
    if (gap7 >= 0)
        QCOMPARE(view.line(QStringLiteral("7"))->pointAt(lap), QPointF(lap * 10.0, gap7 / 1000.0 * 20));
    else
        QVERIFY(!view.line(QStringLiteral("7"))->hasPoint(lap));
}

void TestGapChart::wholeChanges_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("lap");
    QTest::addColumn<qint64>("gap7"); // car 7's gap on that lap afterwards, ms; -1: none
    QTest::addColumn<int>("band"); // the kind of that lap's band afterwards
    // Car 12 ended lap 3 second: it leads the lap once car 9's is gone.
    QTest::newRow("the leader's lap deleted") << "delete" << 3 << qint64(1000) << 2;
    QTest::newRow("cleaned") << "clean" << 3 << qint64(-1) << 0;
    QTest::newRow("a new session") << "session" << 1 << qint64(5000) << 0;
}

// Car 9 leads laps 1 to 4, car 7 two seconds behind on laps 1 to 3, a safety car over laps 3 and 4.
void TestGapChart::wholeChanges()
{
    QFETCH(QString, change);
    QFETCH(int, lap);
    QFETCH(qint64, gap7);
    QFETCH(int, band);
    auto provider = makeTestProvider();
    race(*provider, 4);
    for (int lap = 1; lap <= 3; ++lap)
        lapOf(*provider, QStringLiteral("7"), lap, (lap - 1) * kLapMs + 2000, lap * kLapMs + 2000);
    lapOf(*provider, QStringLiteral("12"), 3, 2 * kLapMs + 1000, 3 * kLapMs + 1000);
    flag(*provider, 1, QStringLiteral("SAFETY_CAR"), 0, 250000);
    // The provider's caches hold the laps, as after a login.
    emit provider->controller()->analysisLaps();
    GapChartView view;
    view.setScale(10, 20);
    view.setChosenCars({ QStringLiteral("7"), QStringLiteral("9") });
    view.setProvider(provider.get());
    QCOMPARE(view.shading()->kind(3), 2);
    V2_Data* root = LapTree::root(*provider);
    if (change == QLatin1String("delete")) {
        root->getV2_Data(QStringLiteral("timing.analysis.laps.9.laps"))->deleteKey(QStringLiteral("3"));
        emit provider->controller()->deleteLapAnalysisData(QStringLiteral("9"), QStringLiteral("3"));
    } else {
        root->getV2_Data(QStringLiteral("timing.analysis"))->deleteKey(QStringLiteral("laps"));
        root->getV2_Data(QStringLiteral("timing.session"))->deleteKey(QStringLiteral("flags"));
        if (change == QLatin1String("clean")) {
            emit provider->controller()->cleanAll();
        } else {
            lapOf(*provider, QStringLiteral("9"), 1, 0, kLapMs);
            lapOf(*provider, QStringLiteral("7"), 1, 5000, kLapMs + 5000);
            emit provider->controller()->analysisLaps();
        }
    }
    GapChartItem* line = view.line(QStringLiteral("7"));
    if (gap7 >= 0)
        QTRY_COMPARE_WITH_TIMEOUT(view.line(QStringLiteral("7"))->pointAt(lap), QPointF(lap * 10.0, gap7 / 1000.0 * 20), 1000);
    else
        QVERIFY(!line->hasPoint(lap));
    QVERIFY(!view.line(QStringLiteral("7"))->hasPoint(3) || lap == 3);
    QCOMPARE(int(view.shading()->kind(3)), band);
}

// A car keeps its colour when others are added or removed.
void TestGapChart::paletteKeptPerCar()
{
    auto provider = makeTestProvider();
    race(*provider, 1);
    GapChartView view;
    view.setChosenCars({ QStringLiteral("7"), QStringLiteral("12") });
    view.setProvider(provider.get());
    const QColor twelve = view.line(QStringLiteral("12"))->color();
    QVERIFY(twelve != view.line(QStringLiteral("7"))->color());
    view.setChosenCars({ QStringLiteral("12") });
    QCOMPARE(view.line(QStringLiteral("12"))->color(), twelve);
}

void TestGapChart::referenceWithoutLaps_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("note");
    QTest::newRow("a car without laps") << "5"
                                        << "#5 has no laps: choose another car, or the leader, under \"Gap to\".";
    QTest::newRow("a car with laps") << "9" << QString();
    QTest::newRow("the leader") << QString() << QString();
}

// A reference that left the entry or retired empties the chart: the chart says why.
void TestGapChart::referenceWithoutLaps()
{
    QFETCH(QString, reference);
    QFETCH(QString, note);
    auto provider = makeTestProvider();
    race(*provider, 2);
    GapChartView view;
    view.setChosenCars({ QStringLiteral("9") });
    view.setReference(reference);
    view.setProvider(provider.get());
    QCOMPARE(view.note(), note);
}

void TestGapChart::followsTheNewestLap()
{
    auto provider = makeTestProvider();
    race(*provider, 60);
    GapChartView view;
    view.resize(300, 200);
    view.setScale(20, 4);
    view.setChosenCars({ QStringLiteral("9") });
    view.setProvider(provider.get());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QScrollBar* bar = view.horizontalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(view.followsNewest());
    // A new lap keeps the newest lap in view.
    const int before = bar->maximum();
    lapOf(*provider, QStringLiteral("9"), 61, 60 * kLapMs, 61 * kLapMs);
    emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("61"));
    QCOMPARE(bar->maximum(), before + 20);
    QCOMPARE(bar->value(), bar->maximum());
    // Panned away, the view stays where the user left it.
    QTest::keyClick(&view, Qt::Key_Home);
    QVERIFY(!view.followsNewest());
    lapOf(*provider, QStringLiteral("9"), 62, 61 * kLapMs, 62 * kLapMs);
    emit provider->controller()->analysisLapsByPnumAndLap(QStringLiteral("9"), QStringLiteral("62"));
    QCOMPARE(bar->value(), bar->minimum());
    // Zoom by keys: laps with +, gaps with Ctrl and +.
    QTest::keyClick(&view, Qt::Key_Plus);
    QCOMPARE(view.lapWidth(), 25.0);
    QTest::keyClick(&view, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(view.secondHeight(), 3.2);
    QVERIFY(!view.followsNewest());
    QTest::keyClick(&view, Qt::Key_End);
    QVERIFY(view.followsNewest());
    QCOMPARE(bar->value(), bar->maximum());
}

void TestGapChart::settingsRestored()
{
    auto provider = makeTestProvider();
    race(*provider, 3);
    provider->setCarToFollow(1, QStringLiteral("12"));
    {
        WidgetGapChart panel(provider.get());
        // No choice yet: the followed cars.
        QCOMPARE(panel.view()->cars(), QStringList{ "12" });
        panel.view()->setScale(20, 8);
        panel.fillCarMenu();
        for (QAction* action : panel.carMenu()->actions()) {
            if (action->data().toString() == QLatin1String("7"))
                action->setChecked(true);
        }
        QCOMPARE(panel.view()->cars(), (QStringList{ "7", "12" }));
        QComboBox* reference = panel.referenceBox();
        const int nine = reference->findData(QStringLiteral("9"));
        QVERIFY(nine > 0);
        reference->setCurrentIndex(nine);
        emit reference->activated(nine);
    }
    WidgetGapChart again(provider.get());
    QCOMPARE(again.view()->lapWidth(), 20.0);
    QCOMPARE(again.view()->secondHeight(), 8.0);
    QCOMPARE(again.view()->cars(), (QStringList{ "7", "12" }));
    QCOMPARE(again.view()->reference(), QStringLiteral("9"));
    QCOMPARE(again.referenceBox()->currentData().toString(), QStringLiteral("9"));
    // Back to the followed cars: no car list is kept.
    again.fillCarMenu();
    again.carMenu()->actions().first()->trigger();
    QVERIFY(!AppSettings::open()->contains(QStringLiteral("view_gapchart/cars")));
}

void TestGapChart::carMenuKeepsTheList_data()
{
    QTest::addColumn<bool>("isRace");
    QTest::addColumn<QVariant>("saved"); // the kept list; invalid: none
    QTest::addColumn<QString>("expected"); // kept after ticking car 12
    // Nothing is drawn outside a race: the menu still starts from the kept list.
    QTest::newRow("outside a race, a kept list") << false << QVariant(QStringLiteral("7,9")) << "7,9,12";
    QTest::newRow("outside a race, the followed cars") << false << QVariant() << "9,12";
    QTest::newRow("a race, a kept list") << true << QVariant(QStringLiteral("7,9")) << "7,9,12";
}

void TestGapChart::carMenuKeepsTheList()
{
    QFETCH(bool, isRace);
    QFETCH(QVariant, saved);
    QFETCH(QString, expected);
    auto provider = makeTestProvider();
    race(*provider, 1);
    if (!isRace)
        mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("PRACTICE"));
    provider->setCarToFollow(1, QStringLiteral("9"));
    AppSettings::open()->setValue(QStringLiteral("view_gapchart/cars"), saved);
    if (!saved.isValid())
        AppSettings::open()->remove(QStringLiteral("view_gapchart/cars"));
    WidgetGapChart panel(provider.get());
    panel.fillCarMenu();
    QStringList ticked;
    for (QAction* action : panel.carMenu()->actions()) {
        if (action->isChecked() && !action->data().toString().isEmpty())
            ticked.append(action->data().toString());
    }
    QCOMPARE(ticked.join(QLatin1Char(',')), expected.left(expected.lastIndexOf(QLatin1Char(','))));
    for (QAction* action : panel.carMenu()->actions()) {
        if (action->data().toString() == QLatin1String("12"))
            action->setChecked(true);
    }
    QCOMPARE(AppSettings::open()->value(QStringLiteral("view_gapchart/cars")).toString(), expected);
}

QTEST_MAIN(TestGapChart)
#include "tst_gapchart.moc"
