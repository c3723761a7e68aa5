#include "AppSettings.h"
#include "ModelSessionStanding.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "WidgetStanding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QtTest>

namespace {

void setSession(V2DataProvider& p, const QString& type, int sectors)
{
    mirrorNode(p, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), type);
    mirrorNode(p, QStringLiteral("timing.session.track.info"))->insertData(QStringLiteral("numberOfSectors"), sectors);
    emit p.controller()->trackInfo();
}

void setClasses(V2DataProvider& p, const QStringList& names)
{
    p.controller()->getCurrentData()->getOrCreateDataPointer(QStringLiteral("timing.session"))->deleteKey(QStringLiteral("classes"));
    for (int i = 0; i < names.size(); ++i)
        mirrorNode(p, QStringLiteral("timing.session.classes.%1").arg(i + 1))->insertData(QStringLiteral("name"), names.at(i));
    mirrorNode(p, QStringLiteral("timing.session.standings.byClass"));
    emit p.controller()->sessionEntry();
}

QStringList items(QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

QStringList menuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions().first()->menu()->actions())
        texts << action->text();
    return texts;
}

} // namespace

class TestWidgetStanding final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pageBySessionType_data();
    void pageBySessionType();
    void fourthSector();
    void classCombos();
    void columnMenu();
    void settingsRestoreHeaderAndKeepS4Hidden();
    void stateSurvivesRecreation();

private:
    TestSettings m_config;
};

void TestWidgetStanding::init()
{
    AppSettings::open()->clear();
}

void TestWidgetStanding::pageBySessionType_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("page");
    QTest::newRow("race") << "RACE" << int(WidgetStanding::RacePage);
    QTest::newRow("practice") << "PRACTICE" << int(WidgetStanding::PracticePage);
    QTest::newRow("qualifying") << "QUALIFYING" << int(WidgetStanding::PracticePage);
    QTest::newRow("race in lower case") << "race" << int(WidgetStanding::PracticePage);
}

void TestWidgetStanding::pageBySessionType()
{
    QFETCH(QString, type);
    QFETCH(int, page);
    auto provider = makeTestProvider();
    WidgetStanding panel(provider.get());
    QCOMPARE(panel.currentPage(), int(WidgetStanding::PracticePage)); // no session yet
    setSession(*provider, type, 4);
    QCOMPARE(panel.currentPage(), page);
    QCOMPARE(panel.table(page)->model()->columnCount(), 21);
}

void TestWidgetStanding::fourthSector()
{
    auto provider = makeTestProvider();
    WidgetStanding panel(provider.get());
    setSession(*provider, QStringLiteral("RACE"), 3);
    for (int page = 0; page < WidgetStanding::PageCount; ++page)
        QVERIFY(panel.table(page)->isColumnHidden(13));
    // Other counts leave the column as it is.
    setSession(*provider, QStringLiteral("RACE"), 0);
    QVERIFY(panel.table(WidgetStanding::RacePage)->isColumnHidden(13));
    setSession(*provider, QStringLiteral("RACE"), 4);
    for (int page = 0; page < WidgetStanding::PageCount; ++page)
        QVERIFY(!panel.table(page)->isColumnHidden(13));
}

void TestWidgetStanding::classCombos()
{
    auto provider = makeTestProvider();
    WidgetStanding panel(provider.get());
    QComboBox* race = panel.combo(WidgetStanding::RacePage);
    QCOMPARE(items(race), QStringList({"Overall"}));
    setClasses(*provider, {"HYPERCAR", "LMP2", "GT3"});
    QCOMPARE(items(race), QStringList({"Overall", "HYPERCAR", "LMP2", "GT3"}));
    QCOMPARE(items(panel.combo(WidgetStanding::PracticePage)), items(race));
    race->setCurrentIndex(2);
    QCOMPARE(panel.model(WidgetStanding::RacePage)->classType(), QStringLiteral("LMP2"));
    QCOMPARE(panel.model(WidgetStanding::PracticePage)->classType(), QString());
    // A refill keeps the chosen class, wherever it now is.
    setClasses(*provider, {"LMP2", "GT3"});
    QCOMPARE(race->currentText(), QStringLiteral("LMP2"));
    QCOMPARE(panel.model(WidgetStanding::RacePage)->classType(), QStringLiteral("LMP2"));
    // A class that is gone falls back to the overall standings.
    setClasses(*provider, {"GT3"});
    QCOMPARE(race->currentText(), QStringLiteral("Overall"));
    QCOMPARE(panel.model(WidgetStanding::RacePage)->classType(), QString());
    race->setCurrentIndex(1);
    race->setCurrentIndex(0);
    QCOMPARE(panel.model(WidgetStanding::RacePage)->classType(), QString());
}

void TestWidgetStanding::columnMenu()
{
    auto provider = makeTestProvider();
    WidgetStanding panel(provider.get());
    setSession(*provider, QStringLiteral("RACE"), 4);
    std::unique_ptr<QMenu> menu(panel.columnMenu(WidgetStanding::RacePage));
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Show/Hide columns"));
    QStringList texts = menuTexts(menu.get());
    QCOMPARE(texts.size(), 21);
    QCOMPARE(texts.at(13), QStringLiteral("S4"));
    QAction* gap = menu->actions().first()->menu()->actions().at(7);
    QVERIFY(gap->isChecked());
    QVERIFY(!menu->actions().first()->menu()->actions().at(4)->isChecked()); // Team is hidden
    gap->setChecked(false);
    QVERIFY(panel.table(WidgetStanding::RacePage)->isColumnHidden(7));
    QVERIFY(!AppSettings::open()->value(QStringLiteral("st_hHeaderState")).toByteArray().isEmpty());
    gap->setChecked(true);
    QVERIFY(!panel.table(WidgetStanding::RacePage)->isColumnHidden(7));

    setSession(*provider, QStringLiteral("PRACTICE"), 3);
    menu.reset(panel.columnMenu(WidgetStanding::PracticePage));
    texts = menuTexts(menu.get());
    QCOMPARE(texts.size(), 20);
    QVERIFY(!texts.contains(QStringLiteral("S4")));
    QCOMPARE(texts.at(5), QStringLiteral("Lap"));
}

void TestWidgetStanding::settingsRestoreHeaderAndKeepS4Hidden()
{
    auto provider = makeTestProvider();
    setSession(*provider, QStringLiteral("RACE"), 4);
    {
        // A header state saved on a four-sector track, Pit In Time hidden.
        WidgetStanding panel(provider.get());
        panel.table(WidgetStanding::RacePage)->hideColumn(15);
        panel.updateHiddenColumnsOnSettings();
    }
    setSession(*provider, QStringLiteral("RACE"), 3);
    WidgetStanding panel(provider.get());
    QTableView* race = panel.table(WidgetStanding::RacePage);
    QVERIFY(race->isColumnHidden(13));
    QVERIFY(race->isColumnHidden(15));
    // The slot restores the saved state again, still without S4.
    race->showColumn(15);
    panel.setHiddenColumnsFromSettings();
    QVERIFY(race->isColumnHidden(15));
    QVERIFY(race->isColumnHidden(13));
}

// What the user set in one panel (the team column, on the practice page a
// column moved and one hidden, a width) is there in the next, page by page.
void TestWidgetStanding::stateSurvivesRecreation()
{
    auto provider = makeTestProvider();
    {
        WidgetStanding panel(provider.get());
        QVERIFY(panel.table(WidgetStanding::RacePage)->isColumnHidden(4));
        panel.teamBox(WidgetStanding::RacePage)->setChecked(true);
        QVERIFY(!panel.table(WidgetStanding::RacePage)->isColumnHidden(4));
        QCOMPARE(AppSettings::open()->value(QStringLiteral("st_showTeam")).toBool(), true);
        QVERIFY(panel.table(WidgetStanding::PracticePage)->isColumnHidden(4));
        QHeaderView* header = panel.table(WidgetStanding::PracticePage)->horizontalHeader();
        header->moveSection(header->visualIndex(2), 0); // Name first
        std::unique_ptr<QMenu> menu(panel.columnMenu(WidgetStanding::PracticePage));
        menu->actions().first()->menu()->actions().at(15)->setChecked(false); // Pit In Time
        panel.table(WidgetStanding::RacePage)->setColumnWidth(2, 177);
        QCOMPARE(AppSettings::open()->value(QStringLiteral("st_2")).toInt(), 177);
        QVERIFY(!AppSettings::open()->contains(QStringLiteral("stpr_2")));
    }
    WidgetStanding again(provider.get());
    QTableView* race = again.table(WidgetStanding::RacePage);
    QTableView* practice = again.table(WidgetStanding::PracticePage);
    QVERIFY(again.teamBox(WidgetStanding::RacePage)->isChecked());
    QVERIFY(!race->isColumnHidden(4));
    QVERIFY(!again.teamBox(WidgetStanding::PracticePage)->isChecked());
    QCOMPARE(practice->horizontalHeader()->logicalIndex(0), 2);
    QVERIFY(practice->isColumnHidden(15));
    QVERIFY(!race->isColumnHidden(15));
    QCOMPARE(race->horizontalHeader()->logicalIndex(0), 0);
    QCOMPARE(race->columnWidth(2), 177);
    QVERIFY(practice->columnWidth(2) != 177);
    // A width changed after the last column move outlives the older header state.
    race->horizontalHeader()->moveSection(race->horizontalHeader()->visualIndex(3), 0);
    race->setColumnWidth(2, 188);
    WidgetStanding third(provider.get());
    QCOMPARE(third.table(WidgetStanding::RacePage)->columnWidth(2), 188);
    QCOMPARE(third.table(WidgetStanding::RacePage)->horizontalHeader()->logicalIndex(0), 3);
}

QTEST_MAIN(TestWidgetStanding)
#include "tst_widgetstanding.moc"
