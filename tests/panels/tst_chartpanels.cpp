#include "AppSettings.h"
#include "CurrentValuesItem.h"
#include "LapChartView.h"
#include "MeteoGraphItem.h"
#include "MeteoGraphicsView.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "WidgetLapChart.h"
#include "WidgetMeteo.h"
#include "WindDirectionItem.h"

#include <QCheckBox>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QStyleOptionGraphicsItem>
#include <QTemporaryDir>
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

} // namespace

class TestChartPanels final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void lapChartOnlyForRaces();
    void lapChartLine();
    void lapChartAxis();
    void lapChartColoursAndSelection();
    void lapChartRefreshWithSelection();
    void lapChartSettings();
    void weatherUnits();
    void weatherCarousel();
    void weatherGraphScales();
    void weatherGraphsSurviveTheLogin();

private:
    QTemporaryDir m_config;
};

void TestChartPanels::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    StartUp::setApplicationIdentity();
}

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
    auto provider = makeTestProvider();
    race(*provider, {2, 2, 1});
    LapChartView view;
    view.setProvider(provider.get());
    for (const QString& car : view.cars())
        view.label(car)->setSelected(true);
    view.setLapWidth(10);
    QCOMPARE(view.cars(), QStringList({"9", "7", "12"}));
    QVERIFY(view.scene()->selectedItems().isEmpty());
    QCOMPARE(view.label(QStringLiteral("7"))->zValue(), 0.0);
    QCOMPARE(view.line(QStringLiteral("7"))->points().last(), QPointF(30, -15));
}

void TestChartPanels::lapChartSettings()
{
    auto provider = makeTestProvider();
    WidgetLapChart panel(provider.get());
    QCOMPARE(panel.view()->lapWidth(), 5.0);
    panel.on_horizontalSlider_valueChanged(25);
    panel.on_checkBox_clicked(false);
    QCOMPARE(panel.view()->lapWidth(), 2.5);
    WidgetLapChart again(provider.get());
    QCOMPARE(again.view()->lapWidth(), 2.5);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("view_lapchart/show_pits")).toBool(), false);
    again.setBikeLayout(true);
    QCOMPARE(again.findChild<QCheckBox*>(QStringLiteral("checkBox_ColorsOnFollowed"))->text(), QStringLiteral("Colors on followed bikes"));
}

void TestChartPanels::weatherUnits()
{
    auto provider = makeTestProvider();
    V2_Data* now = mirrorNode(*provider, QStringLiteral("weather.currentData"));
    now->insertData(QStringLiteral("trackTemperature"), 20.0);
    now->insertData(QStringLiteral("ambientTemperature"), 18.5);
    now->insertData(QStringLiteral("windSpeed"), 10.0);
    now->insertData(QStringLiteral("humidity"), 55.7);
    now->insertData(QStringLiteral("pressure"), 1013.0);
    WidgetMeteo panel(provider.get());
    emit provider->controller()->weather();
    CurrentValuesItem* values = panel.view()->currentValues();
    QCOMPARE(values->texts(), QStringList({"20.0ºC", "18.5ºC", "10.0 Kph", "55%", "1013.0 mBar"}));
    panel.setUsaUnits(true);
    QCOMPARE(values->texts(), QStringList({"68.0F", "65.3F", "6.2 Mph", "55%", "29.9 In"}));
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
    QImage image(humidity->boundingRect().size().toSize(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    QStyleOptionGraphicsItem option;
    humidity->paint(&painter, &option, nullptr);
    painter.end();
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

QTEST_MAIN(TestChartPanels)
#include "tst_chartpanels.moc"
