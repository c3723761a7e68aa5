#include "PaintRecorder.h"
#include "ResizableQframe.h"
#include "ResizableQlabel.h"
#include "ResizableQlabelImage.h"
#include "ScreenPixels.h"
#include "SessionClock.h"
#include "SimulatedSession.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "TimeOfDay.h"
#include "ToolWindow.h"
#include "WidgetDayTime.h"
#include "WidgetSessionFlags.h"
#include "WidgetSessionInfo.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QSettings>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

namespace {

qint64 g_now = 0;
qint64 testClock()
{
    return g_now;
}

// A replay at sixteen times real time, from g_now.
QElapsedTimer g_replayRun;
qint64 replayClock()
{
    return g_now + 16 * g_replayRun.elapsed();
}

// A local time of day on the test's day, in ms since the epoch.
qint64 at(int hour, int minute, int second = 0)
{
    return QDateTime(QDate(2026, 1, 1), QTime(hour, minute, second)).toMSecsSinceEpoch();
}

void addFlag(V2DataProvider& p, int key, const QString& type, qint64 time, int sector = 0, qint64 elapsed = -2)
{
    V2_Data* flag = mirrorNode(p, QStringLiteral("timing.session.flags.%1").arg(key));
    flag->insertData(QStringLiteral("type"), type);
    flag->insertData(QStringLiteral("time"), quint64(time));
    flag->insertData(QStringLiteral("sector"), sector);
    if (elapsed != -2)
        flag->insertData(QStringLiteral("elapsed"), elapsed);
}

QStringList column(const QStandardItemModel* model, int column)
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->item(row, column)->text();
    return texts;
}

} // namespace

class TestSessionClockPanels final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void dayClockRunsWithAFastReplay();
    void defaultGeometry_data();
    void defaultGeometry();
    void progress_data();
    void progress();
    void flagPictureAndTitle();
    void sessionInfoFollowsTextSize();
    void neutralisations();
    void sectorFlagsAndTexts();
    void runningPeriodCounts();
    void runningPeriodOnTheServerClock();
    void computedElapsed();
    void dayClock();
    void fontFitting();
    void clockRepaintsWhatChanged_data();
    void clockRepaintsWhatChanged();
    void simulatorAtSpeedFive();

private:
    TestSettings m_config;
};

void TestSessionClockPanels::init()
{
    g_now = at(10, 30);
    SessionClock::reset();
    SessionClock::setClock(&testClock);
}

void TestSessionClockPanels::cleanup()
{
    SessionClock::setClock(nullptr);
}

void TestSessionClockPanels::dayClockRunsWithAFastReplay()
{
    auto provider = makeTestProvider();
    g_replayRun.start();
    SessionClock::setClock(&replayClock);
    WidgetDayTime clock(provider.get());
    QTest::qWait(50);
    // The next call comes as a second turns: a once-a-second tick would wait
    // a whole second of real time, sixteen of the replay's.
    g_now = at(10, 30, 16) - 16 * g_replayRun.elapsed();
    clock.processUpdate();
    const QString shown = clock.clockLabel()->text();
    QTRY_VERIFY_WITH_TIMEOUT(clock.clockLabel()->text() != shown, 800);
}

void TestSessionClockPanels::defaultGeometry_data()
{
    QTest::addColumn<int>("panel");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("group");
    QTest::newRow("session info") << 0 << QRect(8, 130, 500, 300) << false << QStringLiteral("view_sessioninfo");
    QTest::newRow("flags") << 1 << QRect(1280, 118, 182, 645) << true << QStringLiteral("view_flags");
    QTest::newRow("day time") << 2 << QRect(8, 430, 500, 150) << true << QStringLiteral("view_daytime");
}

void TestSessionClockPanels::defaultGeometry()
{
    QFETCH(int, panel);
    QFETCH(QRect, geometry);
    QFETCH(bool, shown);
    QFETCH(QString, group);
    auto provider = makeTestProvider();
    // Built directly, not by the main window: the panel still knows its place.
    std::unique_ptr<ToolWindow> window;
    if (panel == 0)
        window = std::make_unique<WidgetSessionInfo>(provider.get());
    else if (panel == 1)
        window = std::make_unique<WidgetSessionFlags>(provider.get());
    else
        window = std::make_unique<WidgetDayTime>(provider.get());
    QSettings empty(m_config.filePath(QStringLiteral("empty.ini")), QSettings::IniFormat);
    window->loadWidgetGeometry(empty);
    QCOMPARE(window->geometry(), geometry);
    QCOMPARE(window->isVisible(), shown);
    QCOMPARE(window->groupName(), group);
}

void TestSessionClockPanels::progress_data()
{
    QTest::addColumn<QString>("finalType");
    QTest::addColumn<bool>("forcedByTime");
    QTest::addColumn<bool>("timeFinished");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("percent");
    // 900 s of 3600 run; 12 of 20 laps.
    QTest::newRow("unknown type") << "" << false << false << false << false << 0 << 0 << "0%";
    QTest::newRow("by time") << "BY_TIME" << false << false << false << true << 3600 << 900 << "25%";
    QTest::newRow("by laps") << "BY_LAPS" << false << false << false << true << 20 << 12 << "60%";
    QTest::newRow("closed") << "BY_LAPS" << false << false << true << true << 20 << 20 << "100%";
    QTest::newRow("laps with max time") << "BY_LAPS_WITH_MAX_TIME" << false << false << false << true << 20 << 12 << "60%";
    QTest::newRow("laps forced by time") << "BY_LAPS_WITH_MAX_TIME" << true << false << false << true << 3600 << 900 << "25%";
    QTest::newRow("time plus laps") << "BY_TIME_PLUS_LAPS" << false << false << false << true << 3600 << 900 << "25%";
    QTest::newRow("time plus laps, time over") << "BY_TIME_PLUS_LAPS" << false << true << false << true << 20 << 12 << "60%";
}

void TestSessionClockPanels::progress()
{
    QFETCH(QString, finalType);
    QFETCH(bool, forcedByTime);
    QFETCH(bool, timeFinished);
    QFETCH(bool, closed);
    QFETCH(bool, visible);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, percent);
    SessionClock::setFinalType(finalType);
    SessionClock::setFinalTime(3600);
    SessionClock::setFinalLaps(20);
    SessionClock::setElapsedLaps(12);
    SessionClock::setRunning(true);
    SessionClock::setStartTime(g_now / 1000 - 900);
    SessionClock::setForcedByTime(forcedByTime);
    SessionClock::setTimeFinished(timeFinished);
    SessionClock::setClosed(closed);
    auto provider = makeTestProvider();
    WidgetSessionInfo panel(provider.get());
    auto* bar = panel.findChild<QProgressBar*>(QStringLiteral("progressBar"));
    QCOMPARE(!bar->isHidden(), visible);
    if (!visible)
        return;
    QCOMPARE(bar->maximum(), maximum);
    QCOMPARE(bar->value(), value);
    QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("label_ProgressBar"))->text(), percent);
    // Past the end: a full bar, never more.
    SessionClock::setElapsedLaps(25);
    g_now += 3600 * 1000;
    panel.processUpdate();
    QCOMPARE(bar->value(), maximum);
    QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("label_ProgressBar"))->text(), QStringLiteral("100%"));
    // An unknown type hides the bar, a known one shows it again.
    SessionClock::setFinalType(QString());
    panel.processUpdate();
    QVERIFY(bar->isHidden());
    SessionClock::setFinalType(QStringLiteral("BY_LAPS"));
    panel.processUpdate();
    QVERIFY(!bar->isHidden());
}

// Its texts fit the window, but at 200 % not below the panel font: the
// taller title bar made them smaller than at 100 %.
void TestSessionClockPanels::sessionInfoFollowsTextSize()
{
    auto provider = makeTestProvider();
    mergeMirror(*provider, R"({"timing":{"session":{"info":{"champName":"Endurance Cup","name":"Race"}}}})");
    WidgetSessionInfo panel(provider.get());
    panel.resize(340, 130);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    emit provider->controller()->sessionInfo();
    auto* title = panel.findChild<QLabel*>(QStringLiteral("labelChampName"));
    const int normal = title->font().pixelSize();
    QVERIFY(normal > 0);
    ToolWindow::setTextScale(2);
    const int large = QFontInfo(ToolWindow::panelFont()).pixelSize();
    panel.applyTextScale();
    ToolWindow::setTextScale(1);
    QCOMPARE(panel.size(), QSize(340, 130));
    QTRY_VERIFY2(title->font().pixelSize() >= large && large > normal,
                 qPrintable(QStringLiteral("%1 after %2, the panel font %3").arg(title->font().pixelSize()).arg(normal).arg(large)));
    panel.applyTextScale();
    QTRY_COMPARE(title->font().pixelSize(), normal);
}

void TestSessionClockPanels::flagPictureAndTitle()
{
    auto provider = makeTestProvider();
    WidgetSessionInfo panel(provider.get());
    auto* flag = panel.findChild<ResizableQlabelImage*>(QStringLiteral("labelFlg_main"));
    auto* title = panel.findChild<QLabel*>(QStringLiteral("labelChampName"));
    QVERIFY(flag->image().isNull());
    QCOMPARE(title->text(), QStringLiteral(" / "));
    mergeMirror(*provider, R"({"timing":{"session":{"info":{"champName":"Endurance Cup","name":"Race"},"status":{"currentFlag":"NONE"}}}})");
    V2_Data* status = mirrorNode(*provider, QStringLiteral("timing.session.status"));
    emit provider->controller()->sessionInfo();
    QCOMPARE(title->text(), QStringLiteral("Endurance Cup / Race"));
    QVERIFY(flag->image().isNull());
    QVERIFY(flag->pixmap(Qt::ReturnByValue).isNull());

    status->insertData(QStringLiteral("currentFlag"), QStringLiteral("SAFETY_CAR"));
    emit provider->controller()->sessionStatus();
    QVERIFY(!flag->image().isNull());
    QCOMPARE(flag->image().toImage(), QPixmap(QStringLiteral(":icons/flagSafety")).toImage());
    status->insertData(QStringLiteral("currentFlag"), QStringLiteral("WAVED_BLUE"));
    emit provider->controller()->sessionStatus();
    QVERIFY(flag->image().isNull());
    // Finished: the chequered flag whatever the current one.
    status->insertData(QStringLiteral("currentFlag"), QStringLiteral("NONE"));
    status->insertData(QStringLiteral("isFinished"), true);
    emit provider->controller()->sessionStatus();
    QVERIFY(!flag->image().isNull());
    QCOMPARE(flag->image().toImage(), QPixmap(QStringLiteral(":icons/flagFinished")).toImage());

    SessionClock::setFinalType(QStringLiteral("BY_TIME"));
    SessionClock::setFinalTime(3600);
    SessionClock::setRunning(true);
    SessionClock::setStartTime(g_now / 1000 - 309);
    panel.processUpdate();
    QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("labelElapsed"))->text(), QStringLiteral("05:09"));
    QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("labelRem"))->text(), QStringLiteral("54:51"));
    QCOMPARE(panel.findChild<QLabel*>(QStringLiteral("labelR_2"))->text(), QStringLiteral("Remaining:"));
}

void TestSessionClockPanels::neutralisations()
{
    auto provider = makeTestProvider();
    addFlag(*provider, 1, QStringLiteral("FULL_YELLOW"), at(10, 0));
    addFlag(*provider, 2, QStringLiteral("SAFETY_CAR"), at(10, 2));
    addFlag(*provider, 3, QStringLiteral("GREEN"), at(10, 10, 30));
    WidgetSessionFlags panel(provider.get());
    const QStandardItemModel* model = panel.flagModel();
    QCOMPARE(column(model, WidgetSessionFlags::FlagColumn), QStringList({"FULL_YELLOW", "SAFETY", "GREEN"}));
    QCOMPARE(column(model, WidgetSessionFlags::NeutralisedColumn), QStringList({"00:02:00", "00:08:30", ""}));
    QCOMPARE(column(model, WidgetSessionFlags::HourColumn).at(1), QStringLiteral("    10:02:00.000"));
    // On the track's clock, an hour ahead here, once the panel reads its flags again.
    SessionClock::setUtcOffset(3600000);
    TimeOfDay::setZone(TimeOfDay::TrackTime);
    panel.processUpdate();
    QCOMPARE(column(model, WidgetSessionFlags::HourColumn).at(1), QStringLiteral("    11:02:00.000"));
    TimeOfDay::setZone(TimeOfDay::ComputerTime);
    SessionClock::setUtcOffset(0);
    panel.processUpdate();
    QVERIFY(!panel.isCounting());
    // Colours of the flag and hour cells.
    QCOMPARE(model->item(0, 0)->background().color(), QColor(Qt::yellow));
    QCOMPARE(model->item(1, 1)->background().color(), QColor(Qt::white));
    QCOMPARE(model->item(1, 1)->foreground().color(), QColor(Qt::black));
    QCOMPARE(model->item(2, 0)->background().color(), QColor(Qt::green));
    QCOMPARE(model->item(2, 0)->foreground().color(), QColor(22, 22, 22));
    QCOMPARE(model->item(0, 0)->textAlignment(), Qt::AlignCenter);
    // Newest first: each period keeps its length.
    panel.setNewestFirst(true);
    QCOMPARE(column(model, WidgetSessionFlags::FlagColumn), QStringList({"GREEN", "SAFETY", "FULL_YELLOW"}));
    QCOMPARE(column(model, WidgetSessionFlags::NeutralisedColumn), QStringList({"", "00:08:30", "00:02:00"}));
    panel.setNewestFirst(false);
    // A flag removed from the tree disappears from the table.
    provider->controller()->getCurrentData()->getV2_Data(QStringLiteral("timing.session.flags"))->deleteKey(QStringLiteral("3"));
    emit provider->controller()->sessionFlags();
    QCOMPARE(model->rowCount(), 2);
    // A width the user chose survives refreshes and a new panel.
    QTableView* table = panel.findChild<QTableView*>(QStringLiteral("tableViewFlags"));
    table->setColumnWidth(WidgetSessionFlags::FlagColumn, 151);
    emit provider->controller()->sessionFlags();
    QCOMPARE(table->columnWidth(WidgetSessionFlags::FlagColumn), 151);
    WidgetSessionFlags again(provider.get());
    QCOMPARE(again.findChild<QTableView*>(QStringLiteral("tableViewFlags"))->columnWidth(WidgetSessionFlags::FlagColumn), 151);
}

void TestSessionClockPanels::sectorFlagsAndTexts()
{
    auto provider = makeTestProvider();
    addFlag(*provider, 1, QStringLiteral("YELLOW"), at(10, 0), 0);
    addFlag(*provider, 2, QStringLiteral("YELLOW"), at(10, 1), 3);
    addFlag(*provider, 3, QStringLiteral("GREEN"), at(10, 2), 3);
    addFlag(*provider, 4, QStringLiteral("CODE_60"), at(10, 3));
    addFlag(*provider, 5, QStringLiteral("VIRTUAL_SAFETY_CAR"), at(10, 4));
    addFlag(*provider, 6, QStringLiteral("FLAG_INFO"), at(10, 5));
    mirrorNode(*provider, QStringLiteral("timing.session.flags.6"))->insertData(QStringLiteral("info"), QStringLiteral("GREEN FLAG SOON"));
    addFlag(*provider, 7, QStringLiteral("GREEN"), at(10, 6));
    addFlag(*provider, 8, QStringLiteral("FINISH"), at(10, 7));
    WidgetSessionFlags panel(provider.get());
    const QStandardItemModel* model = panel.flagModel();
    QCOMPARE(column(model, WidgetSessionFlags::FlagColumn),
             QStringList({"YELLOW", "YELLOW S3", "GREEN S3", "CODE 60", "VIRTUAL SAFETY CAR", "GREEN FLAG SOON", "GREEN", "FINISH"}));
    // Sector flags and the message leave the periods alone.
    QCOMPARE(column(model, WidgetSessionFlags::NeutralisedColumn), QStringList({"00:03:00", "", "", "00:01:00", "00:02:00", "", "", ""}));
    QCOMPARE(model->item(3, 0)->background().color(), QColor(227, 45, 132));
    QCOMPARE(model->item(5, 0)->background().color(), QColor(180, 255, 180));
    QCOMPARE(model->item(7, 0)->background().color(), QColor(Qt::black));
    QCOMPARE(model->item(7, 0)->foreground().color(), QColor(Qt::white));
}

void TestSessionClockPanels::runningPeriodCounts()
{
    auto provider = makeTestProvider();
    addFlag(*provider, 1, QStringLiteral("GREEN"), at(10, 0));
    WidgetSessionFlags panel(provider.get());
    QVERIFY(!panel.isCounting());
    addFlag(*provider, 2, QStringLiteral("FULL_YELLOW"), at(10, 20));
    emit provider->controller()->sessionFlags();
    QCOMPARE(panel.flagModel()->rowCount(), 2);
    QVERIFY(panel.isCounting());
    QCOMPARE(panel.flagModel()->item(1, WidgetSessionFlags::NeutralisedColumn)->text(), QStringLiteral("00:10:00"));
    // The clock repaints the running period's cell alone, not the table.
    QSignalSpy removed(panel.flagModel(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(panel.flagModel(), &QAbstractItemModel::dataChanged);
    g_now += 65000;
    QTRY_COMPARE_WITH_TIMEOUT(panel.flagModel()->item(1, WidgetSessionFlags::NeutralisedColumn)->text(), QStringLiteral("00:11:05"), 2000);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(changed.last().at(0).toModelIndex(), changed.last().at(1).toModelIndex());
    addFlag(*provider, 3, QStringLiteral("GREEN"), at(10, 25));
    emit provider->controller()->sessionFlags();
    QVERIFY(!panel.isCounting());
    QCOMPARE(panel.flagModel()->item(1, WidgetSessionFlags::NeutralisedColumn)->text(), QStringLiteral("00:05:00"));
}

// A simulator faster than real time: its flags are stamped ahead of the wall
// clock (10:30). The running period counts to the server's now, not to the
// wall clock before its start (it read a negative length).
void TestSessionClockPanels::runningPeriodOnTheServerClock()
{
    auto provider = makeTestProvider();
    addFlag(*provider, 1, QStringLiteral("GREEN"), at(10, 0));
    addFlag(*provider, 2, QStringLiteral("FULL_YELLOW"), at(10, 40));
    SessionClock::noteServerTime(at(10, 42));
    WidgetSessionFlags panel(provider.get());
    QCOMPARE(panel.flagModel()->item(1, WidgetSessionFlags::NeutralisedColumn)->text(), QStringLiteral("00:02:00"));
    g_now += 5000;
    QTRY_COMPARE_WITH_TIMEOUT(panel.flagModel()->item(1, WidgetSessionFlags::NeutralisedColumn)->text(), QStringLiteral("00:02:05"), 2000);
}

void TestSessionClockPanels::computedElapsed()
{
    auto provider = makeTestProvider();
    // Given values stay; missing ones come from the session start.
    SessionClock::setSessionStartTime(at(10, 0));
    addFlag(*provider, 1, QStringLiteral("GREEN"), at(10, 0));
    addFlag(*provider, 2, QStringLiteral("YELLOW"), at(10, 42, 7), 2);
    addFlag(*provider, 3, QStringLiteral("GREEN"), at(10, 50), 2, 123456);
    WidgetSessionFlags panel(provider.get());
    QCOMPARE(column(panel.flagModel(), WidgetSessionFlags::ElapsedColumn), QStringList({"00:00:00", "00:42:07", "00:02:03"}));

    // After a red flag with stopped time: counted from the first flag after the red.
    SessionClock::setStoppedSeconds(600);
    auto stopped = makeTestProvider();
    addFlag(*stopped, 1, QStringLiteral("GREEN"), at(10, 0));
    addFlag(*stopped, 2, QStringLiteral("RED"), at(10, 20));
    addFlag(*stopped, 3, QStringLiteral("GREEN"), at(10, 40));
    addFlag(*stopped, 4, QStringLiteral("YELLOW"), at(10, 45), 1);
    WidgetSessionFlags afterRed(stopped.get());
    QCOMPARE(column(afterRed.flagModel(), WidgetSessionFlags::ElapsedColumn), QStringList({"00:00:00", "00:20:00", "00:20:00", "00:25:00"}));

    // Without a session start nothing can be computed.
    SessionClock::reset();
    auto unknown = makeTestProvider();
    addFlag(*unknown, 1, QStringLiteral("GREEN"), at(10, 0));
    WidgetSessionFlags none(unknown.get());
    QCOMPARE(column(none.flagModel(), WidgetSessionFlags::ElapsedColumn), QStringList({""}));
}

void TestSessionClockPanels::dayClock()
{
    auto provider = makeTestProvider();
    SessionClock::setUtcOffset(-3600000);
    WidgetDayTime panel(provider.get());
    QCOMPARE(panel.clockLabel()->text(), SessionClock::trackDateTime().toString(QStringLiteral("hh:mm:ss")));
    panel.resize(400, 150);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    const int fitted = panel.clockLabel()->font().pixelSize();
    QVERIFY(fitted > 20);
    // Ticking changes the text but not the size.
    g_now += 11000;
    QTRY_COMPARE_WITH_TIMEOUT(panel.clockLabel()->text(), SessionClock::trackDateTime().toString(QStringLiteral("hh:mm:ss")), 2000);
    QCOMPARE(panel.clockLabel()->font().pixelSize(), fitted);
}

void TestSessionClockPanels::clockRepaintsWhatChanged_data()
{
    // The painted part's left edge, in hundredths of the label's width:
    // at least from, less than to.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("noRefit");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("a second") << "10:30:15" << "10:30:16" << true << 55 << 90;
    QTest::newRow("a minute") << "10:30:59" << "10:31:00" << true << 30 << 55;
    QTest::newRow("an hour more digits") << "9:59:59" << "10:00:00" << true << 0 << 1;
    QTest::newRow("refitted") << "10:30:15" << "10:30:16" << false << 0 << 1;
    QTest::newRow("a wider letter moves the rest") << "Wi" << "WW" << true << 0 << 1;
}

// A tick repaints the digits that changed, and the screen shows what a
// fresh paint of the label gives.
void TestSessionClockPanels::clockRepaintsWhatChanged()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(bool, noRefit);
    QFETCH(int, from);
    QFETCH(int, to);
    QWidget window;
    auto* label = new ResizableQlabel(&window);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(0, 0, 600, 150);
    window.resize(600, 150);
    label->setText(before, false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    PaintRecorder recorder;
    label->installEventFilter(&recorder);
    label->setText(after, noRefit);
    QTRY_VERIFY(!recorder.painted().isEmpty());
    label->removeEventFilter(&recorder);
    const QRect painted = recorder.painted().boundingRect();
    QVERIFY2(painted.left() >= from * label->width() / 100 && painted.left() < to * label->width() / 100, qPrintable(QString::number(painted.left())));
    QCOMPARE(painted.right(), label->width() - 1);
    QCOMPARE(ScreenPixels::shown(&window), ScreenPixels::fresh(&window));
}

void TestSessionClockPanels::fontFitting()
{
    ResizableQlabel label;
    label.resize(300, 80);
    const QFont before = label.font();
    label.setText(QString(), false);
    QCOMPARE(label.font(), before); // an empty text is not refitted
    QCOMPARE(ResizableQlabel::fittingPixelSize(label.font(), QString(), QSize(300, 80)), 0);
    label.setText(QStringLiteral("12:34:56"), false);
    const int size = label.font().pixelSize();
    QVERIFY(size > 10);
    QVERIFY(QFontMetrics(label.font()).boundingRect(label.text()).width() <= label.contentsRect().width());
    QCOMPARE(label.sizeHint(), QSize(0, 0));
    // Wider text at the same size: smaller font.
    label.setText(QStringLiteral("12:34:56 12:34:56"), false);
    QVERIFY(label.font().pixelSize() < size);
    QVERIFY(QFontMetrics(label.font()).boundingRect(label.text()).width() <= label.contentsRect().width());

    // A frame gives its labels one size; "main" labels keep theirs.
    ResizableQframe frame;
    auto* shortLabel = new QLabel(QStringLiteral("Hi"), &frame);
    auto* longLabel = new QLabel(QStringLiteral("A much longer caption"), &frame);
    auto* mainLabel = new QLabel(QStringLiteral("flag"), &frame);
    mainLabel->setObjectName(QStringLiteral("labelFlg_main"));
    const int mainSize = mainLabel->font().pixelSize();
    shortLabel->setGeometry(0, 0, 200, 40);
    longLabel->setGeometry(0, 40, 200, 40);
    frame.resize(200, 80);
    frame.refit();
    QCOMPARE(shortLabel->font().pixelSize(), longLabel->font().pixelSize());
    QVERIFY(longLabel->font().pixelSize() > 1);
    QCOMPARE(mainLabel->font().pixelSize(), mainSize);

    // Pictures keep their proportions.
    ResizableQlabelImage image;
    image.resize(200, 100);
    image.show();
    image.setImage(QPixmap(QStringLiteral(":icons/flagGreen")));
    QCOMPARE(image.pixmap(Qt::ReturnByValue).size(), QSize(100, 100));
    image.resize(60, 200);
    QCOMPARE(image.pixmap(Qt::ReturnByValue).size(), QSize(60, 60));
}

// The simulator at five times the speed: the program reads the simulated
// session (it read the wall clock's: five minutes after 25 of racing).
void TestSessionClockPanels::simulatorAtSpeedFive()
{
    SessionClock::setClock(nullptr);
    SimulatedSession session({QStringLiteral("--cars"), QStringLiteral("4"), QStringLiteral("--speed"), QStringLiteral("5")}, 0);
    session.publisher->start();
    WidgetSessionInfo info(session.provider.get());
    // Two ticks: ten simulated seconds in two on the wall. Between ticks the
    // program's clock runs at the wall's pace, up to four seconds behind.
    QTRY_VERIFY_WITH_TIMEOUT(session.publisher->elapsedMs() >= 10000 && SessionClock::elapsedSeconds() >= 8, 5000);
    const qint64 simulated = session.publisher->elapsedMs() / 1000;
    QVERIFY2(qAbs(SessionClock::elapsedSeconds() - simulated) <= 5,
             qPrintable(QStringLiteral("read %1 s, simulated %2 s").arg(SessionClock::elapsedSeconds()).arg(simulated)));
}

QTEST_MAIN(TestSessionClockPanels)
#include "tst_sessionclockpanels.moc"
