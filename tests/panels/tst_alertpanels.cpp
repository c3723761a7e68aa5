#include "AppSettings.h"
#include "CarFlash.h"
#include "ColumnTable.h"
#include "ModelSessionLapForCarFollow.h"
#include "ModelSessionStandingBySector.h"
#include "ModelTeamAlerts.h"
#include "SessionClock.h"
#include "TeamAlertEngine.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "TimeOfDay.h"
#include "WidgetAlerts.h"
#include "WidgetCarFollow.h"

#include <QAbstractItemModelTester>
#include <QBrush>
#include <QFont>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

// The flash's orange, unlike any follow, best-time or pit-lap colour.
const QColor kFlash(255, 140, 0);
constexpr qint64 kTrackTime = Q_INT64_C(1767225600000) + 14 * 3600000; // 14:00:00 at the track, 1 January 2026

TeamAlert alert(const QString& car, const QString& text, AlertSeverity severity = AlertSeverity::Info, qint64 seconds = 0)
{
    TeamAlert a;
    a.identity = QStringLiteral("test/%1/%2").arg(car, text);
    a.ruleId = QStringLiteral("pitEntry");
    a.carNumber = car;
    a.text = text;
    a.trackTimeMs = kTrackTime + seconds * 1000;
    a.severity = severity;
    return a;
}

QString cell(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

QColor background(const QAbstractItemModel& model, int row, int column)
{
    const QVariant brush = model.data(model.index(row, column), Qt::BackgroundRole);
    return brush.isValid() ? brush.value<QBrush>().color() : QColor();
}

bool flashing(const QAbstractItemModel& model, int row)
{
    return model.data(model.index(row, 0), ColumnTable::FlashRole).toBool();
}

void addCar(V2DataProvider& p, int position, const QString& pNum)
{
    mirrorNode(p, QStringLiteral("timing.session.standings.overall.active.%1").arg(position))->insertData(QStringLiteral("participant"), pNum);
    mirrorNode(p, QStringLiteral("timing.session.entry.") + pNum)->insertData(QStringLiteral("class"), QStringLiteral("GT3"));
}

void addLaps(V2DataProvider& p, const QString& pNum, int laps)
{
    for (int n = 1; n <= laps; ++n) {
        V2_Data* lap = mirrorNode(p, QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(pNum).arg(n));
        lap->insertData(QStringLiteral("startTime"), quint64(kTrackTime) + quint64(n) * 60000 + pNum.toULongLong());
        lap->insertData(QStringLiteral("time"), 60000);
    }
}

} // namespace

class TestAlertPanels final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void newestFirstWithSeverity_data();
    void newestFirstWithSeverity();
    void acknowledgingRowsAndAll();
    void settingsRestoredAfterRecreation();
    void flashOnStandingsAndFollowBlock();

private:
    TestSettings m_config;
};

void TestAlertPanels::initTestCase()
{
    // The computer's clock reads UTC here, whatever the machine's zone.
    qputenv("TZ", "UTC");
    tzset();
}

void TestAlertPanels::init()
{
    AppSettings::open()->clear();
}

void TestAlertPanels::newestFirstWithSeverity_data()
{
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QColor>("criticalTint");
    QTest::addColumn<QColor>("acknowledgedText");
    QTest::newRow("dark") << "Dark" << QColor(110, 30, 36) << QColor(130, 136, 145);
    QTest::newRow("light") << "Light" << QColor(248, 204, 204) << QColor(128, 128, 128);
}

void TestAlertPanels::newestFirstWithSeverity()
{
    QFETCH(QString, skin);
    QFETCH(QColor, criticalTint);
    QFETCH(QColor, acknowledgedText);
    auto provider = makeTestProvider();
    TeamAlertEngine* engine = provider->teamAlerts();
    engine->raise(alert(QStringLiteral("7"), QStringLiteral("Car 7 in the pit lane"), AlertSeverity::Info, 5));
    ModelTeamAlerts model(provider.get(), skin);
    QAbstractItemModelTester tester(&model);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    engine->raise(alert(QString(), QStringLiteral("Safety car"), AlertSeverity::Critical, 65));
    // One row inserted at the top, no reset.
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 0);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(QStringList({cell(model, 0, 0), cell(model, 0, 1), cell(model, 0, 2), cell(model, 0, 3)}),
             QStringList({"14:01:05", "", "Pit entry", "Safety car"}));
    QCOMPARE(QStringList({cell(model, 1, 0), cell(model, 1, 1), cell(model, 1, 3)}), QStringList({"14:00:05", "7", "Car 7 in the pit lane"}));
    // The track two hours ahead of this computer: its clock, or the computer's.
    SessionClock::setUtcOffset(7200000);
    QCOMPARE(cell(model, 0, 0), QStringLiteral("12:01:05"));
    TimeOfDay::setZone(TimeOfDay::TrackTime);
    QCOMPARE(cell(model, 0, 0), QStringLiteral("14:01:05"));
    TimeOfDay::setZone(TimeOfDay::ComputerTime);
    SessionClock::setUtcOffset(0);
    // Severity by an icon and a text as well as a tint.
    const auto picture = [&model](int row) {
        return model.data(model.index(row, ModelTeamAlerts::Time), Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    QVERIFY(!picture(0).isNull());
    QVERIFY(picture(0) != picture(1));
    QCOMPARE(model.data(model.index(0, 0), Qt::ToolTipRole).toString(), QStringLiteral("Critical: double-click to acknowledge"));
    QCOMPARE(background(model, 0, 3), criticalTint);
    QVERIFY(model.data(model.index(0, 3), Qt::FontRole).value<QFont>().bold());
    // An acknowledged row: no tint, plain and dimmed.
    engine->acknowledge(1);
    QCOMPARE(model.data(model.index(0, 0), Qt::ToolTipRole).toString(), QStringLiteral("Critical (acknowledged)"));
    QVERIFY(!background(model, 0, 3).isValid());
    QVERIFY(!model.data(model.index(0, 3), Qt::FontRole).value<QFont>().bold());
    QCOMPARE(model.data(model.index(0, 3), Qt::ForegroundRole).value<QBrush>().color(), acknowledgedText);
}

void TestAlertPanels::acknowledgingRowsAndAll()
{
    auto provider = makeTestProvider();
    TeamAlertEngine* engine = provider->teamAlerts();
    WidgetAlerts panel(provider.get());
    QVERIFY(!panel.acknowledgeAllButton()->isEnabled());
    for (int i = 0; i < 4; ++i)
        engine->raise(alert(QString::number(i + 1), QStringLiteral("alert %1").arg(i)));
    ModelTeamAlerts* model = panel.model();
    QVERIFY(panel.acknowledgeAllButton()->isEnabled());
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    // A double click on the second row (car 3, the third raised) acknowledges it alone.
    emit panel.table()->doubleClicked(model->index(1, ModelTeamAlerts::Text));
    QCOMPARE(engine->unacknowledgedCount(), 3);
    QVERIFY(engine->alerts().at(2).acknowledged);
    QVERIFY(model->alertAt(1).acknowledged);
    QVERIFY(!model->alertAt(0).acknowledged && !model->alertAt(2).acknowledged);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 1);
    QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 1);
    // All: the three rows left, in two runs around the acknowledged one.
    changed.clear();
    panel.acknowledgeAllButton()->click();
    QCOMPARE(engine->unacknowledgedCount(), 0);
    for (int row = 0; row < 4; ++row)
        QVERIFY(model->alertAt(row).acknowledged);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(0).at(1).toModelIndex().row(), 0);
    QCOMPARE(changed.at(1).at(0).toModelIndex().row(), 2);
    QCOMPARE(changed.at(1).at(1).toModelIndex().row(), 3);
    QVERIFY(!panel.acknowledgeAllButton()->isEnabled());
    // Cleared with the session: empty.
    engine->clear();
    QCOMPARE(model->rowCount(), 0);
}

void TestAlertPanels::settingsRestoredAfterRecreation()
{
    auto provider = makeTestProvider();
    {
        WidgetAlerts panel(provider.get());
        QHeaderView* header = panel.table()->horizontalHeader();
        header->resizeSection(ModelTeamAlerts::Rule, 177);
        header->moveSection(header->visualIndex(ModelTeamAlerts::Car), 0); // Car first
        std::unique_ptr<QMenu> menu(panel.columnMenu(panel.table()));
        menu->actions().first()->menu()->actions().at(ModelTeamAlerts::Time)->setChecked(false);
    }
    WidgetAlerts again(provider.get());
    QHeaderView* header = again.table()->horizontalHeader();
    QCOMPARE(header->sectionSize(ModelTeamAlerts::Rule), 177);
    QCOMPARE(header->logicalIndex(0), int(ModelTeamAlerts::Car));
    QVERIFY(again.table()->isColumnHidden(ModelTeamAlerts::Time));
    QCOMPARE(again.groupName(), QStringLiteral("view_alerts"));
}

void TestAlertPanels::flashOnStandingsAndFollowBlock()
{
    auto provider = makeTestProvider();
    qint64 now = 1000;
    provider->carFlash()->setClock([&now] { return now; });
    addCar(*provider, 1, QStringLiteral("7"));
    addCar(*provider, 2, QStringLiteral("17"));
    addLaps(*provider, QStringLiteral("7"), 2);
    addLaps(*provider, QStringLiteral("17"), 1);
    emit provider->controller()->analysisLaps();
    ModelSessionStandingBySector standings(provider.get(), QStringLiteral("Dark"));
    standings.processRefresh();
    WidgetCarFollow block(provider.get(), 0);
    block.setParticipant(QStringLiteral("7"));
    const QAbstractItemModel& follow = *block.table()->model();
    QCOMPARE(follow.rowCount(), 2);
    QSignalSpy standingsChanged(&standings, &QAbstractItemModel::dataChanged);
    // The block announces through its filter; its source, only car 7's laps.
    QSignalSpy blockChanged(&follow, &QAbstractItemModel::dataChanged);
    const QAbstractItemModel* laps = qobject_cast<const QSortFilterProxyModel*>(&follow)->sourceModel();
    QCOMPARE(laps->rowCount(), 3);
    QSignalSpy lapsChanged(laps, &QAbstractItemModel::dataChanged);

    provider->teamAlerts()->raise(alert(QStringLiteral("7"), QStringLiteral("Car 7 in the pit lane")));
    // Car 7's row alone, announced as one row, lit at once.
    QCOMPARE(standingsChanged.size(), 1);
    QCOMPARE(standingsChanged.at(0).at(0).toModelIndex().row(), 0);
    QCOMPARE(standingsChanged.at(0).at(1).toModelIndex().row(), 0);
    QVERIFY(flashing(standings, 0));
    QVERIFY(!flashing(standings, 1));
    QCOMPARE(background(standings, 0, ModelSessionStanding::NumberColumn), kFlash);
    QVERIFY(background(standings, 1, ModelSessionStanding::NumberColumn) != kFlash);
    QVERIFY(flashing(follow, 0) && flashing(follow, 1));
    QCOMPARE(background(follow, 1, ModelSessionLap::Driver), kFlash);
    QVERIFY(!blockChanged.isEmpty());
    QStringList announced;
    for (const QList<QVariant>& range : qAsConst(lapsChanged))
        for (int row = range.at(0).toModelIndex().row(); row <= range.at(1).toModelIndex().row(); ++row)
            announced << cell(*laps, row, ModelSessionLap::Number);
    QCOMPARE(announced, QStringList({"7", "7"}));
    // It blinks: unlit on the next spell, still flashing.
    now += CarFlash::kBlinkMs;
    provider->carFlash()->tick();
    QVERIFY(flashing(standings, 0));
    QVERIFY(background(standings, 0, ModelSessionStanding::NumberColumn) != kFlash);
    // Its time up, it stops and its row is repainted once more.
    standingsChanged.clear();
    blockChanged.clear();
    now += CarFlash::kFlashMs;
    provider->carFlash()->tick();
    QVERIFY(!flashing(standings, 0));
    QVERIFY(!flashing(follow, 0));
    QCOMPARE(standingsChanged.size(), 1);
    QVERIFY(!blockChanged.isEmpty());
    provider->carFlash()->tick();
    QVERIFY(background(standings, 0, ModelSessionStanding::NumberColumn) != kFlash);
    // Another car's alert leaves the block alone; an alert on no car flashes nothing.
    blockChanged.clear();
    provider->teamAlerts()->raise(alert(QStringLiteral("17"), QStringLiteral("Car 17 in the pit lane")));
    provider->teamAlerts()->raise(alert(QString(), QStringLiteral("Red flag")));
    QVERIFY(flashing(standings, 1));
    QVERIFY(!flashing(standings, 0));
    QVERIFY(!flashing(follow, 0));
    QCOMPARE(blockChanged.size(), 0);
}

QTEST_MAIN(TestAlertPanels)
#include "tst_alertpanels.moc"
