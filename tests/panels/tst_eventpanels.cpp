#include "AppSettings.h"
#include "CarNumberOrder.h"
#include "ModelRaceControlMessage.h"
#include "ModelSessionPits.h"
#include "ModelSessionStints.h"
#include "ModelTrackLimits.h"
#include "ModelTyresSessionData.h"
#include "TestSettings.h"
#include "TrackLimitSortProxyModel.h"
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
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

class TestEventPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void raceControlPanel();
    void pitPanelsFollowNewStops();
    void trackLimitsSorting();
    void tyreWidthsAreReadOnly();
    void pitLights_data();
    void pitLights();
    void stintsCarList();
    void carNumberOrder();
    void affectedLapsCanBeWidened();

private:
    TestSettings m_config;
};

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
    // The stored width is at text size 1.
    ToolWindow::setTextScale(2);
    panel.applyTextScale();
    ToolWindow::setTextScale(1);
    QCOMPARE(panel.table()->columnWidth(ModelTyresSessionData::FrontLeft), 266);
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

// The cars in number order; a new entry list keeps the chosen car, and a car
// leaving it leaves an empty table (not another car's times) until it is back.
void TestEventPanels::stintsCarList()
{
    auto provider = makeTestProvider();
    const auto entry = [&provider](const QStringList& cars) {
        provider->controller()->getCurrentData()->getOrCreateDataPointer(QStringLiteral("timing.session"))->deleteKey(QStringLiteral("entry"));
        for (const QString& car : cars) {
            mirrorNode(*provider, QStringLiteral("timing.session.entry.") + car);
            mirrorNode(*provider, QStringLiteral("timing.analysis.stints.%1.stints.1").arg(car))->insertData(QStringLiteral("startTime"), quint64(1767268800000));
        }
        emit provider->controller()->sessionEntry();
    };
    entry({"10", "2", "7"});
    WidgetStints panel(provider.get());
    QComboBox* cars = panel.carList();
    QCOMPARE(cars->count(), 3);
    QCOMPARE(cars->itemText(0), QStringLiteral("2"));
    QCOMPARE(cars->itemText(2), QStringLiteral("10"));
    QCOMPARE(panel.model()->participant(), QStringLiteral("2"));
    cars->setCurrentIndex(2);
    QCOMPARE(panel.model()->participant(), QStringLiteral("10"));
    entry({"1", "2", "7", "10"});
    QCOMPARE(cars->itemText(0), QStringLiteral("1"));
    QCOMPARE(cars->currentText(), QStringLiteral("10"));
    QCOMPARE(panel.model()->participant(), QStringLiteral("10"));
    cars->setCurrentIndex(2);
    QCOMPARE(panel.model()->participant(), QStringLiteral("7"));
    QCOMPARE(panel.model()->rowCount(), 1);
    entry({"1", "2", "10"});
    QCOMPARE(cars->currentIndex(), -1);
    QCOMPARE(panel.model()->participant(), QString());
    QCOMPARE(panel.model()->rowCount(), 0);
    entry({"1", "2", "7", "10"});
    QCOMPARE(cars->currentText(), QStringLiteral("7"));
    QCOMPARE(panel.model()->participant(), QStringLiteral("7"));
    QCOMPARE(panel.model()->rowCount(), 1);
    panel.setBikeLayout(true);
    QCOMPARE(panel.table()->model()->headerData(ModelSessionStints::Driver, Qt::Horizontal).toString(), QStringLiteral("Rider"));
}

void TestEventPanels::carNumberOrder()
{
    // Numbers by value, then the rest; numbers without a leading number last.
    const QStringList ordered = {"1", "1A", "02", "2B", "9", "10", "A"};
    QStringList cars = ordered;
    std::sort(cars.begin(), cars.end());
    int permutation = 0;
    do {
        QStringList sorted = cars;
        std::sort(sorted.begin(), sorted.end(), &CarNumberOrder::less);
        QCOMPARE(sorted, ordered);
        if (permutation++ % 60 != 0)
            continue;
        // The track-limits table sorted by participant, rows in this order.
        QStandardItemModel source(cars.size(), ModelTrackLimits::AffectedLaps + 1);
        for (int row = 0; row < cars.size(); ++row)
            source.setItem(row, ModelTrackLimits::Participant, new QStandardItem(cars.at(row)));
        TrackLimitSortProxyModel proxy;
        proxy.setSourceModel(&source);
        proxy.sort(ModelTrackLimits::Participant);
        QStringList shown;
        for (int row = 0; row < proxy.rowCount(); ++row)
            shown << proxy.index(row, ModelTrackLimits::Participant).data().toString();
        QCOMPARE(shown, ordered);
    } while (std::next_permutation(cars.begin(), cars.end()));
    QCOMPARE(permutation, 5040);
    // The stints car list and the tyres table in the same order.
    auto provider = makeTestProvider();
    for (const QString& car : ordered)
        mirrorNode(*provider, QStringLiteral("timing.session.entry.") + car);
    WidgetStints stints(provider.get());
    WidgetTyres tyres(provider.get());
    emit provider->controller()->tyresDataReceived();
    QStringList listed;
    QStringList tyreRows;
    for (int i = 0; i < stints.carList()->count(); ++i)
        listed << stints.carList()->itemText(i);
    for (int row = 0; row < tyres.model()->rowCount(); ++row)
        tyreRows << tyres.model()->index(row, ModelTyresSessionData::Number).data().toString();
    QCOMPARE(listed, ordered);
    QCOMPARE(tyreRows, ordered);
}

void TestEventPanels::affectedLapsCanBeWidened()
{
    auto provider = makeTestProvider();
    V2_Data* node = mirrorNode(*provider, QStringLiteral("timing.session.trackLimits.1"));
    node->insertData(QStringLiteral("participant"), QStringLiteral("7"));
    node->getOrCreateDataPointer(QStringLiteral("affectedLaps"))->insertData(QStringLiteral("0"), 3);
    WidgetTrackLimits panel(provider.get());
    panel.resize(700, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QHeaderView* header = panel.table()->horizontalHeader();
    const int column = ModelTrackLimits::AffectedLaps;
    header->setStretchLastSection(false);
    panel.table()->setColumnWidth(column, 100);
    // Drag the column's right edge 40 pixels to the right.
    const int edge = header->sectionViewportPosition(column) + header->sectionSize(column) - 1;
    const auto send = [header](QEvent::Type type, int x, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(x, 5), header->viewport()->mapToGlobal(QPoint(x, 5)), Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(header->viewport(), &event);
    };
    send(QEvent::MouseButtonPress, edge, Qt::LeftButton);
    send(QEvent::MouseMove, edge + 40, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, edge + 40, Qt::NoButton);
    QCOMPARE(header->sectionSize(column), 140);
    // A press inside the column still does not sort by it.
    QCOMPARE(header->sortIndicatorSection(), int(ModelTrackLimits::Time));
}

QTEST_MAIN(TestEventPanels)
#include "tst_eventpanels.moc"
