#include "AppSettings.h"
#include "ModelSessionLap.h"
#include "ModelSessionLapForCarFollow.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "WidgetCarFollow.h"
#include "WidgetFollow.h"
#include "WidgetTimingInfo.h"

#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr quint64 kStart = Q_UINT64_C(1767268800000);

void addLaps(V2DataProvider& p, const QString& pNum, int laps)
{
    mirrorNode(p, QStringLiteral("timing.session.entry.") + pNum);
    for (int n = 1; n <= laps; ++n) {
        V2_Data* lap = mirrorNode(p, QStringLiteral("timing.analysis.laps.%1.laps.%2").arg(pNum).arg(n));
        lap->insertData(QStringLiteral("startTime"), kStart + quint64(n) * 60000 + pNum.toULongLong());
        lap->insertData(QStringLiteral("time"), 60000);
    }
}

// Reads CSV as spreadsheet programs do: ";" between fields, quoted fields
// with doubled quotes, line breaks inside quotes kept.
QList<QStringList> readCsv(const QString& text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(';')) {
            row << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            rows << (row << field);
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

} // namespace

class TestFollowPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void freshInstallation();
    void participantRules();
    void removingABlockStopsTheHighlight();
    void columnWidthsShared();
    void columnWidthsFollowTheTextSize_data();
    void columnWidthsFollowTheTextSize();
    void csvReadsBack();
    void lapColumnsFollowTheTrack();
    void columnChoiceGoesToEveryBlock();
    void timingInfoViews();
    void speedTabAnnouncesRowsOnAUnitSwitch();

private:
    TestSettings m_config;
};

void TestFollowPanels::init()
{
    AppSettings::open()->clear();
    ToolWindow::setTextScale(1);
}

void TestFollowPanels::freshInstallation()
{
    auto provider = makeTestProvider();
    WidgetFollow panel(provider.get());
    QCOMPARE(panel.followSlots(), QList<int>({0, 1, 2, 3}));
    QCOMPARE(panel.blocks().at(1)->color(), QColor(189, 213, 74));
    QCOMPARE(panel.blocks().at(3)->color(), QColor(210, 121, 171));
    QVERIFY(panel.blocks().at(0)->participant().isEmpty());
    QCOMPARE(AppSettings::open()->value(QStringLiteral("car_follow_lap_colors/inlap_bg_color")).toString(), QStringLiteral("#0000BB"));
    // An added block takes the next id and its default colour.
    panel.on_AddCarToFollow_clicked();
    QCOMPARE(panel.blocks().last()->panelId(), 4);
    QCOMPARE(panel.blocks().last()->color(), QColor(213, 172, 74));
    panel.setBikeLayout(true);
    QCOMPARE(panel.findChild<QPushButton*>(QStringLiteral("AddCarToFollow"))->text(), QStringLiteral("Add bike"));
}

void TestFollowPanels::participantRules()
{
    auto provider = makeTestProvider();
    addLaps(*provider, QStringLiteral("7"), 3);
    addLaps(*provider, QStringLiteral("1007"), 2);
    emit provider->controller()->analysisLaps();
    WidgetFollow panel(provider.get());
    WidgetCarFollow* first = panel.blocks().at(0);
    WidgetCarFollow* second = panel.blocks().at(1);
    first->setParticipant(QStringLiteral(" 7 "));
    QCOMPARE(first->participant(), QStringLiteral("7"));
    QCOMPARE(first->table()->model()->rowCount(), 3);
    QCOMPARE(provider->getFollowColor(QStringLiteral("7")), first->color());
    // Another block enters the same car: its table stays empty.
    second->setParticipant(QStringLiteral("7"));
    QCOMPARE(second->table()->model()->rowCount(), 0);
    QCOMPARE(provider->getFollowColor(QStringLiteral("7")), first->color());
    // A long number shows its own laps only.
    second->setParticipant(QStringLiteral("1007"));
    QCOMPARE(second->table()->model()->rowCount(), 2);
    // A car kept from the last run is taken when the entry list arrives.
    WidgetCarFollow* third = panel.blocks().at(2);
    third->setParticipant(QStringLiteral("12"));
    QVERIFY(third->participant().isEmpty());
    addLaps(*provider, QStringLiteral("12"), 1);
    emit provider->controller()->sessionEntry();
    QCOMPARE(third->participant(), QStringLiteral("12"));
    // A number not in the entry clears the block and lets its car go.
    second->setParticipant(QStringLiteral("99"));
    QVERIFY(second->participant().isEmpty());
    QCOMPARE(second->table()->model()->rowCount(), 0);
    QVERIFY(!provider->getFollowColor(QStringLiteral("1007")).isValid());
}

void TestFollowPanels::removingABlockStopsTheHighlight()
{
    auto provider = makeTestProvider();
    addLaps(*provider, QStringLiteral("7"), 1);
    WidgetFollow panel(provider.get());
    panel.blocks().at(2)->setParticipant(QStringLiteral("7"));
    QVERIFY(provider->getFollowColor(QStringLiteral("7")).isValid());
    QSignalSpy changed(provider.get(), &V2DataProvider::onCarToFollowChanged);
    emit panel.blocks().at(2)->onRemoveWidget(2);
    QCOMPARE(panel.followSlots(), QList<int>({0, 1, 3}));
    QVERIFY(!provider->getFollowColor(QStringLiteral("7")).isValid());
    QCOMPARE(changed.count(), 1);
    // The next block does not take an id still in use.
    panel.on_AddCarToFollow_clicked();
    QCOMPARE(panel.followSlots(), QList<int>({0, 1, 3, 4}));
}

void TestFollowPanels::columnWidthsShared()
{
    auto provider = makeTestProvider();
    {
        WidgetFollow panel(provider.get());
        panel.blocks().at(1)->table()->setColumnWidth(ModelSessionLap::Driver, 143);
        for (WidgetCarFollow* block : panel.blocks())
            QCOMPARE(block->table()->columnWidth(ModelSessionLap::Driver), 143);
        QCOMPARE(AppSettings::open()->value(QStringLiteral("car_follow_columns/cwc_16")).toInt(), 143);
    }
    WidgetFollow again(provider.get());
    QCOMPARE(again.blocks().at(3)->table()->columnWidth(ModelSessionLap::Driver), 143);
}

void TestFollowPanels::columnWidthsFollowTheTextSize_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("resizedAt200");
    QTest::addColumn<int>("widthAt200");
    QTest::addColumn<int>("storedAfter");
    QTest::addColumn<int>("widthBackAt100");

    // 0: none. The Driver column's default width is 110.
    QTest::newRow("user's width") << 100 << 0 << 200 << 100 << 100;
    QTest::newRow("default width") << 0 << 0 << 220 << 0 << 110;
    QTest::newRow("resized at 200 %") << 100 << 300 << 300 << 150 << 150;
}

void TestFollowPanels::columnWidthsFollowTheTextSize()
{
    QFETCH(int, stored);
    QFETCH(int, resizedAt200);
    QFETCH(int, widthAt200);
    QFETCH(int, storedAfter);
    QFETCH(int, widthBackAt100);
    const QString key = QStringLiteral("car_follow_columns/cwc_16");
    if (stored)
        AppSettings::open()->setValue(key, stored);
    auto provider = makeTestProvider();
    WidgetFollow panel(provider.get());
    ToolWindow::setTextScale(2);
    panel.applyTextScale();
    if (resizedAt200)
        panel.blocks().at(0)->table()->setColumnWidth(ModelSessionLap::Driver, resizedAt200);
    for (WidgetCarFollow* block : panel.blocks())
        QCOMPARE(block->table()->columnWidth(ModelSessionLap::Driver), widthAt200);
    QCOMPARE(AppSettings::open()->value(key, 0).toInt(), storedAfter);
    ToolWindow::setTextScale(1);
    panel.applyTextScale();
    for (WidgetCarFollow* block : panel.blocks())
        QCOMPARE(block->table()->columnWidth(ModelSessionLap::Driver), widthBackAt100);
    QCOMPARE(AppSettings::open()->value(key, 0).toInt(), storedAfter);
}

void TestFollowPanels::csvReadsBack()
{
    auto provider = makeTestProvider();
    addLaps(*provider, QStringLiteral("7"), 2);
    mirrorNode(*provider, QStringLiteral("timing.session.entry.7.drivers.1"))->insertData(QStringLiteral("lastName"), QStringLiteral("Müller"));
    mirrorNode(*provider, QStringLiteral("timing.analysis.laps.7.laps.1"))->insertData(QStringLiteral("driver"), 1);
    emit provider->controller()->analysisLaps();
    WidgetCarFollow block(provider.get(), 0);
    block.setParticipant(QStringLiteral("7"));
    QAbstractItemModel* table = block.table()->model();
    const QString note = QStringLiteral("box; \"fuel\" only\nthen tyres");
    QVERIFY(table->setData(table->index(0, ModelSessionLap::Notes), note));
    block.table()->hideColumn(ModelSessionLap::Speed);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("laps.csv"));
    QString error;
    QVERIFY2(block.exportCsv(file, &error), qPrintable(error));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    // UTF-8 with its byte-order mark, for spreadsheet programs.
    const QByteArray bytes = written.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> rows = readCsv(QString::fromUtf8(bytes.mid(3)));
    QCOMPARE(rows.size(), 3);
    QVERIFY(!rows.at(0).contains(QStringLiteral("Speed (km/h)")));
    // Only columns a user can see: no blank ones, no sections the track has not.
    QVERIFY(!rows.at(0).contains(QString()));
    QVERIFY(!rows.at(0).contains(QStringLiteral("Porsche")));
    QCOMPARE(rows.at(0).first(), QStringLiteral("Day Time"));
    const int notes = rows.at(0).indexOf(QStringLiteral("Notes"));
    const int driver = rows.at(0).indexOf(QStringLiteral("Driver"));
    QVERIFY(notes > 0 && driver > 0);
    QCOMPARE(rows.at(1).size(), rows.at(0).size());
    QCOMPARE(rows.at(1).at(notes), note);
    QCOMPARE(rows.at(1).at(driver), QStringLiteral("Müller"));
    QCOMPARE(rows.at(2).at(rows.at(0).indexOf(QStringLiteral("Lap"))), QStringLiteral("2"));
    // A file that cannot be written is reported.
    error.clear();
    QVERIFY(!block.exportCsv(QStringLiteral("/nonexistent/folder/laps.csv"), &error));
    QVERIFY(!error.isEmpty());
}

void TestFollowPanels::lapColumnsFollowTheTrack()
{
    auto provider = makeTestProvider();
    addLaps(*provider, QStringLiteral("7"), 2);
    V2_Data* track = mirrorNode(*provider, QStringLiteral("timing.session.track.info"));
    track->insertData(QStringLiteral("numberOfSectors"), 3);
    mirrorNode(*provider, QStringLiteral("timing.session.track.info.sections.Porsche"));
    emit provider->controller()->analysisLaps();
    WidgetTimingInfo info(provider.get());
    WidgetCarFollow block(provider.get(), 0);
    block.setParticipant(QStringLiteral("7"));
    using M = ModelSessionLap;
    const QList<std::pair<TablePanel*, QTableView*>> tables = {{&info, info.table(WidgetTimingInfo::Laps)}, {&block, block.table()}};
    const auto offered = [](TablePanel* panel, QTableView* table) {
        QStringList texts;
        QMenu* menu = panel->columnMenu(table);
        for (QAction* action : menu->actions().first()->menu()->actions())
            texts << action->text();
        delete menu;
        return texts;
    };
    for (const auto& [panel, table] : tables) {
        // Three sectors and one named section: S4, Ford, T6 and T7 are not shown nor offered.
        for (int column : {2, 4, int(M::S4), int(M::Ford), int(M::T6), int(M::T7)})
            QVERIFY2(table->isColumnHidden(column), qPrintable(QString::number(column)));
        for (int column : {int(M::S1), int(M::Porsche), int(M::Notes)})
            QVERIFY(!table->isColumnHidden(column));
        const QStringList texts = offered(panel, table);
        QVERIFY(texts.contains(QStringLiteral("Porsche")) && texts.contains(QStringLiteral("Notes")));
        QVERIFY(!texts.contains(QStringLiteral("S4")) && !texts.contains(QStringLiteral("Ford")) && !texts.contains(QString()));
        // The user hides Porsche from the menu.
        QMenu* menu = panel->columnMenu(table);
        for (QAction* action : menu->actions().first()->menu()->actions()) {
            if (action->text() == QLatin1String("Porsche"))
                action->setChecked(false);
        }
        delete menu;
        QVERIFY(table->isColumnHidden(M::Porsche));
    }
    QVERIFY(AppSettings::open()->contains(QStringLiteral("timinginfo_laps_hHeaderState")));
    QVERIFY(AppSettings::open()->contains(QStringLiteral("car_follow_hHeaderState")));
    // A track with four sectors and every section: they come; Porsche stays as the user left it.
    track->insertData(QStringLiteral("numberOfSectors"), 4);
    for (const char* section : {"Ford", "T6", "T7"})
        mirrorNode(*provider, QStringLiteral("timing.session.track.info.sections.") + QLatin1String(section));
    emit provider->controller()->trackInfo();
    for (const auto& [panel, table] : tables) {
        for (int column : {int(M::S4), int(M::Ford), int(M::T6), int(M::T7)})
            QVERIFY2(!table->isColumnHidden(column), qPrintable(QString::number(column)));
        QVERIFY(table->isColumnHidden(M::Porsche));
        QVERIFY(table->isColumnHidden(2) && table->isColumnHidden(4));
    }
    // A new panel reads the user's choice back.
    WidgetTimingInfo again(provider.get());
    QVERIFY(again.table(WidgetTimingInfo::Laps)->isColumnHidden(M::Porsche));
    QVERIFY(!again.table(WidgetTimingInfo::Laps)->isColumnHidden(M::Ford));
}

// The follow blocks share one header state: a column chosen from one block's
// menu goes to every open block (it reached that block only), and the
// columns the track has not stay hidden in all.
void TestFollowPanels::columnChoiceGoesToEveryBlock()
{
    auto provider = makeTestProvider();
    mirrorNode(*provider, QStringLiteral("timing.session.track.info"))->insertData(QStringLiteral("numberOfSectors"), 3);
    WidgetFollow panel(provider.get());
    QVERIFY(panel.blocks().size() >= 3);
    const auto choose = [](WidgetCarFollow* block, bool shown) {
        QMenu* menu = block->columnMenu(block->table());
        for (QAction* action : menu->actions().first()->menu()->actions()) {
            if (action->text() == QLatin1String("Driver"))
                action->setChecked(shown);
        }
        delete menu;
    };
    using M = ModelSessionLap;
    for (bool shown : {false, true}) {
        choose(panel.blocks().at(shown ? 2 : 1), shown);
        for (WidgetCarFollow* block : panel.blocks()) {
            QCOMPARE(block->table()->isColumnHidden(M::Driver), !shown);
            QVERIFY(block->table()->isColumnHidden(M::S4));
            QVERIFY(!block->table()->isColumnHidden(M::S1));
        }
    }
    // A column moved in one block moves in the others.
    QHeaderView* header = panel.blocks().at(1)->table()->horizontalHeader();
    header->moveSection(header->visualIndex(M::Driver), 0);
    for (WidgetCarFollow* block : panel.blocks())
        QCOMPARE(block->table()->horizontalHeader()->visualIndex(M::Driver), 0);
}

void TestFollowPanels::timingInfoViews()
{
    auto provider = makeTestProvider();
    mirrorNode(*provider, QStringLiteral("timing.session.track.info"))->insertData(QStringLiteral("numberOfSectors"), 3);
    WidgetTimingInfo panel(provider.get());
    using W = WidgetTimingInfo;
    QCOMPARE(panel.shownViews(), QVector<int>({W::Laps, W::Sector1, W::Sector2, W::Sector3, W::Speeds}));
    // A track with the named sections shows their views too.
    for (const char* section : {"Porsche", "Ford", "T6", "T7"})
        mirrorNode(*provider, QStringLiteral("timing.session.track.info.sections.") + QLatin1String(section));
    mirrorNode(*provider, QStringLiteral("timing.session.track.info"))->insertData(QStringLiteral("numberOfSectors"), 4);
    panel.tabs()->setCurrentWidget(panel.table(W::Speeds));
    emit provider->controller()->trackInfo();
    QCOMPARE(panel.shownViews().size(), int(W::ViewCount));
    QCOMPARE(panel.tabs()->currentWidget(), panel.table(W::Speeds));
    panel.table(W::Sector2)->setColumnWidth(1, 66);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("timinginfo_s2_1")).toInt(), 66);
}

// A unit switch while the provider's rebuild still waits (a line just read)
// makes the Speed tab read the rebuilt rows: a new row count, announced with
// a reset (it changed its count silently).
void TestFollowPanels::speedTabAnnouncesRowsOnAUnitSwitch()
{
    auto provider = makeTestProvider();
    WidgetTimingInfo panel(provider.get());
    QAbstractItemModel* speeds = panel.table(WidgetTimingInfo::Speeds)->model();
    provider->controller()->receiveBytes(
        "JSON:1::{\"timing\":{\"session\":{\"info\":{\"sessionDbId\":5},\"entry\":{\"7\":{\"class\":\"GT3\"}}},\"analysis\":{\"laps\":{\"7\":{\"laps\":{"
        "\"1\":{\"startTime\":1767268860000,\"time\":60000,\"topSpeed\":200.0},"
        "\"2\":{\"startTime\":1767268920000,\"time\":60000,\"topSpeed\":210.0}}}}}}}\n");
    QCOMPARE(speeds->rowCount(), 0); // the rebuild waits for the event loop
    QSignalSpy reset(speeds, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(speeds, &QAbstractItemModel::rowsInserted);
    provider->setUsaUnits(true);
    QCOMPARE(speeds->rowCount(), 2);
    QCOMPARE(reset.count() + inserted.count(), 1);
    QCOMPARE(speeds->data(speeds->index(0, 2)).toString(), QStringLiteral("124.3"));
}

QTEST_MAIN(TestFollowPanels)
#include "tst_followpanels.moc"
