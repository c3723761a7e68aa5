#include "AppSettings.h"
#include "CurrentValuesItem.h"
#include "LapChartView.h"
#include "MeteoGraphItem.h"
#include "MeteoGraphicsView.h"
#include "PaintRecorder.h"
#include "ScreenPixels.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "ToolWindow.h"
#include "WidgetLapChart.h"
#include "WidgetMeteo.h"
#include "WindDirectionItem.h"

#include <QCheckBox>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QPainter>
#include <QSlider>
#include <QStyleOptionGraphicsItem>
#include <QScrollBar>
#include <QtTest>

namespace {

// A race of three cars on the grid in the order 9, 7, 12; car 7 runs `laps`
// laps at `positions` (lap 1 first).
void race(V2DataProvider& p, const QList<int>& positions, int elapsedLaps = 3, bool withGrid = true)
{
    mirrorNode(p, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    mirrorNode(p, QStringLiteral("timing.session.status"))->insertData(QStringLiteral("elapsedLaps"), elapsedLaps);
    const char* grid[] = {"9", "7", "12"};
    for (int i = 0; i < 3 && withGrid; ++i)
        mirrorNode(p, QStringLiteral("timing.session.startingGrid.positions.%1").arg(i + 1))->insertData(QStringLiteral("participant"), QLatin1String(grid[i]));
    for (const char* car : grid)
        mirrorNode(p, QStringLiteral("timing.session.entry.") + QLatin1String(car));
    for (int lap = 1; lap <= positions.size(); ++lap)
        mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.%1").arg(lap))->insertData(QStringLiteral("position"), positions.at(lap - 1));
}

void addSamples(V2DataProvider& p, const char* field, const QList<double>& values)
{
    for (int i = 0; i < values.size(); ++i)
        mirrorNode(p, QStringLiteral("weather.sessionData.%1").arg(1767268800000LL + i * 60000LL))->insertData(QLatin1String(field), values.at(i));
}

// A graph as it paints itself on black.
QImage painted(QGraphicsItem* item)
{
    QImage image(item->boundingRect().size().toSize(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionGraphicsItem option;
    item->paint(&painter, &option, nullptr);
    painter.end();
    return image;
}

} // namespace

class TestChartPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lapChartOnlyForRaces();
    void lapChartLine();
    void lapChartAxis();
    void lapChartColoursAndSelection();
    void lapChartRefreshWithSelection();
    void lapChartSettings();
    void lapChartGhostsAndSceneRect();
    void lapChartFitsTheRace();
    void lapChartFitIgnoresScrollBars();
    void lapChartFollowsTextSize_data();
    void lapChartFollowsTextSize();
    void lapChartRepaintsTheNewLap_data();
    void lapChartRepaintsTheNewLap();
    void weatherUnits();
    void weatherCarousel();
    void weatherGraphScales();
    void weatherGraphsSurviveTheLogin();
    void weatherBelowZero_data();
    void weatherBelowZero();

private:
    TestSettings m_config;
};

void TestChartPanels::init()
{
    AppSettings::open()->clear();
}

void TestChartPanels::lapChartOnlyForRaces()
{
    auto provider = makeTestProvider();
    race(*provider, {2, 2}, 2, false);
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("PRACTICE"));
    LapChartView view;
    view.setProvider(provider.get());
    QVERIFY(view.cars().isEmpty());
    QVERIFY(view.axisLabels().isEmpty());
    // A race without its grid stays empty until the grid arrives.
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    emit provider->controller()->sessionInfo();
    QVERIFY(view.cars().isEmpty());
    QCOMPARE(view.axisLabels().size(), 1);
    race(*provider, {2, 2}, 2);
    emit provider->controller()->sessionStartingGrid();
    QCOMPARE(view.cars(), QStringList({"9", "7", "12"}));
}

void TestChartPanels::lapChartLine()
{
    auto provider = makeTestProvider();
    race(*provider, {2, 2, 1});
    LapChartView view;
    view.setProvider(provider.get());
    const double w = view.lapWidth();
    const double h = 15.0;
    // Car 7 starts on row 2 and gains a place on lap 3.
    QCOMPARE(view.line(QStringLiteral("7"))->points(), QVector<QPointF>({{0, 0}, {2 * w, 0}, {2.5 * w, -h}, {3 * w, -h}}));
    QVERIFY(view.line(QStringLiteral("7"))->boundingRect().contains(QPointF(2.5 * w, -h)));
    // A new lap of that car: its line alone is drawn again, with the pit marker.
    mirrorNode(*provider, QStringLiteral("timing.analysis.laps.7.laps.4"))->insertData(QStringLiteral("position"), 1);
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.1"))->insertData(QStringLiteral("lapNumber"), 4);
    emit provider->controller()->analysisPitIn();
    LapChartItem* before = view.line(QStringLiteral("9"));
    emit provider->controller()->analysisLapsByPnum(QStringLiteral("7"));
    QCOMPARE(view.line(QStringLiteral("9")), before);
    QCOMPARE(view.line(QStringLiteral("7"))->points().last(), QPointF(4 * w, -h));
    QVERIFY(view.line(QStringLiteral("7"))->markers().boundingRect().contains(QPointF(4 * w, -h)));
    QVERIFY(view.line(QStringLiteral("7"))->boundingRect().contains(view.line(QStringLiteral("7"))->markers().boundingRect()));
}

void TestChartPanels::lapChartFollowsTextSize_data()
{
    // The labels' point size, where the lines begin, the second row's top,
    // and the lap numbers shown at a lap width of 2.5 pixels.
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<qreal>("lineX");
    QTest::addColumn<qreal>("secondRow");
    QTest::addColumn<QStringList>("laps");
    QTest::newRow("100 %") << 1.0 << 9.0 << 40.0 << 15.0 << QStringList({"1", "13", "25", "37"});
    QTest::newRow("200 %") << 2.0 << 18.0 << 80.0 << 30.0 << QStringList({"1", "24"});
}

void TestChartPanels::lapChartFollowsTextSize()
{
    QFETCH(qreal, scale);
    QFETCH(qreal, points);
    QFETCH(qreal, lineX);
    QFETCH(qreal, secondRow);
    QFETCH(QStringList, laps);
    auto provider = makeTestProvider();
    race(*provider, {2}, 40);
    WidgetLapChart panel(provider.get());
    panel.view()->setLapWidth(2.5);
    ToolWindow::setTextScale(scale);
    panel.applyTextScale();
    ToolWindow::setTextScale(1);
    LapChartView* view = panel.view();
    for (const char* car : {"9", "7", "12"})
        QCOMPARE(view->label(QLatin1String(car))->font().pointSizeF(), points);
    QCOMPARE(view->line(QStringLiteral("7"))->scenePos().x(), lineX);
    QCOMPARE(view->label(QStringLiteral("7"))->pos().y(), secondRow);
    // The widest label, "12", fits left of the lines.
    QVERIFY(view->label(QStringLiteral("12"))->boundingRect().width() < lineX);
    QStringList shown;
    for (QGraphicsSimpleTextItem* label : view->axisLabels()) {
        shown << label->text();
        QCOMPARE(label->font().pointSizeF(), points);
    }
    QCOMPARE(shown, laps);
}

void TestChartPanels::lapChartAxis()
{
    auto provider = makeTestProvider();
    race(*provider, {2}, 40);
    LapChartView view;
    view.setProvider(provider.get());
    QStringList labels;
    for (QGraphicsSimpleTextItem* label : view.axisLabels())
        labels << label->text();
    // At 2.5 pixels a lap the first gap over 28 pixels is 12 laps.
    QCOMPARE(labels, QStringList({"1", "13", "25", "37"}));
}

void TestChartPanels::lapChartColoursAndSelection()
{
    auto provider = makeTestProvider();
    race(*provider, {2, 2, 1});
    provider->setFollowColor(0, QColor(Qt::red));
    provider->setCarToFollow(0, QStringLiteral("7"));
    LapChartView view;
    view.setProvider(provider.get());
    QCOMPARE(view.line(QStringLiteral("9"))->color(), QColor(Qt::blue));
    QCOMPARE(view.line(QStringLiteral("12"))->color(), QColor(Qt::gray));
    QCOMPARE(view.line(QStringLiteral("7"))->color(), QColor(Qt::red));
    QCOMPARE(view.line(QStringLiteral("7"))->penWidth(), 2.0);
    view.setColorsOnFollowed(true);
    QCOMPARE(view.line(QStringLiteral("9"))->color(), QColor(Qt::darkGray));
    QCOMPARE(view.line(QStringLiteral("7"))->color(), QColor(Qt::red));
    // Selecting car 7's number brings its line to the front, in white.
    view.setLapWidth(20);
    QGraphicsSimpleTextItem* label = view.label(QStringLiteral("7"));
    QCOMPARE(label->zValue(), 10.0);
    label->setSelected(true);
    QCOMPARE(label->zValue(), 15.0);
    // New session information that leaves it a race (a clock offset) keeps
    // the chart: the label is the same item (a marker on it survives; a new
    // item may reuse the old one's address, so the pointer cannot tell).
    label->setToolTip(QStringLiteral("kept"));
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("utcOffset"), 7200000);
    emit provider->controller()->sessionInfo();
    QVERIFY(view.label(QStringLiteral("7")));
    QCOMPARE(view.label(QStringLiteral("7"))->toolTip(), QStringLiteral("kept"));
    QVERIFY(view.label(QStringLiteral("7"))->isSelected());
    QCOMPARE(view.label(QStringLiteral("9"))->zValue(), 0.0);
    const QPointF start = view.line(QStringLiteral("7"))->scenePos();
    QImage image(100, 40, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    view.scene()->render(&painter, QRectF(0, 0, 100, 40), QRectF(start - QPointF(10, 20), QSizeF(100, 40)));
    painter.end();
    // The line runs along its row for two laps: white on it, not red.
    const QColor onLine = image.pixel(30, 20);
    QVERIFY2(onLine.red() > 200 && onLine.green() > 200 && onLine.blue() > 200, qPrintable(onLine.name()));
}

void TestChartPanels::lapChartRefreshWithSelection()
{
    // A refresh frees every label; freeing a selected one makes the scene
    // announce the selection at once, while the others are still listed.
    // The new labels of the cars picked are picked again (a fitted chart
    // rebuilds on every lap).
    auto provider = makeTestProvider();
    race(*provider, {2, 2, 1});
    LapChartView view;
    view.setProvider(provider.get());
    for (const QString& car : {QStringLiteral("9"), QStringLiteral("7")})
        view.label(car)->setSelected(true);
    view.setLapWidth(10);
    QCOMPARE(view.cars(), QStringList({"9", "7", "12"}));
    QCOMPARE(view.scene()->selectedItems().size(), 2);
    QCOMPARE(view.label(QStringLiteral("7"))->zValue(), 15.0);
    QCOMPARE(view.label(QStringLiteral("12"))->zValue(), 0.0);
    QCOMPARE(view.line(QStringLiteral("7"))->points().last(), QPointF(30, -15));
}

void TestChartPanels::lapChartSettings()
{
    auto provider = makeTestProvider();
    WidgetLapChart panel(provider.get());
    // No scale of the user's: the laps fill the width (it was a fixed 5 pixels a lap).
    QVERIFY(panel.view()->fitsToWidth());
    panel.on_horizontalSlider_valueChanged(25);
    panel.on_checkBox_clicked(false);
    QCOMPARE(panel.view()->lapWidth(), 2.5);
    QVERIFY(!panel.view()->fitsToWidth());
    WidgetLapChart again(provider.get());
    QCOMPARE(again.view()->lapWidth(), 2.5);
    QVERIFY(!again.view()->fitsToWidth());
    {
        // Earlier versions always stored their default 5.0: no choice of the user's.
        AppSettings::open()->setValue(QStringLiteral("view_lapchart/step_size"), 5.0);
        WidgetLapChart former(provider.get());
        QVERIFY(former.view()->fitsToWidth());
        AppSettings::open()->setValue(QStringLiteral("view_lapchart/step_size"), 2.5);
    }
    QCOMPARE(AppSettings::open()->value(QStringLiteral("view_lapchart/show_pits")).toBool(), false);
    again.setBikeLayout(true);
    QCOMPARE(again.findChild<QCheckBox*>(QStringLiteral("checkBox_ColorsOnFollowed"))->text(), QStringLiteral("Colors on followed bikes"));
}

void TestChartPanels::lapChartGhostsAndSceneRect()
{
    auto provider = makeTestProvider();
    race(*provider, {2, 2, 1}, 3);
    // Car 9 listed twice on the grid: one row, deleted with the others.
    mirrorNode(*provider, QStringLiteral("timing.session.startingGrid.positions.4"))->insertData(QStringLiteral("participant"), QStringLiteral("9"));
    LapChartView view;
    view.setProvider(provider.get());
    view.setLapWidth(20);
    QCOMPARE(view.cars(), QStringList({"9", "7", "12"}));
    const double threeRows = view.scene()->sceneRect().height();
    int labels = 0;
    for (QGraphicsItem* item : view.scene()->items())
        labels += item->parentItem() == nullptr && item->flags().testFlag(QGraphicsItem::ItemIsSelectable) ? 1 : 0;
    QCOMPARE(labels, 3);
    const QRectF wide = view.scene()->sceneRect();
    // Zoomed out: the scroll area follows.
    view.setLapWidth(2);
    const QRectF narrow = view.scene()->sceneRect();
    QVERIFY2(narrow.width() < wide.width() - 40, qPrintable(QStringLiteral("%1 -> %2").arg(wide.width()).arg(narrow.width())));
    // A field of one car: the rows go.
    V2_Data* grid = provider->controller()->getCurrentData()->getV2_Data(QStringLiteral("timing.session.startingGrid.positions"));
    for (int position = 2; position <= 4; ++position)
        grid->deleteKey(QString::number(position));
    emit provider->controller()->sessionStartingGrid();
    QCOMPARE(view.cars(), QStringList({"9"}));
    // Two rows of 15 pixels fewer.
    QVERIFY2(view.scene()->sceneRect().height() <= threeRows - 30,
             qPrintable(QStringLiteral("%1 -> %2").arg(threeRows).arg(view.scene()->sceneRect().height())));
}

void TestChartPanels::lapChartFitsTheRace()
{
    // 22 laps run, 40 cars, a panel of about 630 pixels.
    auto provider = makeTestProvider();
    race(*provider, {2}, 22);
    for (int car = 1; car <= 40; ++car) {
        mirrorNode(*provider, QStringLiteral("timing.session.startingGrid.positions.%1").arg(car))->insertData(QStringLiteral("participant"), QString::number(100 + car));
        for (int lap = 1; lap <= 22; ++lap)
            mirrorNode(*provider, QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(100 + car).arg(lap))->insertData(QStringLiteral("position"), car);
    }
    WidgetLapChart panel(provider.get());
    panel.resize(630, 420);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    LapChartView* view = panel.view();
    const auto lineEnd = [view] { return view->line(QStringLiteral("101"))->mapToScene(view->line(QStringLiteral("101"))->points().last()).x(); };
    const int width = view->viewport()->width();
    // The last lap ends in the last quarter of the width, and inside it.
    QTRY_VERIFY2(lineEnd() > width * 0.75 && lineEnd() <= width, qPrintable(QStringLiteral("%1 of %2").arg(lineEnd()).arg(width)));
    QCOMPARE(panel.findChild<QSlider*>(QStringLiteral("horizontalSlider"))->value(), qRound(view->lapWidth() * 10));
    // The user's scale is kept from the first move of the slider on.
    panel.findChild<QSlider*>(QStringLiteral("horizontalSlider"))->setValue(30);
    QCOMPARE(view->lapWidth(), 3.0);
    panel.resize(900, 420);
    QTRY_COMPARE(view->viewport()->width() > width, true);
    QCOMPARE(view->lapWidth(), 3.0);
}

// The fit must not follow the scroll bars: each change of width would fit
// again and bring the bars back or take them away, for ever (a core kept
// half busy). A field that needs the vertical bar and one that does not
// fit the same laps to the same width; a long race (laps narrower than its
// markers) leaves no horizontal bar either.
void TestChartPanels::lapChartFitIgnoresScrollBars()
{
    double widths[2] = {0, 0};
    for (int cars : {3, 80}) {
        auto provider = makeTestProvider();
        race(*provider, {2}, 399);
        for (int car = 1; car <= cars; ++car) {
            mirrorNode(*provider, QStringLiteral("timing.session.startingGrid.positions.%1").arg(car))->insertData(QStringLiteral("participant"), QString::number(100 + car));
            mirrorNode(*provider, QStringLiteral("timing.analysis.laps.%1.laps.1").arg(100 + car))->insertData(QStringLiteral("position"), car);
        }
        for (int lap = 2; lap <= 399; ++lap)
            mirrorNode(*provider, QStringLiteral("timing.analysis.laps.101.laps.%1").arg(lap))->insertData(QStringLiteral("position"), 1);
        WidgetLapChart panel(provider.get());
        panel.resize(600, 400);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCoreApplication::processEvents();
        QCOMPARE(panel.view()->verticalScrollBar()->isVisible(), cars > 3);
        QVERIFY(!panel.view()->horizontalScrollBar()->isVisible());
        widths[cars > 3] = panel.view()->lapWidth();
    }
    QCOMPARE(widths[1], widths[0]);
}

void TestChartPanels::lapChartRepaintsTheNewLap_data()
{
    // Car 105's lap `lap` comes or changes to `position` (0: it goes).
    QTest::addColumn<int>("lap");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("pit");
    QTest::addColumn<bool>("selected");
    // Whether the repaint must be under 5 % of the view (not measured past
    // the room kept for the line, or before its last lap).
    QTest::addColumn<bool>("small");
    QTest::addColumn<bool>("repainted");
    QTest::newRow("holds its place") << 16 << 5 << false << false << true << true;
    QTest::newRow("gains a place") << 16 << 4 << false << false << true << true;
    QTest::newRow("loses three places") << 16 << 8 << false << false << true << true;
    QTest::newRow("in the pit") << 16 << 5 << true << false << true << true;
    QTest::newRow("selected") << 16 << 3 << false << true << true << true;
    QTest::newRow("nothing new") << 15 << 4 << false << false << true << false;
    // Past the room kept for the lines, or changes before the last lap.
    QTest::newRow("far ahead") << 34 << 5 << false << false << false << true;
    QTest::newRow("an earlier lap") << 8 << 10 << false << false << false << true;
    QTest::newRow("lap 0 comes") << 0 << 5 << false << false << false << true;
    QTest::newRow("the last lap goes") << 15 << 0 << false << false << false << true;
}

// A new lap of one car repaints that lap, not the car's whole line across
// the chart, and the screen is what a fresh paint shows.
void TestChartPanels::lapChartRepaintsTheNewLap()
{
    QFETCH(int, lap);
    QFETCH(int, position);
    QFETCH(bool, pit);
    QFETCH(bool, selected);
    QFETCH(bool, small);
    QFETCH(bool, repainted);
    auto provider = makeTestProvider();
    race(*provider, {}, 20, false);
    // Twelve cars over 15 laps, cars 104 and 105 swapping places every third
    // lap; 105 last on lap 2, so that its line spans most of the rows.
    for (int car = 1; car <= 12; ++car) {
        mirrorNode(*provider, QStringLiteral("timing.session.startingGrid.positions.%1").arg(car))->insertData(QStringLiteral("participant"), QString::number(100 + car));
        for (int l = 1; l <= 15; ++l) {
            int place = (car == 4 || car == 5) && l % 3 == 0 ? 9 - car : car;
            if (l == 2 && (car == 5 || car == 12))
                place = 17 - car;
            mirrorNode(*provider, QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(100 + car).arg(l))->insertData(QStringLiteral("position"), place);
        }
    }
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.105.pits.1"))->insertData(QStringLiteral("lapNumber"), 7);
    emit provider->controller()->analysisPitIn();
    WidgetLapChart panel(provider.get());
    panel.resize(900, 500);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    LapChartView* view = panel.view();
    view->setLapWidth(20);
    view->label(QStringLiteral("105"))->setSelected(selected);
    PaintRecorder recorder;
    view->viewport()->installEventFilter(&recorder);
    // The first change after a rebuild repaints every item once (the
    // toolkit's way): another car's lap comes first.
    mirrorNode(*provider, QStringLiteral("timing.analysis.laps.101.laps.16"))->insertData(QStringLiteral("position"), 1);
    emit provider->controller()->analysisLapsByPnum(QStringLiteral("101"));
    QTRY_VERIFY(!recorder.painted().isEmpty());
    QTest::qWait(50);
    recorder.clear();
    if (position > 0)
        mirrorNode(*provider, QStringLiteral("timing.analysis.laps.105.laps.%1").arg(lap))->insertData(QStringLiteral("position"), position);
    else
        mirrorNode(*provider, QStringLiteral("timing.analysis.laps.105.laps"))->deleteKey(QString::number(lap));
    if (pit) {
        mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.105.pits.2"))->insertData(QStringLiteral("lapNumber"), lap);
        emit provider->controller()->analysisPitIn();
    }
    emit provider->controller()->analysisLapsByPnum(QStringLiteral("105"));
    if (repainted)
        QTRY_VERIFY(!recorder.painted().isEmpty());
    QTest::qWait(50);
    view->viewport()->removeEventFilter(&recorder);
    QCOMPARE(!recorder.painted().isEmpty(), repainted);

    QWidget* inside = view->viewport();
    const QImage screen = ScreenPixels::shown(inside);
    const QImage fresh = ScreenPixels::fresh(inside);
    QCOMPARE(screen.size(), fresh.size());
    // The car numbers are left out: a grab draws their first digit a pixel
    // apart from the screen, with or without a new lap.
    QRegion numbers;
    for (const QString& car : view->cars())
        numbers += view->mapFromScene(view->label(car)->sceneBoundingRect()).boundingRect();
    const QRect stale = ScreenPixels::differing(screen, fresh, numbers);
    QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("stale pixels in %1,%2 %3x%4").arg(stale.x()).arg(stale.y()).arg(stale.width()).arg(stale.height())));
    const LapChartItem* line = view->line(QStringLiteral("105"));
    if (repainted)
        QVERIFY(recorder.painted().contains(view->mapFromScene(line->mapToScene(line->points().last()))));
    const qint64 all = qint64(inside->width()) * inside->height();
    if (small)
        QVERIFY2(recorder.area() * 20 < all, qPrintable(QStringLiteral("%1 of %2").arg(recorder.area()).arg(all)));
}

void TestChartPanels::weatherUnits()
{
    auto provider = makeTestProvider();
    mergeMirror(*provider, R"({"weather":{"currentData":{"trackTemperature":20.0,"ambientTemperature":18.5,"windSpeed":10.0,"humidity":55.7,"pressure":1013.0}}})");
    WidgetMeteo panel(provider.get());
    emit provider->controller()->weather();
    CurrentValuesItem* values = panel.view()->currentValues();
    // Degree signs, not the ordinal indicator "º".
    QCOMPARE(values->texts(), QStringList({"20.0\u00B0C", "18.5\u00B0C", "10.0 Kph", "55%", "1013.0 mBar"}));
    panel.setUsaUnits(true);
    QCOMPARE(values->texts(), QStringList({"68.0\u00B0F", "65.3\u00B0F", "6.2 Mph", "55%", "29.9 In"}));
    // Wind from the north: the arrow points down, where the wind goes.
    QCOMPARE(panel.view()->windDirection()->arrowRotation(), 180);
    addSamples(*provider, "trackTemperature", {20.0, 25.0});
    emit provider->controller()->weather();
    QCOMPARE(panel.view()->graphs().first()->values(), QVector<float>({68.0f, 77.0f}));
}

void TestChartPanels::weatherCarousel()
{
    auto provider = makeTestProvider();
    MeteoGraphicsView view(provider.get());
    QCOMPARE(view.shownGraph(), 1);
    QStringList titles;
    for (int i = 0; i < 5; ++i) {
        view.showNextGraph();
        titles << view.graphs().at(view.shownGraph() - 1)->title();
        int visible = 0;
        for (MeteoGraphItem* graph : view.graphs())
            visible += graph->isVisible() ? 1 : 0;
        QCOMPARE(visible, 1);
    }
    QCOMPARE(titles, QStringList({"AIR TEMP", "WIND SPEED", "HUMIDITY", "PRESSURE", "TRACK TEMP"}));
}

void TestChartPanels::weatherGraphScales()
{
    auto provider = makeTestProvider();
    addSamples(*provider, "humidity", {0.0, 0.0, 0.0});
    addSamples(*provider, "pressure", {1012.0, 1013.5, 1011.0});
    MeteoGraphicsView view(provider.get());
    MeteoGraphItem* humidity = view.graphs().at(3);
    MeteoGraphItem* pressure = view.graphs().at(4);
    // All zero: the axes and "0", no line and no division by zero.
    QCOMPARE(humidity->scaleRange(), qMakePair(0.0f, 0.0f));
    const QImage image = painted(humidity);
    bool yellow = false;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            yellow = yellow || QColor(image.pixel(x, y)) == QColor(Qt::yellow);
    }
    QVERIFY(!yellow);
    // Pressure between its lowest and highest value, so that 2.5 mBar show.
    QCOMPARE(pressure->scaleRange(), qMakePair(1011.0f, 1013.5f));
}

void TestChartPanels::weatherGraphsSurviveTheLogin()
{
    // A login's lines: the weather channel first, then the session's, a new
    // session. The graphs used to be emptied there until the next weather line.
    auto provider = makeTestProvider();
    MeteoGraphicsView view(provider.get());
    provider->controller()->receiveBytes(R"(JSON:1::{"weather":{"sessionData":{"1767268800000":{"trackTemperature":21.5}}}})"
                                         "\n");
    provider->controller()->receiveBytes(R"(JSON:2::{"timing":{"session":{"info":{"sessionDbId":12}}}})"
                                         "\n");
    QCOMPARE(provider->controller()->sessionId(), 12);
    QCOMPARE(view.graphs().first()->values(), QVector<float>({21.5f}));
    // A session without weather shows none.
    provider->controller()->getCurrentData()->deleteKey(QStringLiteral("weather"));
    emit provider->controller()->cleanAll();
    QVERIFY(view.graphs().first()->values().isEmpty());
}

void TestChartPanels::weatherBelowZero_data()
{
    QTest::addColumn<QVector<double>>("samples");
    QTest::addColumn<float>("low");
    QTest::addColumn<float>("high");
    QTest::newRow("all below zero") << QVector<double>{-5.0, -2.0, -3.5} << -5.0f << -2.0f;
    QTest::newRow("mixed signs") << QVector<double>{-4.0, 1.0, 6.0} << -4.0f << 6.0f;
    QTest::newRow("steady") << QVector<double>{-1.0, -1.0, -1.0, -1.0} << -2.0f << 0.0f;
}

void TestChartPanels::weatherBelowZero()
{
    QFETCH(QVector<double>, samples);
    QFETCH(float, low);
    QFETCH(float, high);
    auto provider = makeTestProvider();
    addSamples(*provider, "trackTemperature", samples.toList());
    addSamples(*provider, "ambientTemperature", samples.toList());
    MeteoGraphicsView view(provider.get());
    for (int graph = 0; graph < 2; ++graph) {
        MeteoGraphItem* temperature = view.graphs().at(graph);
        // Scaled between the lowest and the highest value, as pressure is.
        QCOMPARE(temperature->scaleRange(), qMakePair(low, high));
        // The line is drawn, inside the item and above the time axis.
        const QImage image = painted(temperature);
        int lowest = -1;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel(image.pixel(x, y));
                if (pixel.red() > 120 && pixel.green() > 120 && pixel.blue() < 60)
                    lowest = y;
            }
        }
        QVERIFY(lowest >= 0);
        QVERIFY2(lowest <= 96, qPrintable(QString::number(lowest)));
    }
}

QTEST_MAIN(TestChartPanels)
#include "tst_chartpanels.moc"
