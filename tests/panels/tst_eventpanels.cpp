#include "AppSettings.h"
#include "ModelRaceControlMessage.h"
#include "ModelSessionPits.h"
#include "ModelSessionStints.h"
#include "ModelTrackLimits.h"
#include "ModelTyresSessionData.h"
#include "SharedTables.h"
#include "SimulatedSession.h"
#include "StartUp.h"
#include "TestProvider.h"
#include "WidgetPitIn.h"
#include "WidgetPitLights.h"
#include "WidgetPitOut.h"
#include "WidgetRaceControl.h"
#include "WidgetStints.h"
#include "WidgetTrackLimits.h"
#include "WidgetTyres.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QHeaderView>
#include <QScrollBar>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

int childCount(const V2_Data* tree, const QString& path)
{
    const V2_Data* node = tree->getV2_Data(path);
    return node ? node->datas()->size() : 0;
}

// Every pit of every car under a pits branch ("pitIn" or "pitOut").
int pitCount(const V2_Data* tree, const QString& kind)
{
    const V2_Data* cars = tree->getV2_Data(QStringLiteral("timing.analysis.") + kind);
    int count = 0;
    for (const QString& car : cars ? cars->datas()->keys() : QStringList())
        count += childCount(tree, QStringLiteral("timing.analysis.%1.%2.pits").arg(kind, car));
    return count;
}

} // namespace

class TestEventPanels final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void raceControlPanel();
    void pitPanelsFollowNewStops();
    void trackLimitsSorting();
    void tyreWidthsAreReadOnly();
    void pitLights_data();
    void pitLights();
    void stintsCarList();
    void againstTheSimulator();

private:
    QTemporaryDir m_config;
};

void TestEventPanels::initTestCase()
{
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config.path());
    StartUp::setApplicationIdentity();
}

void TestEventPanels::init()
{
    AppSettings::open()->clear();
}

void TestEventPanels::raceControlPanel()
{
    auto provider = makeTestProvider();
    for (int i = 1; i <= 80; ++i) {
        V2_Data* message = mirrorNode(*provider, QStringLiteral("raceControl.messages.%1").arg(i, 3, 10, QLatin1Char('0')));
        message->insertData(QStringLiteral("dayTime"), quint64(1767268800000) + quint64(i));
        message->insertData(QStringLiteral("text"), QStringLiteral("message %1").arg(i));
    }
    WidgetRaceControl panel(provider.get());
    panel.resize(400, 200);
    panel.show();
    emit provider->controller()->raceControlMessages();
    QScrollBar* bar = panel.table()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    // Newest first: the newest on top, and the table shows the top.
    panel.setNewestFirst(true);
    QCOMPARE(panel.model()->data(panel.model()->index(0, ModelRaceControlMessage::Message)).toString(), QStringLiteral("message 80"));
    QCOMPARE(bar->value(), 0);
    // Keeping the messages is stored and reaches the model.
    QVERIFY(!panel.keepAction()->isChecked());
    panel.keepAction()->setChecked(true);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("rcm_cleaningOnSessionChange")).toBool(), false);
    QVERIFY(!panel.model()->cleaning());
    WidgetRaceControl again(provider.get());
    QVERIFY(again.keepAction()->isChecked());
}

void TestEventPanels::pitPanelsFollowNewStops()
{
    auto provider = makeTestProvider();
    for (int i = 0; i < 60; ++i)
        mirrorNode(*provider, QStringLiteral("timing.analysis.pitIn.7.pits.%1").arg(1767268800000 + i * 1000));
    WidgetPitIn in(provider.get());
    WidgetPitOut out(provider.get());
    in.resize(300, 200);
    in.show();
    emit provider->controller()->analysisPitIn();
    QScrollBar* bar = in.table()->verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(in.table()->verticalHeader()->isVisible(), true);
    in.table()->setColumnWidth(1, 123);
    out.table()->setColumnWidth(3, 77);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("pin_1")).toInt(), 123);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("pout_3")).toInt(), 77);
    QCOMPARE(out.model()->columnCount(), 5);
}

void TestEventPanels::trackLimitsSorting()
{
    auto provider = makeTestProvider();
    const auto add = [&provider](int key, const QString& pNum) {
        V2_Data* node = mirrorNode(*provider, QStringLiteral("timing.session.trackLimits.%1").arg(key));
        node->insertData(QStringLiteral("participant"), pNum);
        node->insertData(QStringLiteral("time"), quint64(1767268800000) + quint64(key));
        node->getOrCreateDataPointer(QStringLiteral("affectedLaps"))->insertData(QStringLiteral("0"), 10 - key);
    };
    add(1, QStringLiteral("9"));
    add(2, QStringLiteral("10"));
    WidgetTrackLimits panel(provider.get());
    panel.resize(600, 300);
    panel.show();
    QTableView* table = panel.table();
    QHeaderView* header = table->horizontalHeader();
    const auto participants = [table] {
        QStringList texts;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            texts << table->model()->index(row, ModelTrackLimits::Participant).data().toString();
        return texts;
    };
    const auto clickHeader = [header](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, 5));
    };
    QCOMPARE(participants(), QStringList({"9", "10"}));
    clickHeader(ModelTrackLimits::AffectedLaps);
    QCOMPARE(header->sortIndicatorSection(), int(ModelTrackLimits::Time));
    QCOMPARE(participants(), QStringList({"9", "10"}));
    clickHeader(ModelTrackLimits::Participant);
    clickHeader(ModelTrackLimits::Participant);
    QCOMPARE(header->sortIndicatorSection(), int(ModelTrackLimits::Participant));
    QCOMPARE(participants(), QStringList({"10", "9"}));
    // A new infraction: the list is read anew, the user's sort stays.
    add(3, QStringLiteral("7"));
    emit provider->controller()->sessionTrackLimits();
    QCOMPARE(participants(), QStringList({"10", "9", "7"}));
    table->setColumnWidth(2, 141);
    QCOMPARE(AppSettings::open()->value(QStringLiteral("tracklimit_col2")).toInt(), 141);
}

void TestEventPanels::tyreWidthsAreReadOnly()
{
    AppSettings::open()->setValue(QStringLiteral("Front Left"), 133);
    auto provider = makeTestProvider();
    WidgetTyres panel(provider.get());
    QCOMPARE(panel.table()->columnWidth(ModelTyresSessionData::FrontLeft), 133);
    panel.table()->setColumnWidth(ModelTyresSessionData::Name, 99);
    QCOMPARE(AppSettings::open()->allKeys(), QStringList({"Front Left"}));
}

void TestEventPanels::pitLights_data()
{
    QTest::addColumn<qint64>("entry");
    QTest::addColumn<qint64>("exit");
    QTest::addColumn<QStringList>("pictures");
    QTest::newRow("red wins over green") << qint64(3) << qint64(2) << QStringList({"light_red", "light_green"});
    QTest::newRow("off") << qint64(0) << qint64(4) << QStringList({"light_off", "light_off"});
}

void TestEventPanels::pitLights()
{
    QFETCH(qint64, entry);
    QFETCH(qint64, exit);
    QFETCH(QStringList, pictures);
    auto provider = makeTestProvider();
    WidgetPitLights panel(provider.get());
    mirrorNode(*provider, QStringLiteral("signalling.pitEntry"))->insertData(QStringLiteral("status"), entry);
    mirrorNode(*provider, QStringLiteral("signalling.pitExit"))->insertData(QStringLiteral("status"), exit);
    emit provider->controller()->pitLights();
    const QStringList shown = panel.shownPictures();
    QCOMPARE(shown.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QVERIFY2(shown.at(i).endsWith(pictures.at(i) + QStringLiteral(".svg")), qPrintable(shown.at(i)));
        QVERIFY(!QPixmap(shown.at(i)).isNull());
    }
}

void TestEventPanels::stintsCarList()
{
    auto provider = makeTestProvider();
    for (const char* number : {"10", "2", "7"})
        mirrorNode(*provider, QStringLiteral("timing.session.entry.") + QLatin1String(number));
    WidgetStints panel(provider.get());
    QComboBox* cars = panel.carList();
    QCOMPARE(cars->count(), 3);
    QCOMPARE(cars->itemText(0), QStringLiteral("2"));
    QCOMPARE(cars->itemText(2), QStringLiteral("10"));
    QCOMPARE(panel.model()->participant(), QStringLiteral("2"));
    cars->setCurrentIndex(2);
    QCOMPARE(panel.model()->participant(), QStringLiteral("10"));
    // A new entry list keeps the chosen car.
    mirrorNode(*provider, QStringLiteral("timing.session.entry.1"));
    emit provider->controller()->sessionEntry();
    QCOMPARE(cars->itemText(0), QStringLiteral("1"));
    QCOMPARE(cars->currentText(), QStringLiteral("10"));
    QCOMPARE(panel.model()->participant(), QStringLiteral("10"));
    panel.setBikeLayout(true);
    QCOMPARE(panel.table()->model()->headerData(ModelSessionStints::Driver, Qt::Horizontal).toString(), QStringLiteral("Rider"));
}

void TestEventPanels::againstTheSimulator()
{
    SimulatedSession session({QStringLiteral("--cars"), QStringLiteral("20")}, 3600);
    V2DataProvider& p = *session.provider;
    WidgetRaceControl raceControl(&p);
    raceControl.keepAction()->setChecked(true); // every message, whenever sent
    WidgetPitIn pitIn(&p);
    WidgetPitOut pitOut(&p);
    WidgetTrackLimits trackLimits(&p);
    WidgetTyres tyres(&p);
    WidgetPitLights lights(&p);
    WidgetStints stints(&p);
    const V2_Data* truth = session.publisher->published();
    QVERIFY(pitCount(truth, QStringLiteral("pitIn")) > 0);
    QTRY_VERIFY_WITH_TIMEOUT(pitIn.model()->rowCount() == pitCount(truth, QStringLiteral("pitIn")) && tyres.model()->rowCount() == 20
                                 && stints.model()->rowCount() > 0,
                             20000);
    // Channels arrive on lines of their own.
    QTRY_COMPARE(pitOut.model()->rowCount(), pitCount(truth, QStringLiteral("pitOut")));
    QTRY_COMPARE(raceControl.model()->rowCount(), childCount(truth, QStringLiteral("raceControl.messages")));
    // Reconnected with "Keep" on: each message once. Counted exactly once
    // the whole login has been read (the tyres come last): waiting for the
    // count would pass the moment it went by on its way to twice as many.
    QSignalSpy tyresAgain(&p, &V2DataProvider::tyresDataReceived);
    p.setActive(false);
    p.setActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(tyresAgain.count() > 0, 20000);
    QCOMPARE(raceControl.model()->rowCount(), childCount(truth, QStringLiteral("raceControl.messages")));
    QTRY_COMPARE(trackLimits.model()->rowCount(), childCount(truth, QStringLiteral("timing.session.trackLimits")));
    const QString car = stints.carList()->currentText();
    QTRY_COMPARE(stints.model()->rowCount(), childCount(truth, QStringLiteral("timing.analysis.stints.%1.stints").arg(car)));
    // The first pit entry's time of day and car, as published.
    const ModelSessionPits* in = pitIn.model();
    const QString firstCar = in->index(0, 0).data().toString();
    const QString firstKey = truth->getV2_Data(QStringLiteral("timing.analysis.pitIn.%1.pits").arg(firstCar))->datas()->firstKey();
    QCOMPARE(in->index(0, 2).data().toString(), QDateTime::fromMSecsSinceEpoch(firstKey.toLongLong()).toString(QStringLiteral("HH:mm:ss.zzz")));
    // Tyres of the first car in the list, as the provider words them.
    const QString tyreCar = tyres.model()->index(0, 0).data().toString();
    QVERIFY(truth->getV2_Data(QStringLiteral("tyres.session.data.%1.frontLeft").arg(tyreCar)));
    QTRY_VERIFY_WITH_TIMEOUT(!p.getTyresData(tyreCar).frontLeft.isEmpty(), 10000);
    QTRY_COMPARE(tyres.model()->index(0, ModelTyresSessionData::FrontLeft).data().toString(), p.getTyresData(tyreCar).frontLeft);
    const int laps = truth->getInt(QStringLiteral("tyres.session.data.%1.frontLeft.laps").arg(tyreCar));
    QVERIFY(tyres.model()->index(0, ModelTyresSessionData::FrontLeft).data().toString().startsWith(QString::number(laps) + QLatin1Char(' ')));
    QTRY_COMPARE(lights.shownPictures().at(0), SharedTables::pitLightPicture(truth->getLongLong(QStringLiteral("signalling.pitEntry.status"))));
}

QTEST_MAIN(TestEventPanels)
#include "tst_eventpanels.moc"
