#include "AppSettings.h"
#include "ModelAdditionalStanding.h"
#include "ModelSessionStandingBySector.h"
#include "ModelStandingCombined.h"
#include "SessionClock.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "TimingColours.h"
#include "ToolWindow.h"
#include "WidgetAdditionalStandings.h"
#include "WidgetClassResults.h"
#include "WidgetStandingCombined.h"
#include "WidgetStandingFastestLap.h"

#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QtTest>

namespace {

QString text(const QAbstractItemModel& model, int row, int column)
{
    return model.data(model.index(row, column)).toString();
}

void addCombined(V2DataProvider& p, const QString& type, int sessions)
{
    mirrorNode(p, QStringLiteral("timing.combined.info"))->insertData(QStringLiteral("type"), type);
    for (int s = 1; s <= sessions; ++s)
        mirrorNode(p, QStringLiteral("timing.combined.info.sessions.%1").arg(s))->insertData(QStringLiteral("name"), QStringLiteral("Q%1").arg(s));
    const char* cars[] = {"7", "9"};
    for (int i = 0; i < 2; ++i) {
        V2_Data* row = mirrorNode(p, QStringLiteral("timing.combined.standings.overall.%1").arg(i + 1));
        row->insertData(QStringLiteral("number"), QLatin1String(cars[i]));
        row->insertData(QStringLiteral("time"), quint64(90000 + i * 500));
        row->insertData(QStringLiteral("gapFirst"), double(i * 500));
        const QString details = QStringLiteral("timing.combined.participantDetails.") + QLatin1String(cars[i]);
        mirrorNode(p, details)->insertData(QStringLiteral("fastestLapTime"), quint64(90000 + i * 500));
        for (int s = 1; s <= sessions; ++s)
            mirrorNode(p, details + QStringLiteral(".sessionsResults.%1").arg(s))->insertData(QStringLiteral("time"), quint64(91000 + s * 100 + i));
        V2_Data* entry = mirrorNode(p, QStringLiteral("timing.combined.entry.") + QLatin1String(cars[i]));
        entry->insertData(QStringLiteral("team"), QStringLiteral("Team %1").arg(cars[i]));
        entry->getOrCreateDataPointer(QStringLiteral("drivers.1"))->insertData(QStringLiteral("lastName"), QStringLiteral("Driver%1").arg(cars[i]));
    }
    mirrorNode(p, QStringLiteral("timing.combined.bestResults.overall.lap"))->insertData(QStringLiteral("time"), quint64(90000));
    emit p.controller()->standingsCombinedOverall();
}

} // namespace

class TestStandingPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fastestLap();
    void combinedSessionColumns_data();
    void combinedSessionColumns();
    void additionalStandings();
    void bestsNameTheirDriver();
    void topSpeedDriver_data();
    void topSpeedDriver();
    void combinedNewBestRepaintsTheOldOne();
    void bestsFollowPaletteAndCue_data();
    void bestsFollowPaletteAndCue();
    void additionalStandingsFitTheirPanel_data();
    void additionalStandingsFitTheirPanel();
    void classTablesFollowTheClasses();
    void pitTimerOnTheServerClock();

private:
    TestSettings m_config;
};

void TestStandingPanels::init()
{
    AppSettings::open()->clear();
    SessionClock::forgetServerLead();
}

void TestStandingPanels::cleanup()
{
    // A failed check must not leave a test's clock to the next.
    SessionClock::setClock(nullptr);
    TimingColours::instance()->setPalette(TimingColours::Classic);
    TimingColours::instance()->setCues(true);
    ToolWindow::setTextScale(1);
}

void TestStandingPanels::fastestLap()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    // The second row has no lap, no gap and no time.
    mergeMirror(p, R"({"timing":{"session":{"entry":{"7":{"class":"GT3","drivers":{"1":{"lastName":"Smith"}}}},"standings":{"overall":{"additional":)"
                   R"({"byFastestLap":{"1":{"participant":"7","time":89123,"lap":4,"gap":0.0},"2":{"participant":"9"}}}}}}}})");
    WidgetStandingFastestLap panel(provider.get());
    const ModelAdditionalStanding& model = *panel.model();
    using M = ModelAdditionalStanding;
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(text(model, 0, M::Value), QStringLiteral("1:29.123"));
    QCOMPARE(text(model, 0, M::Lap), QStringLiteral("4"));
    QCOMPARE(text(model, 0, M::Name), QStringLiteral("Smith"));
    QCOMPARE(text(model, 0, M::Class), QStringLiteral("GT3"));
    QCOMPARE(text(model, 0, M::Gap), QString());
    for (int column : {int(M::Value), int(M::Lap), int(M::Gap), int(M::Name)})
        QCOMPARE(text(model, 1, column), QString());
    QCOMPARE(model.data(model.index(0, M::Value), Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::magenta));
    // A gap arrives: one refresh a moment later, in place.
    mergeMirror(p, R"({"timing":{"session":{"standings":{"overall":{"additional":{"byFastestLap":{"2":{"time":89623,"gap":500.0}}}}}}}})");
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    emit p.controller()->standingsOverallByPosition(2);
    emit p.controller()->participantDetailsByPnum(QStringLiteral("9"));
    QTRY_COMPARE(text(model, 1, M::Gap), QStringLiteral("+0.500"));
    QCOMPARE(reset.count(), 0);
}

void TestStandingPanels::combinedNewBestRepaintsTheOldOne()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    addCombined(p, QStringLiteral("BEST_TIME"), 1);
    WidgetStandingCombined panel(provider.get());
    const ModelStandingCombined& model = *panel.model();
    QCOMPARE(model.data(model.index(0, ModelStandingCombined::FastestLap), Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::magenta));
    // Car 9, second, sets a new combined best: the first row loses its magenta too.
    mergeMirror(p, R"({"timing":{"combined":{"participantDetails":{"9":{"fastestLapTime":89000}},"bestResults":{"overall":{"lap":{"time":89000}}}}}})");
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    emit p.controller()->standingsCombinedOverallByPosition(2);
    bool firstRow = false;
    for (const QList<QVariant>& args : qAsConst(changed))
        firstRow = firstRow || args.at(0).toModelIndex().row() == 0;
    QVERIFY(firstRow);
    QVERIFY(!model.data(model.index(0, ModelStandingCombined::FastestLap), Qt::BackgroundRole).isValid()
            || model.data(model.index(0, ModelStandingCombined::FastestLap), Qt::BackgroundRole).value<QBrush>().color() != QColor(Qt::magenta));
    QCOMPARE(model.data(model.index(1, ModelStandingCombined::FastestLap), Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::magenta));
}

void TestStandingPanels::combinedSessionColumns_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("sessions");
    QTest::addColumn<bool>("shown");
    QTest::newRow("best time over two sessions") << "BEST_TIME" << 2 << true;
    QTest::newRow("one session") << "BEST_TIME" << 1 << false;
    QTest::newRow("points") << "POINTS" << 2 << false;
}

void TestStandingPanels::combinedSessionColumns()
{
    QFETCH(QString, type);
    QFETCH(int, sessions);
    QFETCH(bool, shown);
    auto provider = makeTestProvider();
    addCombined(*provider, type, sessions);
    WidgetStandingCombined panel(provider.get());
    const ModelStandingCombined& model = *panel.model();
    QCOMPARE(model.columnCount(), ModelStandingCombined::FirstSession + sessions);
    QCOMPARE(panel.table()->isColumnHidden(ModelStandingCombined::FirstSession), !shown);
    QCOMPARE(model.headerData(ModelStandingCombined::FirstSession, Qt::Horizontal).toString(), QStringLiteral("Q1"));
    QCOMPARE(text(model, 1, ModelStandingCombined::FirstSession), QStringLiteral("1:31.101"));
    QCOMPARE(text(model, 1, ModelStandingCombined::GapFirst), QStringLiteral("+0.500"));
    QCOMPARE(text(model, 0, ModelStandingCombined::GapFirst), QString());
    QCOMPARE(model.data(model.index(0, ModelStandingCombined::FastestLap), Qt::BackgroundRole).value<QBrush>().color(), QColor(Qt::magenta));
    // A driver's name, or the team's in endurance championships.
    QCOMPARE(text(model, 0, ModelStandingCombined::Name), QStringLiteral("Driver7"));
    mirrorNode(*provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("champIsEndurance"), true);
    emit provider->controller()->standingsCombinedOverallByPosition(1);
    QCOMPARE(text(model, 0, ModelStandingCombined::Name), QStringLiteral("Team 7"));
}

void TestStandingPanels::additionalStandings()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"track":{"info":{"numberOfSectors":3}},"standings":{"overall":{"additional":{)"
                   R"("byTopSpeed":{"1":{"participant":"7","speed":300.0}},"bySectorBestTime":{"2":{"standings":{"1":{"participant":"9","time":31250}}}}}}}}}})");
    WidgetAdditionalStandings panel(provider.get());
    panel.show();
    using M = ModelAdditionalStanding;
    QCOMPARE(text(*panel.model(WidgetAdditionalStandings::TopSpeedTable), 0, M::Value), QStringLiteral("300.0"));
    QCOMPARE(text(*panel.model(1), 0, M::Value), QStringLiteral("31.250"));
    QCOMPARE(panel.model(1)->headerData(M::Value, Qt::Horizontal).toString(), QStringLiteral("S2"));
    QVERIFY(panel.table(1)->isVisible());
    QVERIFY(!panel.table(3)->isVisible());
    QVERIFY(panel.table(WidgetAdditionalStandings::TopSpeedTable)->isColumnHidden(M::Gap));
    // Imperial units: the speeds in miles per hour.
    p.setUsaUnits(true);
    panel.setUsaUnits(true);
    QCOMPARE(text(*panel.model(WidgetAdditionalStandings::TopSpeedTable), 0, M::Value), QStringLiteral("186.4"));
    QCOMPARE(panel.model(WidgetAdditionalStandings::TopSpeedTable)->headerData(M::Value, Qt::Horizontal).toString(), QStringLiteral("mph"));
}

void TestStandingPanels::bestsNameTheirDriver()
{
    // Car 7 set its best lap, S2 and top speed on lap 3 with Jones; Smith drives now.
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"entry":{"7":{"drivers":{"1":{"lastName":"Smith"},"2":{"lastName":"Jones"}}}},"standings":{"overall":{)"
                   R"("participantDetails":{"7":{"currentDriver":1}},"additional":{"byFastestLap":{"1":{"participant":"7","time":89000,"lap":3}},)"
                   R"("bySectorBestTime":{"2":{"standings":{"1":{"participant":"7","time":31250}}}},"byTopSpeed":{"1":{"participant":"7","speed":287.3}}}}}},)"
                   R"("analysis":{"laps":{"7":{"laps":{"3":{"driver":2,"sectors":{"2":{"time":31250}},"topSpeed":287.3},)"
                   R"("12":{"driver":1,"sectors":{"2":{"time":32000}},"topSpeed":281.9}}}}}}})");
    using M = ModelAdditionalStanding;
    M fastest(provider.get(), M::FastestLap);
    M sector(provider.get(), M::SectorBest, 2);
    M speed(provider.get(), M::TopSpeed);
    QCOMPARE(text(fastest, 0, M::Name), QStringLiteral("Jones"));
    QCOMPARE(text(sector, 0, M::Name), QStringLiteral("Jones"));
    QCOMPARE(text(speed, 0, M::Name), QStringLiteral("Jones"));
    // In miles per hour too (both speeds converted alike).
    p.setUsaUnits(true);
    speed.processRefresh();
    QCOMPARE(text(speed, 0, M::Value), QStringLiteral("178.5"));
    QCOMPARE(text(speed, 0, M::Name), QStringLiteral("Jones"));
    // A name corrected in the entry is read again.
    mergeMirror(p, R"({"timing":{"session":{"entry":{"7":{"drivers":{"2":{"lastName":"Jonas"}}}}}}})");
    emit p.controller()->sessionEntry();
    QTRY_COMPARE(text(fastest, 0, M::Name), QStringLiteral("Jonas"));
    // A best whose lap is not known (yet): the current driver.
    mergeMirror(p, R"({"timing":{"session":{"standings":{"overall":{"additional":{"bySectorBestTime":{"2":{"standings":{"1":{"time":30999}}}}}}}}}})");
    sector.processRefresh();
    QCOMPARE(text(sector, 0, M::Name), QStringLiteral("Smith"));
}

void TestStandingPanels::topSpeedDriver_data()
{
    // Lap 3 by Jones, lap 12 by Brown; Smith drives now.
    QTest::addColumn<double>("lap3");
    QTest::addColumn<double>("lap12");
    QTest::addColumn<double>("standing");
    QTest::addColumn<QString>("name");
    QTest::newRow("a tie: the earlier lap") << 287.3 << 287.3 << 287.3 << "Jones";
    QTest::newRow("rounded otherwise by the feed") << 281.9 << 287.34 << 287.3 << "Brown";
    QTest::newRow("no lap: the current driver") << 281.9 << 285.0 << 290.0 << "Smith";
}

void TestStandingPanels::topSpeedDriver()
{
    QFETCH(double, lap3);
    QFETCH(double, lap12);
    QFETCH(double, standing);
    QFETCH(QString, name);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"entry":{"7":{"drivers":{"1":{"lastName":"Smith"},"2":{"lastName":"Jones"},"3":{"lastName":"Brown"}}}},)"
                   R"("standings":{"overall":{"participantDetails":{"7":{"currentDriver":1}}}}}}})");
    const auto lap = [&](int number, int driver, double speed) {
        V2_Data* node = mirrorNode(p, QStringLiteral("timing.analysis.laps.7.laps.%1").arg(number));
        node->insertData(QStringLiteral("driver"), driver);
        node->insertData(QStringLiteral("topSpeed"), speed);
    };
    lap(3, 2, lap3);
    lap(12, 3, lap12);
    V2_Data* row = mirrorNode(p, QStringLiteral("timing.session.standings.overall.additional.byTopSpeed.1"));
    row->insertData(QStringLiteral("participant"), QStringLiteral("7"));
    row->insertData(QStringLiteral("speed"), standing);
    using M = ModelAdditionalStanding;
    M model(provider.get(), M::TopSpeed);
    QCOMPARE(text(model, 0, M::Name), name);
    // A lap looked for in vain is looked for again only once the car has
    // run another: the laps already read are not read at every refresh.
    lap(3, 2, standing);
    model.processRefresh();
    QCOMPARE(text(model, 0, M::Name), name);
    lap(13, 1, 250.0);
    model.processRefresh();
    QCOMPARE(text(model, 0, M::Name), QStringLiteral("Jones"));
}

void TestStandingPanels::bestsFollowPaletteAndCue_data()
{
    QTest::addColumn<bool>("combined");
    QTest::addColumn<bool>("safe");
    QTest::addColumn<bool>("cues");
    QTest::addColumn<QColor>("back");
    QTest::addColumn<bool>("bold");
    const QColor orange(230, 159, 0);
    QTest::newRow("fastest classic") << false << false << true << QColor(Qt::magenta) << true;
    QTest::newRow("fastest safe") << false << true << true << orange << true;
    QTest::newRow("fastest safe no cue") << false << true << false << orange << false;
    QTest::newRow("combined classic no cue") << true << false << false << QColor(Qt::magenta) << false;
    QTest::newRow("combined safe") << true << true << true << orange << true;
}

void TestStandingPanels::bestsFollowPaletteAndCue()
{
    QFETCH(bool, combined);
    QFETCH(bool, safe);
    QFETCH(bool, cues);
    QFETCH(QColor, back);
    QFETCH(bool, bold);
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    mergeMirror(p, R"({"timing":{"session":{"standings":{"overall":{"additional":)"
                   R"({"byFastestLap":{"1":{"participant":"7","time":89123,"lap":4,"gap":0.0},"2":{"participant":"9","time":89500}}}}}}}})");
    addCombined(p, QStringLiteral("BEST_TIME"), 1);
    WidgetStandingFastestLap fastest(provider.get());
    WidgetStandingCombined combinedPanel(provider.get());
    const QAbstractItemModel& model = combined ? static_cast<const QAbstractItemModel&>(*combinedPanel.model()) : *fastest.model();
    const int column = combined ? int(ModelStandingCombined::FastestLap) : int(ModelAdditionalStanding::Value);
    QSignalSpy repainted(&model, &QAbstractItemModel::dataChanged);
    TimingColours::instance()->setPalette(safe ? TimingColours::ColourSafe : TimingColours::Classic);
    TimingColours::instance()->setCues(cues);
    QCOMPARE(repainted.count(), int(safe) + int(!cues));
    QCOMPARE(model.data(model.index(0, column), Qt::BackgroundRole).value<QBrush>().color(), back);
    QCOMPARE(model.data(model.index(0, column), Qt::ForegroundRole).value<QBrush>().color(), QColor(22, 22, 22));
    QCOMPARE(model.data(model.index(0, column), Qt::FontRole).value<QFont>().bold(), bold);
    QCOMPARE(model.data(model.index(0, column), Qt::FontRole).isValid(), bold);
    // The second row holds no best: no cue, no colour of a best.
    QVERIFY(!model.data(model.index(1, column), Qt::FontRole).isValid());
    QVERIFY(!model.data(model.index(1, column), Qt::BackgroundRole).isValid());
}

void TestStandingPanels::additionalStandingsFitTheirPanel_data()
{
    QTest::addColumn<qreal>("textScale");
    QTest::newRow("text 100 %") << qreal(1);
    // Twice the text: the tables wrap to fewer per row, each value still in sight.
    QTest::newRow("text 200 %") << qreal(2);
}

void TestStandingPanels::additionalStandingsFitTheirPanel()
{
    QFETCH(qreal, textScale);
    ToolWindow::setTextScale(textScale);
    // Forty cars in every table, a panel of 630 x 420 pixels.
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    const QString base = QStringLiteral("timing.session.standings.overall.additional.");
    for (int car = 1; car <= 40; ++car) {
        V2_Data* speed = mirrorNode(p, base + QStringLiteral("byTopSpeed.%1").arg(car));
        speed->insertData(QStringLiteral("participant"), QString::number(car + 100));
        speed->insertData(QStringLiteral("speed"), 300.0 - car);
        for (int sector = 1; sector <= 4; ++sector) {
            V2_Data* row = mirrorNode(p, base + QStringLiteral("bySectorBestTime.%1.standings.%2").arg(sector).arg(car));
            row->insertData(QStringLiteral("participant"), QString::number(car + 100));
            row->insertData(QStringLiteral("time"), quint64(31250 + car * 10));
            if (car == 2)
                row->insertData(QStringLiteral("gap"), 0.0);
        }
        mirrorNode(p, QStringLiteral("timing.session.entry.%1.drivers.1").arg(car + 100))->insertData(QStringLiteral("lastName"), QStringLiteral("Longname-Driver"));
    }
    mirrorNode(p, QStringLiteral("timing.session.track.info"))->insertData(QStringLiteral("numberOfSectors"), 4);
    WidgetAdditionalStandings panel(provider.get());
    panel.resize(630, 420);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const QStringList captions = {"Best S1", "Best S2", "Best S3", "Best S4", "Top speed"};
    // A tie with the best: "+0.000", not a lone "+".
    QCOMPARE(panel.model(0)->index(1, ModelAdditionalStanding::Gap).data().toString(), QStringLiteral("+0.000"));
    for (int t = 0; t < WidgetAdditionalStandings::TableCount; ++t) {
        QTableView* table = panel.table(t);
        QCOMPARE(table->model()->rowCount(), 40);
        QCOMPARE(panel.caption(t), captions.at(t));
        // Inside the panel.
        const QRect inPanel(table->mapTo(&panel, QPoint(0, 0)), table->size());
        QVERIFY2(panel.rect().contains(inPanel), qPrintable(QStringLiteral("table %1 at %2,%3 %4x%5").arg(t).arg(inPanel.x()).arg(inPanel.y()).arg(inPanel.width()).arg(inPanel.height())));
        // The value right after the number, in sight.
        const QHeaderView* header = table->horizontalHeader();
        QCOMPARE(header->visualIndex(ModelAdditionalStanding::Value), header->visualIndex(ModelAdditionalStanding::Number) + 1);
        const int valueEnd = header->sectionViewportPosition(ModelAdditionalStanding::Value) + header->sectionSize(ModelAdditionalStanding::Value);
        QVERIFY2(valueEnd <= table->viewport()->width(), qPrintable(QStringLiteral("table %1: %2 > %3").arg(t).arg(valueEnd).arg(table->viewport()->width())));
    }
}

void TestStandingPanels::classTablesFollowTheClasses()
{
    auto provider = makeTestProvider();
    V2DataProvider& p = *provider;
    const auto setClasses = [&p](const QStringList& names) {
        p.controller()->getCurrentData()->getOrCreateDataPointer(QStringLiteral("timing.session"))->deleteKey(QStringLiteral("classes"));
        for (int i = 0; i < names.size(); ++i) {
            mirrorNode(p, QStringLiteral("timing.session.classes.%1").arg(i + 1))->insertData(QStringLiteral("name"), names.at(i));
            mirrorNode(p, QStringLiteral("timing.session.standings.byClass.active.%1.standings.1").arg(names.at(i)))
                ->insertData(QStringLiteral("participant"), QString::number(i + 1));
        }
        emit p.controller()->sessionClasses();
    };
    WidgetClassResults panel(provider.get());
    QCOMPARE(panel.shownClasses(), QStringList());
    setClasses({"HYPERCAR", "LMP2", "GT3"});
    QCOMPARE(panel.shownClasses(), QStringList({"HYPERCAR", "LMP2", "GT3"}));
    QCOMPARE(panel.model(1)->classType(), QStringLiteral("LMP2"));
    QCOMPARE(panel.model(1)->rowCount(), 1);
    QVERIFY(panel.table(0)->isColumnHidden(ModelSessionStandingBySector::Class));
    QVERIFY(!panel.table(0)->isColumnHidden(ModelSessionStandingBySector::Gap));
    setClasses({"LMP2", "GT3"});
    QCOMPARE(panel.shownClasses(), QStringList({"LMP2", "GT3"}));
    // One set of widths for every class table.
    panel.table(0)->setColumnWidth(ModelSessionStandingBySector::Name, 155);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("classres_2")).toInt(), 155);
    // The pit and sector columns can be shown from the column menu, in every
    // class table and again in a new panel.
    using M = ModelSessionStandingBySector;
    QVERIFY(panel.table(0)->isColumnHidden(M::S1) && panel.table(0)->isColumnHidden(M::Pit));
    QMenu* menu = panel.columnMenu(panel.table(0));
    for (QAction* action : menu->actions().first()->menu()->actions()) {
        const QString header = panel.model(0)->headerData(M::S1, Qt::Horizontal).toString();
        const QString pit = panel.model(0)->headerData(M::Pit, Qt::Horizontal).toString();
        if (action->text() == header || action->text() == pit)
            action->setChecked(true);
    }
    delete menu;
    for (int t = 0; t < 2; ++t)
        QVERIFY(!panel.table(t)->isColumnHidden(M::S1) && !panel.table(t)->isColumnHidden(M::Pit));
    WidgetClassResults again(provider.get());
    QVERIFY(!again.table(1)->isColumnHidden(M::S1));
    QVERIFY(again.table(1)->isColumnHidden(M::Class));
    // A change of text size refits the tables, at least as a panel made at that size;
    // the header state saved at 100 % gives the widths at 200 %.
    ToolWindow::setTextScale(2);
    panel.applyTextScale();
    WidgetClassResults atTwo(provider.get());
    QVERIFY(panel.table(0)->height() >= atTwo.table(0)->height());
    QCOMPARE(atTwo.table(0)->columnWidth(M::Name), 310);
    QCOMPARE(atTwo.table(0)->columnWidth(M::Gap), 128);
}

// A simulator faster than real time stamps the pit entry ahead of the wall
// clock: the stop's timer counts to the server's now (it read 00:00.000),
// and the best sectors show 15 s into the stop on that clock too.
void TestStandingPanels::pitTimerOnTheServerClock()
{
    static const qint64 wall = QDateTime(QDate(2026, 1, 1), QTime(12, 0)).toMSecsSinceEpoch();
    static qint64 now = wall;
    SessionClock::setClock([]() { return now; });
    auto provider = makeTestProvider();
    mirrorNode(*provider, QStringLiteral("timing.session.standings.overall.active.1"))->insertData(QStringLiteral("participant"), QStringLiteral("7"));
    const qint64 pitIn = wall + 20 * 60000;
    mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.%1").arg(pitIn));
    SessionClock::noteServerTime(pitIn + 12000);
    ModelSessionStandingBySector race(provider.get(), QStringLiteral("Dark"));
    race.processRefresh();
    QCOMPARE(text(race, 0, ModelSessionStandingBySector::PitTime), QStringLiteral("00:12.000"));
    QVERIFY(!race.showsBestSectors(0));
    now += 3001;
    QCOMPARE(text(race, 0, ModelSessionStandingBySector::PitTime), QStringLiteral("00:15.001"));
    QVERIFY(race.showsBestSectors(0));
    SessionClock::setClock(nullptr);
}

QTEST_MAIN(TestStandingPanels)
#include "tst_standingpanels.moc"
