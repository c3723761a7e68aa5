// The program driven by the keyboard: its shortcuts, their sheet, finding a
// car, and the dialogs without a mouse.
#include "AlertRules.h"
#include "AppSettings.h"
#include "DialogAlertRules.h"
#include "DialogDriveTimeRules.h"
#include "DialogLoadLayout.h"
#include "DialogSaveLayout.h"
#include "DialogScaleFactor.h"
#include "DialogUser.h"
#include "DriveTimeRules.h"
#include "FindCar.h"
#include "KeyboardShortcuts.h"
#include "MainWindow.h"
#include "ModalHelper.h"
#include "ModelPitWindow.h"
#include "ModelSessionStanding.h"
#include "RecordingControls.h"
#include "RecordingPlayer.h"
#include "RecordingWriter.h"
#include "ReplayBar.h"
#include "ShortcutSheet.h"
#include "TeamAlert.h"
#include "TeamAlertEngine.h"
#include "TestProvider.h"
#include "TestSettings.h"
#include "ToolWindow.h"
#include "WidgetDriveTime.h"
#include "WidgetPitWindow.h"
#include "WidgetStanding.h"
#include "WidgetStints.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

#include <functional>
#include <memory>

using namespace PanelRegistry;

namespace {

// Only these panels of the registry built (the Window menu has them all).
Factories only(std::initializer_list<int> rows)
{
    Factories some{};
    for (int row : rows)
        some[row] = PanelRegistry::factories()[row];
    return some;
}

void activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// Forty cars, number 1 to 40 in that order, in a race; car n's team is
// "Team n" and its driver "Driver n", but car 33 is "Rossa Corse" with Ann
// Berg and car 7 has Cid Rossi.
void fillRace(V2DataProvider& provider)
{
    mirrorNode(provider, QStringLiteral("timing.session.info"))->insertData(QStringLiteral("type"), QStringLiteral("RACE"));
    for (int n = 1; n <= 40; ++n) {
        const QString car = QString::number(n);
        V2_Data* entry = mirrorNode(provider, QStringLiteral("timing.session.entry.%1").arg(car));
        entry->insertData(QStringLiteral("class"), QStringLiteral("GT3"));
        entry->insertData(QStringLiteral("team"), n == 33 ? QStringLiteral("Rossa Corse") : QStringLiteral("Team %1").arg(n));
        V2_Data* driver = mirrorNode(provider, QStringLiteral("timing.session.entry.%1.drivers.1").arg(car));
        driver->insertData(QStringLiteral("lastName"), n == 33 ? QStringLiteral("Berg") : n == 7 ? QStringLiteral("Rossi") : QStringLiteral("Driver%1").arg(n));
        mirrorNode(provider, QStringLiteral("timing.session.standings.overall.active.%1").arg(n))->insertData(QStringLiteral("participant"), car);
        mirrorNode(provider, QStringLiteral("timing.session.standings.overall.participantDetails.%1").arg(car))->insertData(QStringLiteral("elapsedLaps"), 5);
    }
    emit provider.controller()->sessionEntry();
    emit provider.controller()->trackInfo();
}

// A focus widget as the tab order names it: its object name, else a button's text.
QString focusName()
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("(none)");
    if (!focus->objectName().isEmpty())
        return focus->objectName();
    if (auto* button = qobject_cast<QAbstractButton*>(focus))
        return button->text().remove(QLatin1Char('&'));
    return QString::fromLatin1(focus->metaObject()->className());
}

using DialogFactory = std::function<QDialog*()>;

} // namespace

Q_DECLARE_METATYPE(DialogFactory)

class TestKeyboard final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void everyShortcutOnceAndNoStandardKey();
    void panelKeysOpenAndClose_data();
    void panelKeysOpenAndClose();
    void layoutKeysLoadTheirLayout();
    void delayAlertAndReplayKeys();
    void sheetListsTheTable();
    void matches_data();
    void matches();
    void findCarShowsItEverywhere();
    void dialogsByKeyboard_data();
    void dialogsByKeyboard();

private:
    TestSettings m_config;
};

void TestKeyboard::init()
{
    AppSettings::open()->clear();
    // Nobody listens on this port: the window stays "Not connected".
    AppSettings::open()->setValue(QStringLiteral("v2port"), 1);
}

// Every action of the table has its keys; no two keys of the whole window
// (panels included) are equal or one the beginning of the other, and none
// but Find and Help takes a key the toolkit uses for something else.
void TestKeyboard::everyShortcutOnceAndNoStandardKey()
{
    MainWindow window(PanelRegistry::factories());
    for (int row = 0; row < RowCount; ++row)
        window.panelAction(row)->trigger(); // every panel open, with whatever keys it has
    const QVector<KeyboardShortcuts::Shortcut> table = KeyboardShortcuts::table();
    QCOMPARE(table.size(), RowCount + 9 + 9);
    for (const KeyboardShortcuts::Shortcut& entry : table) {
        QAction* action = window.action(entry.action);
        if (entry.action == QLatin1String("actionDelay") && !action)
            continue; // the delay binds when the window has it
        QVERIFY2(action, qPrintable(entry.action));
        QVERIFY2(!action->shortcut().isEmpty(), qPrintable(entry.action));
        QCOMPARE(action->shortcutContext(), Qt::ApplicationShortcut);
        QVERIFY2(!action->autoRepeat(), qPrintable(entry.action)); // a held key acts once
    }
    QCOMPARE(window.panelAction(Standing)->shortcut(), QKeySequence(QStringLiteral("Alt+W, S")));
    QCOMPARE(window.panelAction(GapChart)->shortcut(), QKeySequence(QStringLiteral("Alt+W, Q")));

    QList<QPair<QString, QKeySequence>> keys;
    for (QAction* action : window.findChildren<QAction*>()) {
        for (const QKeySequence& sequence : action->shortcuts())
            keys.append({ action->objectName(), sequence });
    }
    for (QShortcut* shortcut : window.findChildren<QShortcut*>())
        keys.append({ shortcut->objectName(), shortcut->key() });
    QVERIFY(keys.size() >= table.size() - 1);
    for (int a = 0; a < keys.size(); ++a) {
        for (int b = 0; b < keys.size(); ++b) {
            if (a != b)
                QVERIFY2(keys.at(a).second.matches(keys.at(b).second) == QKeySequence::NoMatch,
                         qPrintable(keys.at(a).first + QLatin1Char(' ') + keys.at(b).first));
        }
    }
    QList<QKeySequence> standard;
    for (int key = QKeySequence::HelpContents; key <= QKeySequence::Cancel; ++key)
        standard += QKeySequence::keyBindings(QKeySequence::StandardKey(key));
    QVERIFY(standard.contains(QKeySequence(QStringLiteral("Ctrl+C"))));
    for (const KeyboardShortcuts::Shortcut& entry : table) {
        if (entry.standard != QKeySequence::UnknownKey)
            continue;
        for (const QKeySequence& taken : qAsConst(standard)) {
            QVERIFY2(entry.keys.matches(taken) == QKeySequence::NoMatch && taken.matches(entry.keys) == QKeySequence::NoMatch,
                     qPrintable(entry.action + QLatin1Char(' ') + taken.toString()));
        }
    }
}

void TestKeyboard::panelKeysOpenAndClose_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("row");
    QTest::newRow("standing") << "Alt+W, S" << int(Standing);
    QTest::newRow("stints") << "Alt+W, U" << int(Stints);
    QTest::newRow("flags") << "Alt+W, G" << int(Flags);
    QTest::newRow("gap chart") << "Alt+W, Q" << int(GapChart);
}

void TestKeyboard::panelKeysOpenAndClose()
{
    QFETCH(QString, keys);
    QFETCH(int, row);
    MainWindow window(only({ DayTime, SessionInfo, row }));
    activate(&window);
    QVERIFY(!window.panel(row));
    QTest::keySequence(&window, QKeySequence(keys));
    QVERIFY(window.panel(row) && window.panel(row)->isVisible());
    QVERIFY(window.panelAction(row)->isChecked());
    // Again from the panel itself, now the active window.
    activate(window.panel(row));
    QTest::keySequence(window.panel(row), QKeySequence(keys));
    QTRY_VERIFY(!window.panel(row));
    QVERIFY(!window.panelAction(row)->isChecked());
}

// Ctrl+1 … Ctrl+9: the layouts in the order the layout dialogs list them.
void TestKeyboard::layoutKeysLoadTheirLayout()
{
    const auto settings = AppSettings::open();
    settings->setValue(QStringLiteral("layouts/Race/mainwindow/x"), 40);
    settings->setValue(QStringLiteral("layouts/Race/view_standing/show"), true);
    settings->setValue(QStringLiteral("layouts/Race/view_standing/x"), 300);
    MainWindow window(only({ DayTime, SessionInfo, Standing }));
    activate(&window);
    auto* keys = window.findChild<KeyboardShortcuts*>();
    // The built-in layouts are listed with the user's.
    QCOMPARE(keys->layoutAction(0)->text(), QStringLiteral("Pit wall"));
    QCOMPARE(keys->layoutAction(1)->text(), QStringLiteral("Race"));
    QCOMPARE(keys->layoutAction(2)->text(), QStringLiteral("Strategy"));
    QCOMPARE(keys->layoutAction(3)->text(), QStringLiteral("default"));
    QVERIFY(!keys->layoutAction(4)->isVisible());
    QCOMPARE(keys->layoutAction(3)->shortcut(), QKeySequence(QStringLiteral("Ctrl+4")));

    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+2")));
    QCOMPARE(window.currentLayoutName(), QStringLiteral("Race"));
    QCOMPARE(AppSettings::open()->value(QStringLiteral("lastLayoutName")).toString(), QStringLiteral("Race"));
    QVERIFY(window.panel(Standing) && window.panel(Standing)->isVisible());
    QCOMPARE(window.panel(Standing)->x(), 300);
    QCOMPARE(window.x(), 40);
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+4")));
    QCOMPARE(window.currentLayoutName(), QStringLiteral("default"));
    QVERIFY(!window.panelAction(Standing)->isChecked()); // "default" hides it
    QVERIFY(!window.panel(Standing) || !window.panel(Standing)->isVisible());
    // No fifth layout: its key does nothing.
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+5")));
    QCOMPARE(window.currentLayoutName(), QStringLiteral("default"));
}

void TestKeyboard::delayAlertAndReplayKeys()
{
    const QString path = m_config.filePath(QStringLiteral("keys.lrec"));
    {
        RecordingWriter writer;
        QString error;
        QVERIFY2(writer.open(path, QDateTime::currentDateTimeUtc(), QStringLiteral("timing"), 11001, &error), qPrintable(error));
        writer.write(0, QByteArrayLiteral(R"(JSON:1::{"weather":{"a":1}})"));
        writer.write(300000, QByteArrayLiteral(R"(JSON:2::{"weather":{"a":2}})"));
    }
    MainWindow window(only({ DayTime }));
    auto* delay = window.findChild<QAction*>(QStringLiteral("actionDelay"));
    QVERIFY(delay);
    QSignalSpy delayAsked(delay, &QAction::triggered);
    activate(&window);
    TeamAlertEngine* alerts = window.dataProvider()->teamAlerts();
    TeamAlert alert;
    alert.identity = QStringLiteral("pit 7");
    alert.text = QStringLiteral("Car 7 pits");
    alerts->raise(alert);
    QCOMPARE(alerts->unacknowledgedCount(), 1);
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+Shift+K")));
    QCOMPARE(alerts->unacknowledgedCount(), 0);

    // The replay's keys do nothing before a replay.
    RecordingPlayer* player = window.recordingControls()->player();
    QTest::keySequence(&window, QKeySequence(Qt::Key_F8));
    QVERIFY(!player->isPlaying());
    QString error;
    QVERIFY2(window.recordingControls()->openRecording(path, &error, true), qPrintable(error));
    QTRY_VERIFY(window.recordingControls()->isReplaying());
    QVERIFY(player->isPlaying());
    QTest::keySequence(&window, QKeySequence(Qt::Key_F8));
    QVERIFY(!player->isPlaying());
    const qint64 start = player->position();
    QTest::keySequence(&window, QKeySequence(Qt::Key_F9));
    QCOMPARE(player->position(), start + 10000);
    QTest::keySequence(&window, QKeySequence(Qt::SHIFT + Qt::Key_F9));
    QCOMPARE(player->position(), start + 70000);
    QTest::keySequence(&window, QKeySequence(Qt::Key_F7));
    QCOMPARE(player->position(), start + 60000);
    QTest::keySequence(&window, QKeySequence(Qt::SHIFT + Qt::Key_F7));
    QTest::keySequence(&window, QKeySequence(Qt::SHIFT + Qt::Key_F7));
    QCOMPARE(player->position(), qint64(0)); // not before the start
    QTest::keySequence(&window, QKeySequence(Qt::Key_F8));
    QVERIFY(player->isPlaying());
    window.recordingControls()->leaveReplay();

    // Last, as its dialog takes the focus away.
    onNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QTest::keySequence(&window, QKeySequence(QStringLiteral("Ctrl+Shift+D")));
    QCOMPARE(delayAsked.count(), 1);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestKeyboard::sheetListsTheTable()
{
    MainWindow window(PanelRegistry::factories());
    activate(&window);
    QStringList rows;
    onNextModal([&rows](QWidget* modal) {
        auto* sheet = qobject_cast<ShortcutSheet*>(modal);
        QVERIFY(sheet);
        QCOMPARE(sheet->windowTitle(), QStringLiteral("Keyboard shortcuts"));
        for (int row = 0; row < sheet->table()->rowCount(); ++row)
            rows << sheet->table()->item(row, 0)->text() + QStringLiteral(" = ") + sheet->table()->item(row, 1)->text();
        activate(sheet);
        QCOMPARE(focusName(), QStringLiteral("shortcutTable"));
        QTest::keyClick(sheet->table(), Qt::Key_Tab); // out of the table, not to its next cell
        QCOMPARE(focusName(), QStringLiteral("Close"));
        QTest::keyClick(sheet, Qt::Key_Escape);
    });
    QTest::keySequence(&window, QKeySequence(Qt::Key_F1));
    QVERIFY(!QApplication::activeModalWidget());
    // Every panel, the three layouts there are (two built in), and the nine others.
    QCOMPARE(rows.size(), RowCount + 3 + 9);
    for (const char* row : { "Window → Day time = Alt+W, D", "Window → Standing = Alt+W, S", "Window → Track Preview = Alt+W, V", "Layout → Pit wall = Ctrl+1",
                             "Layout → default = Ctrl+3", "View → Delay = Ctrl+Shift+D",
                             "Window → Find a car = Ctrl+F", "Replay → Play/Pause = F8", "Replay → Back 1 min = Shift+F7",
                             "Alerts → Acknowledge all = Ctrl+Shift+K", "Help → Keyboard shortcuts = F1" })
        QVERIFY2(rows.contains(QString::fromUtf8(row)), row);
}

void TestKeyboard::matches_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("cars");
    QTest::newRow("number, then numbers it begins") << "3" << QStringList({ "3", "30", "31", "32", "33", "34", "35", "36", "37", "38", "39" });
    QTest::newRow("number alone") << " 40 " << QStringList({ "40" });
    QTest::newRow("team or driver, any case") << "ROSS" << QStringList({ "7", "33" });
    QTest::newRow("driver") << "berg" << QStringList({ "33" });
    QTest::newRow("nothing") << "zz" << QStringList();
    QTest::newRow("empty") << "" << QStringList();
}

void TestKeyboard::matches()
{
    QFETCH(QString, text);
    QFETCH(QStringList, cars);
    auto provider = makeTestProvider();
    fillRace(*provider);
    QCOMPARE(FindCar::matches(provider.get(), text), cars);
}

// Ctrl+F, part of a name, Down to the second match, Enter: the standings
// open on that car's row, the other panels switch to it.
void TestKeyboard::findCarShowsItEverywhere()
{
    MainWindow window(only({ DayTime, SessionInfo, Standing, Stints, DriveTime, PitWindow }));
    fillRace(*window.dataProvider());
    for (int row : { Stints, DriveTime, PitWindow })
        window.panelAction(row)->trigger();
    activate(&window);
    onNextModal([](QWidget* modal) {
        auto* find = qobject_cast<FindCar*>(modal);
        QVERIFY(find);
        QTest::keyClicks(find->textField(), QStringLiteral("ross"));
        QCOMPARE(find->matchList()->count(), 2);
        QTest::keyClick(find->textField(), Qt::Key_Down);
        QCOMPARE(find->chosenCar(), QStringLiteral("33"));
        QTest::keyClick(find->textField(), Qt::Key_Return);
    });
    QTest::keySequence(&window, QKeySequence(QKeySequence::Find));
    QVERIFY(!QApplication::activeModalWidget());

    auto* standing = qobject_cast<WidgetStanding*>(window.panel(Standing));
    QVERIFY(standing && standing->isVisible());
    QVERIFY(window.panelAction(Standing)->isChecked());
    QTableView* table = standing->table(WidgetStanding::RacePage);
    QCOMPARE(standing->currentPage(), int(WidgetStanding::RacePage));
    QCOMPARE(standing->shownRow(WidgetStanding::RacePage), 32);
    QTRY_VERIFY(table->viewport()->rect().contains(table->visualRect(table->model()->index(32, 1))));
    QVERIFY(!table->viewport()->rect().intersects(table->visualRect(table->model()->index(0, 1)))); // it did scroll
    QCOMPARE(qobject_cast<WidgetStints*>(window.panel(Stints))->carList()->currentText(), QStringLiteral("33"));
    QCOMPARE(qobject_cast<WidgetDriveTime*>(window.panel(DriveTime))->carList()->currentText(), QStringLiteral("33"));
    auto* pitWindow = qobject_cast<WidgetPitWindow*>(window.panel(PitWindow));
    QCOMPARE(pitWindow->carList()->currentText(), QStringLiteral("33"));
    QCOMPARE(pitWindow->model()->car(), QStringLiteral("33"));

    // The frame keeps the row's own colours (here a follow colour) in every
    // skin, and is drawn in the skin's selection colour along the row's edge.
    V2DataProvider& provider = *window.dataProvider();
    const QColor follow(0, 200, 120);
    provider.setFollowColor(1, follow);
    provider.setCarToFollow(1, QStringLiteral("33"));
    const QModelIndex cellIndex = table->model()->index(32, ModelSessionStanding::ClassColumn);
    QTRY_COMPARE(cellIndex.data(Qt::BackgroundRole).value<QBrush>().color(), follow);
    for (const char* skin : { "actionLight_skin", "actionHigh_contrast_skin", "actionDark_skin" }) {
        window.findChild<QAction*>(QLatin1String(skin))->trigger();
        QVERIFY(table->selectionModel()->selectedRows().isEmpty());
        const QRect cell = table->visualRect(cellIndex);
        const QImage image = table->viewport()->grab().toImage();
        const QColor frame = table->palette().color(QPalette::Highlight);
        int followPixels = 0;
        int framePixels = 0;
        for (int x = cell.left(); x <= cell.right(); ++x) {
            framePixels += QColor(image.pixel(x, cell.top())) == frame;
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                followPixels += QColor(image.pixel(x, y)) == follow;
        }
        QVERIFY2(followPixels > cell.width() * cell.height() / 3, skin);
        QCOMPARE(framePixels, cell.width());
    }

    // The frame follows the car when positions change.
    mirrorNode(provider, QStringLiteral("timing.session.standings.overall.active.33"))->insertData(QStringLiteral("participant"), QStringLiteral("34"));
    mirrorNode(provider, QStringLiteral("timing.session.standings.overall.active.34"))->insertData(QStringLiteral("participant"), QStringLiteral("33"));
    emit provider.controller()->standingsOverallByPosition(33);
    emit provider.controller()->standingsOverallByPosition(34);
    QTRY_COMPARE(standing->shownRow(WidgetStanding::RacePage), 33);

    // It goes after a few seconds (the wait cut short here), and at once with a new session.
    auto* fade = standing->findChild<QTimer*>(QStringLiteral("shownCarTimer"));
    QVERIFY(fade && fade->isActive());
    QCOMPARE(fade->interval(), 4000);
    fade->start(1);
    QTRY_COMPARE(standing->shownRow(WidgetStanding::RacePage), -1);
    QVERIFY(standing->shownCar().isEmpty());
    QVERIFY(standing->showCar(QStringLiteral("33")));
    emit provider.controller()->cleanAll();
    emit provider.controller()->standingsOverall();
    QTRY_COMPARE(table->model()->rowCount(), 40);
    QVERIFY(standing->shownCar().isEmpty());
    QCOMPARE(standing->shownRow(WidgetStanding::RacePage), -1);

    // A minimised panel holds its rows: it is restored first, and finds the car where it is now.
    standing->showMinimized();
    QTRY_VERIFY(!standing->isShowing());
    mirrorNode(provider, QStringLiteral("timing.session.standings.overall.active.33"))->insertData(QStringLiteral("participant"), QStringLiteral("33"));
    mirrorNode(provider, QStringLiteral("timing.session.standings.overall.active.34"))->insertData(QStringLiteral("participant"), QStringLiteral("34"));
    emit provider.controller()->standingsOverall();
    FindCar::showCar(&window, QStringLiteral("33"));
    QVERIFY(standing->isShowing());
    QCOMPARE(standing->shownRow(WidgetStanding::RacePage), 32);
}

void TestKeyboard::dialogsByKeyboard_data()
{
    QTest::addColumn<DialogFactory>("make");
    // Tab from the first field: round to it again, or the first fields of a long form.
    QTest::addColumn<QStringList>("tabOrder");
    QTest::addColumn<bool>("enterAccepts");
    QTest::newRow("scale factor") << DialogFactory([] { return new DialogScaleFactor(1.5, nullptr); })
                                  << QStringList({ "doubleSpinBox", "OK", "Cancel", "doubleSpinBox" }) << true;
    QTest::newRow("connection data") << DialogFactory([] {
        auto* dialog = new DialogUser(nullptr);
        dialog->setPort(11001);
        return dialog;
    }) << QStringList({ "lineEditHost", "lineEditPort", "lineEditUser", "lineEditPassword", "pushButtonForgetCertificate", "OK", "Cancel", "lineEditHost" })
                                     << true;
    QTest::newRow("set layout") << DialogFactory([] { return new DialogLoadLayout(nullptr); }) << QStringList({ "comboBox", "OK", "Cancel", "comboBox" })
                                << true;
    QTest::newRow("save layout") << DialogFactory([] { return new DialogSaveLayout(nullptr); })
                                 << QStringList({ "comboBox", "pushButtonDeleteLayout", "pushButtonNewLayout", "OK", "Cancel", "comboBox" }) << true;
    QTest::newRow("find a car, nothing typed") << DialogFactory([] {
        V2DataProvider* provider = makeTestProvider().release();
        auto* dialog = new FindCar(provider, nullptr);
        provider->setParent(dialog);
        return dialog;
    }) << QStringList({ "findText", "findMatches", "Cancel", "findText" })
                                               << false;
    QTest::newRow("alert rules") << DialogFactory([] { return new DialogAlertRules(AlertRules(), nullptr); })
                                 << QStringList({ "enabled_pitLane", "severity_pitLane", "notify_pitLane", "sound_pitLane", "enabled_raceControlCar",
                                                  "severity_raceControlCar", "notify_raceControlCar", "sound_raceControlCar", "enabled_raceControlGroups",
                                                  "raceControlGroups_groups", "severity_raceControlGroups" })
                                 << true;
    // With a class row: Tab must leave the table, not walk its cells.
    QTest::newRow("drive-time rules") << DialogFactory([] { return new DialogDriveTimeRules(DriveTimeRules(), { QStringLiteral("GT3") }, nullptr); })
                                      << QStringList({ "minTotal", "maxTotal", "maxContinuous", "minRest", "pitTime", "swapTime", "nearMargin", "hasEnd",
                                                       "Add class", "Remove class", "classes", "OK", "exportButton", "importButton", "Cancel", "minTotal" })
                                      << true;
}

void TestKeyboard::dialogsByKeyboard()
{
    QFETCH(DialogFactory, make);
    QFETCH(QStringList, tabOrder);
    QFETCH(bool, enterAccepts);
    {
        std::unique_ptr<QDialog> dialog(make());
        activate(dialog.get());
        QPushButton* defaultButton = nullptr;
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            if (button->isDefault())
                defaultButton = button;
        }
        QVERIFY(defaultButton);
        QCOMPARE(defaultButton->text().remove(QLatin1Char('&')), QStringLiteral("OK"));
        if (!tabOrder.isEmpty()) {
            QStringList walked{ focusName() };
            for (int step = 1; step < tabOrder.size(); ++step) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                walked << focusName();
            }
            QCOMPARE(walked, tabOrder);
        }
        QWidget* first = dialog->focusWidget();
        QTest::keyClick(first ? first : dialog.get(), Qt::Key_Return);
        QCOMPARE(dialog->isVisible(), !enterAccepts);
        QCOMPARE(dialog->result(), enterAccepts ? int(QDialog::Accepted) : int(QDialog::Rejected));
    }
    std::unique_ptr<QDialog> dialog(make());
    activate(dialog.get());
    QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog.get(), Qt::Key_Escape);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
