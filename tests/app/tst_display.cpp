#include "AppSettings.h"
#include "MainWindow.h"
#include "PanelRegistry.h"
#include "StartUp.h"
#include "TimingColours.h"
#include "ToolWindow.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace PanelRegistry;

namespace {

QVariant stored(const QString& key)
{
    return AppSettings::open()->value(key);
}

// Only the standings panel, the real one.
Factories standingsOnly()
{
    Factories real{};
    real[Standing] = PanelRegistry::factories()[Standing];
    return real;
}

QTableView* raceTable(MainWindow& window)
{
    window.panelAction(Standing)->trigger();
    return window.panel(Standing) ? window.panel(Standing)->findChild<QTableView*>(QStringLiteral("tableViewRace")) : nullptr;
}

} // namespace

// The skins, the text size and the timing marks chosen in the Layout menu.
class TestDisplay final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void highContrastSkin();
    void textSizeKeptWithTheLayout();
    void textSizeReachesStyledWidgets();
    void storedChoicesAtStart_data();
    void storedChoicesAtStart();

private:
    QTemporaryDir m_config;
};

void TestDisplay::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    StartUp::setApplicationIdentity();
}

void TestDisplay::init()
{
    AppSettings::open()->clear();
    // Nobody listens on this port: the window stays "Not connected".
    AppSettings::open()->setValue(QStringLiteral("v2port"), 1);
}

void TestDisplay::cleanup()
{
    qApp->setStyleSheet(QString());
    ToolWindow::setTextScale(1);
    TimingColours::instance()->setCues(true);
}

void TestDisplay::highContrastSkin()
{
    MainWindow window(Factories{});
    QSignalSpy skins(&window, &MainWindow::updateSkin);
    // The only one checked; unchecking it goes back to dark.
    window.action(QStringLiteral("actionHigh_contrast_skin"))->setChecked(true);
    QVERIFY(!window.action(QStringLiteral("actionDark_skin"))->isChecked());
    QVERIFY(!window.action(QStringLiteral("actionLight_skin"))->isChecked());
    QCOMPARE(stored(QStringLiteral("skin")).toString(), QStringLiteral("HighContrast"));
    QCOMPARE(skins.at(0).at(0).toString(), QStringLiteral("HighContrast"));
    QVERIFY(qApp->styleSheet().contains(QLatin1String("High contrast skin")));
    window.action(QStringLiteral("actionHigh_contrast_skin"))->setChecked(false);
    QVERIFY(window.action(QStringLiteral("actionDark_skin"))->isChecked());
    QCOMPARE(skins.at(1).at(0).toString(), QStringLiteral("Dark"));
}

void TestDisplay::textSizeKeptWithTheLayout()
{
    MainWindow window(standingsOnly());
    QTableView* table = raceTable(window);
    QVERIFY(table);
    ToolWindow* panel = window.panel(Standing);
    // The panel font's size depends on the screen; the text size doubles it.
    const qreal base = panel->font().pointSizeF();
    QVERIFY(base >= 6);
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), 19);
    const int nameWidth = table->columnWidth(2);

    // Every open panel grows at once: font, rows, columns, title bar.
    window.action(QStringLiteral("actionText_size_200"))->trigger();
    QCOMPARE(panel->font().pointSizeF(), 2 * base);
    QCOMPARE(table->font().pointSizeF(), 2 * base);
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), 38);
    QCOMPARE(table->columnWidth(2), 2 * nameWidth);
    QCOMPARE(panel->findChild<QWidget*>(QStringLiteral("titleBar"))->height(), 60);
    QCOMPARE(stored(QStringLiteral("textScale")).toDouble(), 2.0);
    // A width the user gives at 200 % is kept at 100 %.
    table->setColumnWidth(3, 150);
    QCOMPARE(stored(QStringLiteral("st_3")).toInt(), 75);

    // A layout keeps its size; one saved without a size leaves it as it is.
    window.saveLayout(QStringLiteral("garage"));
    QCOMPARE(stored(QStringLiteral("layouts/garage/textScale")).toDouble(), 2.0);
    window.action(QStringLiteral("actionText_size_100"))->trigger();
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), 19);
    QCOMPARE(table->columnWidth(2), nameWidth);
    QCOMPARE(table->columnWidth(3), 75);
    window.setLayout(QStringLiteral("garage"));
    QCOMPARE(panel->font().pointSizeF(), 2 * base);
    QVERIFY(window.action(QStringLiteral("actionText_size_200"))->isChecked());
    window.setLayout(QStringLiteral("default"));
    QCOMPARE(panel->font().pointSizeF(), 2 * base);
    // A panel made now is made at that size ("default" hid the old one: open, close, open anew).
    for (int i = 0; i < 3; ++i)
        window.panelAction(Standing)->trigger();
    QVERIFY(window.panel(Standing) && window.panel(Standing) != panel);
    auto* fresh = window.panel(Standing)->findChild<QTableView*>(QStringLiteral("tableViewRace"));
    QVERIFY(fresh);
    QCOMPARE(fresh->verticalHeader()->defaultSectionSize(), 38);
}

void TestDisplay::textSizeReachesStyledWidgets()
{
    // The skin's style sheet sets weights on headers and title buttons: their
    // fonts must still follow a size chosen while the program runs.
    MainWindow window(standingsOnly());
    window.action(QStringLiteral("actionDark_skin"))->setChecked(true);
    QTableView* table = raceTable(window);
    QVERIFY(table);
    ToolWindow* panel = window.panel(Standing);
    const qreal base = panel->font().pointSizeF();
    window.action(QStringLiteral("actionText_size_200"))->trigger();
    QCOMPARE(table->horizontalHeader()->font().pointSizeF(), 2 * base);
    QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("titleBarLabel"))->font().pointSizeF(), 2 * base);
    QCOMPARE(panel->findChild<QPushButton*>(QStringLiteral("btnClose"))->font().pointSizeF(), 2 * base);
}

void TestDisplay::storedChoicesAtStart_data()
{
    QTest::addColumn<QVariant>("textScale");
    QTest::addColumn<QString>("skin");
    QTest::addColumn<QVariant>("cues");
    QTest::addColumn<int>("rowHeight");
    QTest::addColumn<QString>("checkedSize");
    QTest::addColumn<bool>("cuesAfter");

    // No skin stored: a first start, marks on. A skin stored: an update, marks as before (off).
    QTest::newRow("first start") << QVariant() << QString() << QVariant() << 19 << "actionText_size_100" << true;
    QTest::newRow("update") << QVariant() << "Dark" << QVariant() << 19 << "actionText_size_100" << false;
    QTest::newRow("marks chosen") << QVariant() << "Dark" << QVariant(true) << 19 << "actionText_size_100" << true;
    QTest::newRow("150 %") << QVariant("1.5") << "Dark" << QVariant(false) << 29 << "actionText_size_150" << false;
    QTest::newRow("not a number") << QVariant("large") << QString() << QVariant() << 19 << "actionText_size_100" << true;
    QTest::newRow("too large") << QVariant("9") << QString() << QVariant() << 38 << "actionText_size_200" << true;
    QTest::newRow("too small") << QVariant("0.2") << QString() << QVariant() << 19 << "actionText_size_100" << true;
}

void TestDisplay::storedChoicesAtStart()
{
    QFETCH(QVariant, textScale);
    QFETCH(QString, skin);
    QFETCH(QVariant, cues);
    QFETCH(int, rowHeight);
    QFETCH(QString, checkedSize);
    QFETCH(bool, cuesAfter);
    const auto settings = AppSettings::open();
    if (textScale.isValid())
        settings->setValue(QStringLiteral("textScale"), textScale);
    if (!skin.isEmpty())
        settings->setValue(QStringLiteral("skin"), skin);
    if (cues.isValid())
        settings->setValue(QStringLiteral("timingCues"), cues);
    // The size is in force before the first panel is made.
    MainWindow window(standingsOnly());
    QTableView* table = raceTable(window);
    QVERIFY(table);
    QCOMPARE(table->verticalHeader()->defaultSectionSize(), rowHeight);
    QVERIFY(window.action(checkedSize)->isChecked());
    QCOMPARE(TimingColours::instance()->cues(), cuesAfter);
    QVERIFY(window.action(QStringLiteral("actionTiming_cues"))->isChecked() == cuesAfter);
    // The choice is kept: a skin chosen later does not change it.
    QCOMPARE(stored(QStringLiteral("timingCues")).toBool(), cuesAfter);
}

QTEST_MAIN(TestDisplay)
#include "tst_display.moc"
