#include "AppSettings.h"
#include "BuiltInLayouts.h"
#include "DialogSaveLayout.h"
#include "MainWindow.h"
#include "TestPanels.h"
#include "TestSettings.h"
#include "ToolWindow.h"

#include <QComboBox>
#include <QtTest>

using namespace PanelRegistry;

// The named layouts: saving, setting, the built-in ones and the layout a start opens.
class TestLayouts final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void saveThenSetDefault();
    void savingTwice();
    void removedLastLayoutOpensEverything();
    void builtInLayouts();
    void builtInTiles_data();
    void builtInTiles();
    void startLayout_data();
    void startLayout();

private:
    TestSettings m_config;
};

void TestLayouts::init()
{
    AppSettings::open()->clear();
    // Nobody listens on this port: the window stays "Not connected".
    AppSettings::open()->setValue(QStringLiteral("v2port"), 1);
}

void TestLayouts::saveThenSetDefault()
{
    MainWindow window(somePanels({DayTime, SessionInfo, Standing}));
    window.panelAction(DayTime)->trigger();
    window.panelAction(SessionInfo)->trigger();
    window.panelAction(Standing)->trigger();
    ToolWindow* standing = window.panel(Standing);
    standing->setGeometry(300, 310, 320, 330);
    window.saveLayout(QStringLiteral("race"));
    const auto settings = AppSettings::open();
    QCOMPARE(settings->value(QStringLiteral("layouts/race/view_standing/x")).toInt(), 300);
    QCOMPARE(settings->value(QStringLiteral("layouts/race/view_standing/show")).toBool(), true);
    QCOMPARE(settings->value(QStringLiteral("layouts/race/view_daytime/show")).toBool(), false);
    QVERIFY(!settings->contains(QStringLiteral("layouts/race/view_daytime/x")));
    QCOMPARE(settings->value(QStringLiteral("layouts/race/mainwindow/w")).toInt(), window.width());

    window.setLayout(QStringLiteral("default"));
    QCOMPARE(stored(QStringLiteral("lastLayoutName")).toString(), QStringLiteral("default"));
    // Not deleted: hidden at its place in "default", its action unchecked.
    QCOMPARE(window.panel(Standing), standing);
    QVERIFY(!standing->isVisible());
    QCOMPARE(standing->pos(), QPoint(725, 26));
    QVERIFY(!window.panelAction(Standing)->isChecked());
    // Closed panels stay closed.
    QVERIFY(!window.panel(DayTime));

    window.setLayout(QStringLiteral("race"));
    QVERIFY(standing->isVisible());
    QCOMPARE(standing->geometry(), QRect(300, 310, 320, 330));
    QVERIFY(window.panelAction(Standing)->isChecked());
}

void TestLayouts::savingTwice()
{
    MainWindow window(somePanels({DayTime, SessionInfo, Standing}));
    window.panel(DayTime)->move(111, 112);
    window.saveLayout(QStringLiteral("twice"));
    window.panelAction(DayTime)->trigger(); // closed now
    window.panel(SessionInfo)->move(221, 222);
    window.saveLayout(QStringLiteral("twice"));
    const auto settings = AppSettings::open();
    settings->beginGroup(QStringLiteral("layouts/twice"));
    QCOMPARE(settings->value(QStringLiteral("view_sessioninfo/x")).toInt(), 221);
    QCOMPARE(settings->value(QStringLiteral("view_daytime/show")).toBool(), false);
    QCOMPARE(settings->value(QStringLiteral("view_daytime/x")).toInt(), 111); // kept from the first save
    settings->endGroup();
    settings->beginGroup(QStringLiteral("layouts"));
    QCOMPARE(settings->childGroups(), QStringList({"Pit wall", "Strategy", "default", "twice"}));
}

void TestLayouts::removedLastLayoutOpensEverything()
{
    AppSettings::open()->setValue(QStringLiteral("lastLayoutName"), QStringLiteral("gone"));
    MainWindow window(everyPanel());
    QCOMPARE(window.currentLayoutName(), QStringLiteral("gone"));
    for (int row = 0; row < RowCount; ++row) {
        QVERIFY2(window.panel(row) && window.panel(row)->isVisible(), info(row).group);
        QVERIFY(window.panelAction(row)->isChecked());
    }
    // Their own defaults, and the main window's.
    QCOMPARE(window.panel(Meteo)->geometry(), QRect(33, 44, 301, 201));
    QCOMPARE(window.pos(), QPoint(100, 100));
    QCOMPARE(window.size(), QSize(250, 200)); // the width raised to the minimum
}

void TestLayouts::builtInLayouts()
{
    MainWindow window(everyPanel());
    const auto settings = AppSettings::open();
    // Written at start, tiled to the screen (the offscreen one: 800 x 600),
    // the panels below the main window's 80 pixels.
    settings->beginGroup(QStringLiteral("layouts/Pit wall"));
    QCOMPARE(settings->value(QStringLiteral("mainwindow/w")).toInt(), 800);
    QCOMPARE(settings->value(QStringLiteral("view_standing/x")).toInt(), 0);
    QCOMPARE(settings->value(QStringLiteral("view_standing/y")).toInt(), 80);
    QCOMPARE(settings->value(QStringLiteral("view_standing/w")).toInt(), 200);
    QCOMPARE(settings->value(QStringLiteral("view_standing/h")).toInt(), 260);
    QCOMPARE(settings->value(QStringLiteral("view_follow/x")).toInt(), 533);
    QCOMPARE(settings->value(QStringLiteral("view_follow/y")).toInt(), 340);
    QCOMPARE(settings->value(QStringLiteral("view_daytime/show")).toBool(), false);
    settings->endGroup();
    QCOMPARE(settings->value(QStringLiteral("layouts/Strategy/view_gapchart/show")).toBool(), true);
    QCOMPARE(settings->value(QStringLiteral("layouts/Strategy/view_standing/show")).toBool(), false);

    // Chosen, it opens its panels; the day clock of "default" goes.
    window.setLayout(QStringLiteral("Pit wall"));
    for (int row : {Standing, SessionInfo, Flags, Positioning, LapChart, RaceControl, Follow})
        QVERIFY2(window.panel(row) && window.panel(row)->isVisible(), info(row).group);
    QVERIFY(!window.panel(DayTime)->isVisible());
    QVERIFY(!window.panel(Stints));

    // A save never goes under a built-in name: the user's own is offered instead.
    DialogSaveLayout dialog(&window);
    const auto* combo = dialog.findChild<QComboBox*>(QStringLiteral("comboBox"));
    QCOMPARE(combo->findText(QStringLiteral("Pit wall")), -1);
    QCOMPARE(combo->findText(QStringLiteral("Strategy")), -1);
    dialog.preselect(QStringLiteral("Pit wall"));
    QCOMPARE(dialog.selectedName(), QStringLiteral("Pit wall (mine)"));

    // A user's arrangement saved under the name by hand does not outlive the next start.
    AppSettings::open()->setValue(QStringLiteral("layouts/Pit wall/view_standing/x"), 999);
    MainWindow again(somePanels({DayTime}));
    QCOMPARE(stored(QStringLiteral("layouts/Pit wall/view_standing/x")).toInt(), 0);
}

void TestLayouts::startLayout_data()
{
    // The last layout stored (or asked for with --layout), the user's own
    // layouts (standings at x 640), the layout opened, and the layouts
    // stored after two starts.
    QTest::addColumn<QString>("last");
    QTest::addColumn<bool>("option");
    QTest::addColumn<QStringList>("own");
    QTest::addColumn<QString>("opened");
    QTest::addColumn<QStringList>("layouts");
    QTest::newRow("a user's Strategy") << "Strategy" << false << QStringList{"Strategy"} << "Strategy (mine)"
                                       << QStringList{"Pit wall", "Strategy", "Strategy (mine)", "default"};
    QTest::newRow("(mine) taken") << "Race" << true << QStringList{"Race", "Strategy", "Strategy (mine)"} << "Race"
                                  << QStringList{"Pit wall", "Race", "Strategy", "Strategy (mine 2)", "Strategy (mine)", "default"};
    QTest::newRow("unknown --layout") << "Pitwall" << true << QStringList{} << "default" << QStringList{"Pit wall", "Strategy", "default"};
}

void TestLayouts::startLayout()
{
    QFETCH(QString, last);
    QFETCH(bool, option);
    QFETCH(QStringList, own);
    QFETCH(QString, opened);
    QFETCH(QStringList, layouts);
    for (const QString& name : own)
        AppSettings::open()->setValue(QStringLiteral("layouts/%1/view_standing/x").arg(name), 640);
    AppSettings::open()->setValue(QStringLiteral("lastLayoutName"), option ? BuiltInLayouts::optionLayout(*AppSettings::open(), last) : last);
    {
        MainWindow window(somePanels({DayTime, Standing}));
        QCOMPARE(window.currentLayoutName(), opened);
        // "default" hides the standings: not every panel opens for a misspelt name.
        QCOMPARE(window.panel(Standing) != nullptr, opened != QLatin1String("default"));
    }
    MainWindow again(somePanels({DayTime}));
    QCOMPARE(again.currentLayoutName(), opened);
    const auto settings = AppSettings::open();
    settings->beginGroup(QStringLiteral("layouts"));
    QStringList groups = settings->childGroups();
    groups.sort();
    QCOMPARE(groups, layouts);
    for (const QString& name : layouts) {
        if (name.startsWith(QLatin1String("Strategy (mine")) || name == QLatin1String("Race"))
            QVERIFY2(settings->value(name + QStringLiteral("/view_standing/x")).toInt() == 640, qPrintable(name));
    }
    QCOMPARE(settings->value(QStringLiteral("Strategy/view_gapchart/show")).toBool(), true);
}

void TestLayouts::builtInTiles_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<QRect>>("tiles");
    QTest::newRow("seven on full HD") << QRect(0, 80, 1920, 1000) << 7
                                      << QVector<QRect>{{0, 80, 480, 500},    {480, 80, 480, 500},   {960, 80, 480, 500}, {1440, 80, 480, 500},
                                                        {0, 580, 640, 500}, {640, 580, 640, 500}, {1280, 580, 640, 500}};
    QTest::newRow("six on a second screen") << QRect(1920, 100, 1200, 600) << 6
                                            << QVector<QRect>{{1920, 100, 400, 300}, {2320, 100, 400, 300}, {2720, 100, 400, 300},
                                                              {1920, 400, 400, 300}, {2320, 400, 400, 300}, {2720, 400, 400, 300}};
    QTest::newRow("one") << QRect(0, 0, 1000, 500) << 1 << QVector<QRect>{{0, 0, 1000, 500}};
}

void TestLayouts::builtInTiles()
{
    QFETCH(QRect, area);
    QFETCH(int, count);
    QFETCH(QVector<QRect>, tiles);
    QCOMPARE(BuiltInLayouts::tiles(area, count), tiles);
}

QTEST_MAIN(TestLayouts)
#include "tst_layouts.moc"
