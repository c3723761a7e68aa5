#include "AppSettings.h"
#include "CoalescedTableModel.h"
#include "LapChartItem.h"
#include "LapChartView.h"
#include "PositioningController.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "ModelDriveTime.h"
#include "ModelSessionStints.h"
#include "WidgetDriveTime.h"
#include "WidgetLapChart.h"
#include "WidgetPositioning.h"
#include "WidgetSessionInfo.h"
#include "WidgetStanding.h"
#include "WidgetStints.h"

#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

namespace {

void addCar(V2DataProvider& p, int position, const QString& pNum)
{
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.active.%1").arg(position))->insertData(QStringLiteral("participant"), pNum);
    mirrorNode(p, QStringLiteral("timing.session.entry.") + pNum)->insertData(QStringLiteral("class"), QStringLiteral("GT3"));
}

void putCar(V2_Data* participants, const QString& number, int position, int x)
{
    V2_Data* node = participants->getOrCreateDataPointer(number);
    node->insertData(QStringLiteral("overallPos"), position);
    node->insertData(QStringLiteral("status"), 0);
    node->insertData(QStringLiteral("text"), number);
    node->insertData(QStringLiteral("x"), x);
    node->insertData(QStringLiteral("y"), 100);
}

// Counts the paint events of a widget and its children.
class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget* root)
    {
        root->installEventFilter(this);
        for (QWidget* child : root->findChildren<QWidget*>())
            child->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

// Out of sight as the data names it: hidden (closed to the tray of a
// layout, the follow panel) or minimised; and back in sight.
void putOutOfSight(ToolWindow& panel, bool minimise)
{
    if (minimise)
        panel.showMinimized();
    else
        panel.hide();
}

void bringBack(ToolWindow& panel, bool minimise)
{
    if (minimise)
        panel.showNormal();
    else
        panel.show();
}

} // namespace

class TestHiddenPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void tableCatchesUpWhenShown_data();
    void tableCatchesUpWhenShown();
    void lapChartCatchesUpWhenShown_data();
    void lapChartCatchesUpWhenShown();
    void trackMapCatchesUpWhenShown_data();
    void trackMapCatchesUpWhenShown();
    void clockRepaintsNothingUnchanged();
    void emptyTablesStayStill_data();
    void emptyTablesStayStill();

private:
    TestSettings m_config;
};

void TestHiddenPanels::init()
{
    AppSettings::open()->clear();
}

static void outOfSightRows()
{
    QTest::addColumn<bool>("minimise");
    QTest::newRow("hidden") << false;
    QTest::newRow("minimised") << true;
}

void TestHiddenPanels::emptyTablesStayStill_data()
{
    QTest::addColumn<bool>("driveTime");
    QTest::newRow("drive time, its clock") << true;
    QTest::newRow("stints, another car's stint") << false;
}

// A table with nothing to show (no car followed, none chosen) is neither
// reset nor repainted by a clock or by other cars' data.
void TestHiddenPanels::emptyTablesStayStill()
{
    QFETCH(bool, driveTime);
    auto provider = makeTestProvider();
    std::unique_ptr<TablePanel> panel;
    QAbstractItemModel* model = nullptr;
    if (driveTime) {
        auto* drive = new WidgetDriveTime(provider.get());
        model = drive->model();
        panel.reset(drive);
    } else {
        auto* stints = new WidgetStints(provider.get());
        model = stints->model();
        panel.reset(stints);
    }
    panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
    QCOMPARE(model->rowCount(), 0);
    QTest::qWait(2 * CoalescedTableModel::kCoalesceMs);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    PaintCounter paints(panel.get());
    for (int i = 0; i < 3; ++i) {
        if (driveTime)
            static_cast<ModelDriveTime*>(model)->processRefresh();
        else
            emit provider->analysisStints();
        QTest::qWait(2 * CoalescedTableModel::kCoalesceMs);
    }
    QCOMPARE(reset.count(), 0);
    QCOMPARE(paints.count, 0);
}

void TestHiddenPanels::tableCatchesUpWhenShown_data()
{
    outOfSightRows();
}

void TestHiddenPanels::tableCatchesUpWhenShown()
{
    QFETCH(bool, minimise);
    auto provider = makeTestProvider();
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    WidgetStanding panel(provider.get());
    emit provider->controller()->trackInfo();
    addCar(*provider, 1, QStringLiteral("7"));
    addCar(*provider, 2, QStringLiteral("9"));
    emit provider->controller()->standingsOverall();
    panel.show();
    QAbstractItemModel* model = panel.table(WidgetStanding::RacePage)->model();
    QCOMPARE(model->rowCount(), 2);

    putOutOfSight(panel, minimise);
    QVERIFY(!panel.isShowing());
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    // A new leader and a third car, announced whole and by position.
    addCar(*provider, 1, QStringLiteral("12"));
    addCar(*provider, 3, QStringLiteral("7"));
    emit provider->controller()->standingsOverallByPosition(1);
    emit provider->controller()->standingsOverall();
    emit provider->controller()->standingsOverallByPosition(3);
    QTest::qWait(2 * CoalescedTableModel::kCoalesceMs);
    QCOMPARE(changed.count() + reset.count() + inserted.count(), 0);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("7"));

    // In sight again: the new standings at once, before any paint.
    bringBack(panel, minimise);
    QVERIFY(panel.isShowing());
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("12"));
    QCOMPARE(model->index(2, 1).data().toString(), QStringLiteral("7"));
    // In sight, updates flow again as they come.
    addCar(*provider, 2, QStringLiteral("33"));
    emit provider->controller()->standingsOverallByPosition(2);
    QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("33"));
}

void TestHiddenPanels::lapChartCatchesUpWhenShown_data()
{
    outOfSightRows();
}

void TestHiddenPanels::lapChartCatchesUpWhenShown()
{
    QFETCH(bool, minimise);
    auto provider = makeTestProvider();
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    mirrorNode(*provider, QStringLiteral("timing.session.status"))->insertData(QStringLiteral("elapsedLaps"), 3);
    mirrorNode(*provider, QStringLiteral("timing.session.startingGrid.positions.1"))->insertData(QStringLiteral("participant"), QStringLiteral("7"));
    mirrorNode(*provider, QStringLiteral("timing.session.entry.7"));
    for (int lap = 1; lap <= 2; ++lap)
        mirrorNode(*provider, QStringLiteral("timing.analysis.laps.7.laps.%1").arg(lap))->insertData(QStringLiteral("position"), 1);
    WidgetLapChart panel(provider.get());
    panel.show();
    LapChartView* view = panel.view();
    QCOMPARE(view->line(QStringLiteral("7"))->points().last().x(), 2 * view->lapWidth());

    putOutOfSight(panel, minimise);
    LapChartItem* line = view->line(QStringLiteral("7"));
    mirrorNode(*provider, QStringLiteral("timing.analysis.laps.7.laps.3"))->insertData(QStringLiteral("position"), 1);
    emit provider->controller()->analysisLapsByPnum(QStringLiteral("7"));
    emit provider->controller()->sessionStartingGrid();
    // Nothing drawn while out of sight: the same line, its points unchanged.
    QCOMPARE(view->line(QStringLiteral("7")), line);
    QCOMPARE(line->points().last().x(), 2 * view->lapWidth());

    bringBack(panel, minimise);
    QCOMPARE(view->line(QStringLiteral("7"))->points().last().x(), 3 * view->lapWidth());
}

void TestHiddenPanels::trackMapCatchesUpWhenShown_data()
{
    outOfSightRows();
}

void TestHiddenPanels::trackMapCatchesUpWhenShown()
{
    QFETCH(bool, minimise);
    auto provider = makeTestProvider();
    V2_Data* participants = mirrorNode(*provider, QStringLiteral("positioning.participants"));
    putCar(participants, QStringLiteral("7"), 1, 200);
    WidgetPositioning panel(provider.get());
    emit provider->controller()->updateParticipants(participants);
    panel.show();
    PositioningController* controller = panel.positioningController();
    QCOMPARE(controller->participants().value(1).x, 100);

    putOutOfSight(panel, minimise);
    QSignalSpy announced(controller, &PositioningController::updateParticipants);
    putCar(participants, QStringLiteral("7"), 1, 600);
    putCar(participants, QStringLiteral("9"), 2, 800);
    emit provider->controller()->updateParticipants(participants);
    QCOMPARE(announced.count(), 0);
    QCOMPARE(controller->participants().size(), 1);
    QCOMPARE(controller->participants().value(1).x, 100);

    bringBack(panel, minimise);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(controller->participants().size(), 2);
    QCOMPARE(controller->participants().value(1).x, 300);
}

void TestHiddenPanels::clockRepaintsNothingUnchanged()
{
    // The session panel's clock ticks every half second; with no session
    // running nothing it shows changes, so nothing is painted again.
    auto provider = makeTestProvider();
    WidgetSessionInfo panel(provider.get());
    panel.resize(500, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTest::qWait(100);
    PaintCounter painted(&panel);
    QTest::qWait(1100);
    QCOMPARE(painted.count, 0);
}

QTEST_MAIN(TestHiddenPanels)
#include "tst_hiddenpanels.moc"
