#include "AlertRules.h"
#include "AppSettings.h"
#include "ClientV2Controller.h"
#include "DialogDriveTimeRules.h"
#include "DialogUser.h"
#include "DriveTimeMonitor.h"
#include "MainWindow.h"
#include "ModelDriveTime.h"
#include "WidgetDriveTime.h"
#include "ModalHelper.h"
#include "PositioningGraphicsViewPromote.h"
#include "RecordingControls.h"
#include "RecordingPlayer.h"
#include "ReplayBar.h"
#include "ScriptedServer.h"
#include "BroadcastDelay.h"
#include "BuiltInLayouts.h"
#include "DialogSaveLayout.h"
#include "TestPanels.h"
#include "TeamAlertEngine.h"
#include "TeamFollowSync.h"
#include "TestSettings.h"
#include "ToolWindow.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "WidgetPositioning.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGLWidget>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <utility>

using namespace PanelRegistry;


class TestMainWindow final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    // First: no dialog handler of another test is still waiting for a modal window.
    void staleMarkAndChangedCertificate();
    void staleUnderADelay();
    void firstStart();
    void menus();
    void alertRulesAppliedAndSaved();
    void panelOpensAtItsLayoutGeometry();
    void closeButtonUnchecksAction();
    void uncheckDeletesAndRecreates();
    void viewMenuAndDelay();
    void skinToggling();
    void displayOptions();
    void bringAllToPrimaryDesktop();
    void tyresRefusal();
    void connectionStatus();
    void editConnectionData();
    void driveTimeRulesReachTheAlerts();
    void shareFollowedCarsSetting();
    void saveAndSetThroughDialogs();
    void followPanelAndClosing();
    void openGLDecidedByTheTrackMap();
    void recordThenReplay();

private:
    TestSettings m_config;
};

void TestMainWindow::init()
{
    AppSettings::open()->clear();
    // Nobody listens on this port: the window stays "Not connected".
    AppSettings::open()->setValue(QStringLiteral("v2port"), 1);
}

void TestMainWindow::cleanup()
{
    qApp->setStyleSheet(QString());
}

void TestMainWindow::firstStart()
{
    MainWindow window(somePanels({DayTime, SessionInfo, Standing}));
    const auto settings = AppSettings::open();
    // The built-in layout, written in full.
    settings->beginGroup(QStringLiteral("layouts/default"));
    QCOMPARE(settings->childGroups().size(), RowCount + 1);
    QCOMPARE(settings->value(QStringLiteral("mainwindow/x")).toInt(), 8);
    QCOMPARE(settings->value(QStringLiteral("mainwindow/h")).toInt(), 0);
    QCOMPARE(settings->value(QStringLiteral("view_sessioninfo/y")).toInt(), 130);
    QCOMPARE(settings->value(QStringLiteral("view_standingclass/x")).toInt(), 1118);
    QCOMPARE(settings->value(QStringLiteral("view_trackpreview/show")).toBool(), false);
    QCOMPARE(settings->value(QStringLiteral("view_daytime/show")).toBool(), true);
    settings->endGroup();

    QCOMPARE(window.currentLayoutName(), QStringLiteral("default"));
    QVERIFY(window.panel(DayTime) && window.panel(DayTime)->isVisible());
    QVERIFY(window.panel(SessionInfo) && window.panel(SessionInfo)->isVisible());
    QVERIFY(!window.panel(Standing));
    QVERIFY(window.panelAction(DayTime)->isChecked());
    QVERIFY(!window.panelAction(Standing)->isChecked());
    QCOMPARE(window.pos(), QPoint(8, 30));
    QCOMPARE(window.width(), 500);
    QCOMPARE(window.height(), 50); // raised to the minimum
    QVERIFY(window.action(QStringLiteral("actionDark_skin"))->isChecked());
    QVERIFY(qApp->styleSheet().contains(QLatin1String("Dark skin")));
    QVERIFY(window.panel(DayTime)->showBorder());
    // "lastLayoutName" is written only by "Set..." and "Save...".
    QVERIFY(!stored(QStringLiteral("lastLayoutName")).isValid());

    // A second start keeps an existing "default".
    AppSettings::open()->setValue(QStringLiteral("layouts/default/view_daytime/x"), 99);
    MainWindow again(somePanels({DayTime}));
    QCOMPARE(stored(QStringLiteral("layouts/default/view_daytime/x")).toInt(), 99);
    QCOMPARE(again.panel(DayTime)->x(), 99);
}

void TestMainWindow::menus()
{
    {
        // No panel built: the "Window" menu holds only finding a car and the arrangement action.
        MainWindow window(Factories{});
        QMenu* menu = window.menuBar()->findChild<QMenu*>(QStringLiteral("menuWindow"));
        QCOMPARE(actionTexts(menu), QStringList({"|", "Find a car...", "Bring all to primary desktop"}));
    }
    MainWindow window(everyPanel());
    const auto menu = [&window](const char* name) { return actionTexts(window.menuBar()->findChild<QMenu*>(QLatin1String(name))); };
    // Written out: a wrong text in a registry row must fail here.
    QCOMPARE(menu("menuWindow"),
             QStringList({"Additional Standings", "Alerts", "Class Standings", "Day time", "Drive Time", "Flags", "Gap Chart", "Lap Chart", "Messages", "Meteo", "Participant Follow",
                          "Pit Entry", "Pit Exit", "Pit Lights", "Pit Window", "Positioning", "Sector Info", "Session Info", "Standing", "Standing Combined",
                          "Standing Fastest Lap", "Stints", "Track Limits", "Track Preview", "Tyres", "|", "Find a car...",
                          "Bring all to primary desktop"}));
    QCOMPARE(menu("menuAlerts"), QStringList({"Alert rules...", "Acknowledge all"}));
    for (int row = 0; row < RowCount; ++row)
        QVERIFY(window.panelAction(row)->isCheckable());
    QVERIFY(!window.action(QStringLiteral("actionExit"))->isCheckable());
}

void TestMainWindow::alertRulesAppliedAndSaved()
{
    {
        MainWindow window(Factories{});
        QStringList menus;
        for (QAction* action : window.menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, QStringList({"File", "View", "Window", "Layout", "Alerts", "Drive time", "Help"}));
        QCOMPARE(actionTexts(window.menuBar()->findChild<QMenu*>(QStringLiteral("menuAlerts"))), QStringList({"Alert rules...", "Acknowledge all"}));
        QVERIFY(!window.dataProvider()->teamAlerts()->rules().isEnabled(AlertRules::kStopped));
        // Cancel keeps the rules; OK applies and saves them.
        for (bool ok : {false, true}) {
            onNextModal([ok](QWidget* modal) {
                modal->findChild<QCheckBox*>(QStringLiteral("enabled_stopped"))->setChecked(true);
                ok ? static_cast<QDialog*>(modal)->accept() : static_cast<QDialog*>(modal)->reject();
            });
            window.action(QStringLiteral("actionAlertRules"))->trigger();
            QCOMPARE(window.dataProvider()->teamAlerts()->rules().isEnabled(AlertRules::kStopped), ok);
            QCOMPARE(stored(QStringLiteral("alertRules/stopped/enabled")).toBool(), ok);
        }
    }
    MainWindow window(Factories{});
    QVERIFY(window.dataProvider()->teamAlerts()->rules().isEnabled(AlertRules::kStopped));
}

void TestMainWindow::panelOpensAtItsLayoutGeometry()
{
    MainWindow window(somePanels({DayTime, SessionInfo, Standing}));
    // At first start the panels take the built-in layout's places.
    QCOMPARE(window.panel(DayTime)->geometry(), QRect(8, 430, 500, 150));
    QCOMPARE(window.panel(SessionInfo)->geometry(), QRect(8, 130, 500, 300));
    window.panelAction(Standing)->trigger();
    QVERIFY(window.panel(Standing)->isVisible());
    QCOMPARE(window.panel(Standing)->geometry(), QRect(725, 26, 378, 566));
    QCOMPARE(window.panel(Standing)->windowTitle(), QStringLiteral("Standing"));
}

void TestMainWindow::closeButtonUnchecksAction()
{
    MainWindow window(somePanels({DayTime, SessionInfo}));
    QPointer<ToolWindow> panel = window.panel(DayTime);
    QVERIFY(window.panelAction(DayTime)->isChecked());
    panel->close();
    QVERIFY(!window.panelAction(DayTime)->isChecked());
    QTRY_VERIFY(panel.isNull());
    QVERIFY(!window.panel(DayTime));
}

void TestMainWindow::uncheckDeletesAndRecreates()
{
    MainWindow window(somePanels({DayTime, SessionInfo}));
    QPointer<ToolWindow> first = window.panel(SessionInfo);
    first->move(400, 400);
    window.panelAction(SessionInfo)->trigger();
    QVERIFY(!window.panelAction(SessionInfo)->isChecked());
    QVERIFY(!window.panel(SessionInfo));
    QTRY_VERIFY(first.isNull());
    window.panelAction(SessionInfo)->trigger();
    QVERIFY(window.panel(SessionInfo));
    QVERIFY(window.panelAction(SessionInfo)->isChecked());
    QCOMPARE(window.panel(SessionInfo)->pos(), QPoint(8, 130)); // from the layout, not where the old one was
}

void TestMainWindow::viewMenuAndDelay()
{
    MainWindow window(Factories{});
    BroadcastDelay* delay = window.dataProvider()->controller()->delay();
    auto* box = window.statusBar()->findChild<QSpinBox*>(QStringLiteral("delayBox"));
    QVERIFY(box);
    QCOMPARE(actionTexts(window.menuBar()->findChild<QMenu*>(QStringLiteral("menuView"))), QStringList({"Delay...", "Times of day in"}));
    // Hidden while the timing is live.
    QVERIFY(box->isHidden());
    onNextModal([](QWidget* modal) {
        modal->findChild<QSpinBox*>()->setValue(45);
        static_cast<QDialog*>(modal)->accept();
    });
    window.action(QStringLiteral("actionDelay"))->trigger();
    QCOMPARE(delay->seconds(), 45);
    QVERIFY(!box->isHidden());
    QCOMPARE(box->value(), 45);
    box->setValue(20);
    QCOMPARE(delay->seconds(), 20);
    // Typed over: only the finished value counts, not its first digit.
    QSignalSpy changes(delay, &BroadcastDelay::secondsChanged);
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, QStringLiteral("45"));
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(changes, QList<QList<QVariant>>({{45}}));
    box->setValue(0);
    QCOMPARE(delay->seconds(), 0);
    QVERIFY(box->isHidden());
}

void TestMainWindow::skinToggling()
{
    MainWindow window(somePanels({DayTime, SessionInfo}));
    QSignalSpy skins(&window, &MainWindow::updateSkin);
    QSignalSpy panelSkins(window.panel(DayTime), &ToolWindow::updateSkin);
    window.action(QStringLiteral("actionDark_skin"))->setChecked(false);
    QVERIFY(window.action(QStringLiteral("actionLight_skin"))->isChecked());
    QCOMPARE(stored(QStringLiteral("skin")).toString(), QStringLiteral("Light"));
    QCOMPARE(skins.count(), 1);
    QCOMPARE(skins.at(0).at(0).toString(), QStringLiteral("Light"));
    QCOMPARE(panelSkins.count(), 1);
    QVERIFY(qApp->styleSheet().contains(QLatin1String("Light skin")));

    window.action(QStringLiteral("actionDark_skin"))->setChecked(true);
    QVERIFY(!window.action(QStringLiteral("actionLight_skin"))->isChecked());
    QCOMPARE(stored(QStringLiteral("skin")).toString(), QStringLiteral("Dark"));
    QCOMPARE(skins.count(), 2);
    QCOMPARE(skins.at(1).at(0).toString(), QStringLiteral("Dark"));
    QVERIFY(qApp->styleSheet().contains(QLatin1String("Dark skin")));

    // The stored skin is the next start's.
    window.action(QStringLiteral("actionLight_skin"))->setChecked(true);
    MainWindow next(somePanels({DayTime}));
    QVERIFY(next.action(QStringLiteral("actionLight_skin"))->isChecked());
    QVERIFY(!next.action(QStringLiteral("actionDark_skin"))->isChecked());
}

void TestMainWindow::displayOptions()
{
    V2DataProvider* provider = nullptr;
    MainWindow window(somePanels({DayTime, SessionInfo, Meteo, RaceControl, Flags, Positioning}));
    provider = window.dataProvider();
    for (int row : {Meteo, RaceControl, Flags, Positioning})
        window.panelAction(row)->trigger();
    // New panels start with the options in force.
    QCOMPARE(testPanel(window, Meteo)->options, QStringList({"units 0"}));
    QCOMPARE(testPanel(window, Positioning)->options, QStringList({"bikes 0", "opengl 1"}));
    QCOMPARE(testPanel(window, DayTime)->options, QStringList());

    provider->controller()->getCurrentData()->getOrCreateDataPointer(QStringLiteral("timing.session.standings.overall.additional.byTopSpeed.1"))
        ->insertData(QStringLiteral("speed"), 300.0);
    window.action(QStringLiteral("actionUse_USA_units"))->trigger();
    QCOMPARE(stored(QStringLiteral("useImperialUnits")).toBool(), true);
    QVERIFY(qAbs(provider->getTopSpeedStandingSpeed(1) - 186.4113) < 1e-9);
    QCOMPARE(testPanel(window, Meteo)->options.last(), QStringLiteral("units 1"));
    QCOMPARE(testPanel(window, DayTime)->options, QStringList());

    window.action(QStringLiteral("actionSort_Messages_Flags"))->trigger();
    QCOMPARE(testPanel(window, RaceControl)->options.last(), QStringLiteral("newest 1"));
    QCOMPARE(testPanel(window, Flags)->options.last(), QStringLiteral("newest 1"));
    QCOMPARE(testPanel(window, Meteo)->options.last(), QStringLiteral("units 1"));

    window.action(QStringLiteral("actionUse_OpenGL"))->trigger();
    QCOMPARE(stored(QStringLiteral("use_opengl")).toBool(), false);
    QCOMPARE(testPanel(window, Positioning)->options.last(), QStringLiteral("opengl 0"));

    window.action(QStringLiteral("actionShow_tool_window_frame"))->trigger();
    QCOMPARE(stored(QStringLiteral("showBorder")).toBool(), false);
    for (int row : {DayTime, SessionInfo, Meteo, Positioning})
        QVERIFY(!window.panel(row)->showBorder());
    window.panelAction(Meteo)->trigger();
    window.panelAction(Meteo)->trigger();
    QVERIFY(!window.panel(Meteo)->showBorder()); // a new panel takes the flag
    QCOMPARE(testPanel(window, Meteo)->options, QStringList({"units 1"}));

    // Bike championship: the panels that care are told on the session information.
    provider->controller()->getCurrentData()->getOrCreateDataPointer(QStringLiteral("timing.session.info"))->insertData(QStringLiteral("champIsBikes"),
                                                                                                                       true);
    emit provider->controller()->sessionInfo();
    QCOMPARE(testPanel(window, Positioning)->options.last(), QStringLiteral("bikes 1"));
}

void TestMainWindow::bringAllToPrimaryDesktop()
{
    MainWindow window(somePanels({DayTime, SessionInfo, Standing}));
    window.move(500, 500);
    window.panelAction(Standing)->trigger();
    window.panel(Standing)->hide();
    window.panel(Standing)->move(600, 610);
    window.action(QStringLiteral("actionBring_all_to_primary_desktop"))->trigger();
    QCOMPARE(window.panel(DayTime)->pos(), QPoint(170, 170));
    QCOMPARE(window.panel(SessionInfo)->pos(), QPoint(50, 50));
    QCOMPARE(window.panel(Standing)->pos(), QPoint(600, 610)); // hidden: left where it is
    QCOMPARE(window.pos(), QPoint(0, 0));
}

void TestMainWindow::tyresRefusal()
{
    MainWindow window(somePanels({DayTime, Tyres}));
    window.panelAction(Tyres)->trigger();
    QPointer<ToolWindow> tyres = window.panel(Tyres);
    QVERIFY(tyres);
    emit window.dataProvider()->controller()->errorReceived(QStringLiteral("Unknown channel tyres.session"));
    QVERIFY(!window.panelAction(Tyres)->isEnabled());
    QVERIFY(!window.panelAction(Tyres)->isChecked());
    QVERIFY(!window.panel(Tyres));
    QTRY_VERIFY(tyres.isNull());
    emit window.dataProvider()->controller()->enableTyresData();
    QVERIFY(window.panelAction(Tyres)->isEnabled());
}

void TestMainWindow::connectionStatus()
{
    MainWindow window(somePanels({DayTime}));
    V2_Client* client = window.dataProvider()->controller();
    emit client->onConnected();
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Connected to localhost"));
    emit client->onLoginDone();
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Logged in"));
    QTRY_COMPARE_WITH_TIMEOUT(window.statusBar()->currentMessage(), QString(), 4000);
    emit client->onDisconnected();
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Not connected"));
}

void TestMainWindow::editConnectionData()
{
    MainWindow window(somePanels({DayTime}));
    bool refusedBadPort = false;
    onNextModal([&refusedBadPort](QWidget* modal) {
        auto* dialog = qobject_cast<DialogUser*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("lineEditHost"))->text(), QStringLiteral("localhost"));
        QCOMPARE(dialog->findChild<QLineEdit*>(QStringLiteral("lineEditPort"))->text(), QStringLiteral("1"));
        dialog->findChild<QLineEdit*>(QStringLiteral("lineEditHost"))->setText(QStringLiteral("  timing.example  "));
        dialog->findChild<QLineEdit*>(QStringLiteral("lineEditPort"))->setText(QStringLiteral("70000"));
        dialog->findChild<QLineEdit*>(QStringLiteral("lineEditUser"))->setText(QStringLiteral(" team "));
        dialog->findChild<QLineEdit*>(QStringLiteral("lineEditPassword"))->setText(QStringLiteral("secret "));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        refusedBadPort = dialog->isVisible() && dialog->findChild<QLabel*>(QStringLiteral("labelError"))->isVisible();
        dialog->findChild<QLineEdit*>(QStringLiteral("lineEditPort"))->setText(QStringLiteral("1"));
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    window.action(QStringLiteral("actionEdit_credentials"))->trigger();
    QVERIFY(refusedBadPort);
    QCOMPARE(stored(QStringLiteral("v2host")).toString(), QStringLiteral("timing.example"));
    QCOMPARE(stored(QStringLiteral("v2port")).toInt(), 1);
    QCOMPARE(stored(QStringLiteral("v2user")).toString(), QStringLiteral(" team "));
    QCOMPARE(stored(QStringLiteral("v2password")).toString(), QStringLiteral("secret "));
    QCOMPARE(window.dataProvider()->host(), QStringLiteral("timing.example"));
    QCOMPARE(window.dataProvider()->username(), QStringLiteral(" team "));
    QVERIFY(window.dataProvider()->controller()->isActive());

    // Cancel changes nothing.
    onNextModal([](QWidget* modal) {
        modal->findChild<QLineEdit*>(QStringLiteral("lineEditHost"))->setText(QStringLiteral("other"));
        modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
    });
    window.action(QStringLiteral("actionEdit_credentials"))->trigger();
    QCOMPARE(stored(QStringLiteral("v2host")).toString(), QStringLiteral("timing.example"));
}

// The rules chosen reach the alerts with no drive-time panel open, and an
// open panel.
void TestMainWindow::driveTimeRulesReachTheAlerts()
{
    Factories panels = somePanels({DayTime});
    panels[DriveTime] = [](V2DataProvider* provider, QWidget* parent) -> ToolWindow* { return new WidgetDriveTime(provider, parent); };
    MainWindow window(panels);
    // OK on the rules dialog with these limits.
    const auto choose = [&window](const DriveTimeLimits& limits) {
        onNextModal([limits](QWidget* modal) {
            auto* dialog = qobject_cast<DialogDriveTimeRules*>(modal);
            QVERIFY(dialog);
            DriveTimeRules rules;
            rules.limits = limits;
            dialog->setRules(rules);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        window.action(QStringLiteral("actionDrive_time_rules"))->trigger();
    };
    // Read once already (as when a followed car was checked).
    QCOMPARE(window.dataProvider()->driveTimeMonitor()->rules().limits.maxContinuousMs, qint64(0));
    choose(DriveTimeLimits{0, 0, 45 * 60000, 0});
    QCOMPARE(window.dataProvider()->driveTimeMonitor()->rules().limits.maxContinuousMs, qint64(45 * 60000));

    if (!window.panel(DriveTime) || !window.panel(DriveTime)->isVisible())
        window.action(QStringLiteral("actionDrive_Time"))->trigger();
    auto* panel = qobject_cast<WidgetDriveTime*>(window.panel(DriveTime));
    QVERIFY(panel);
    choose(DriveTimeLimits{0, 0, 0, 30 * 60000});
    QCOMPARE(panel->model()->rules().limits.minRestMs, qint64(30 * 60000));
    QCOMPARE(window.dataProvider()->driveTimeMonitor()->rules().limits.minRestMs, qint64(30 * 60000));
}

void TestMainWindow::shareFollowedCarsSetting()
{
    {
        MainWindow window(Factories{});
        QAction* share = window.action(QStringLiteral("actionShare_followed_cars"));
        TeamFollowSync* team = window.dataProvider()->teamFollow();
        QVERIFY(share->isCheckable() && !share->isChecked() && !team->isEnabled());
        share->trigger();
        QCOMPARE(stored(QStringLiteral("share_followed_cars")).toBool(), true);
        QCOMPARE(team->state(), TeamFollowSync::State::Waiting);
    }
    ScriptedServer server(true);
    AppSettings::open()->setValue(QStringLiteral("v2host"), QStringLiteral("localhost"));
    AppSettings::open()->setValue(QStringLiteral("v2port"), server.start());
    MainWindow window(Factories{});
    QAction* share = window.action(QStringLiteral("actionShare_followed_cars"));
    QVERIFY(share->isChecked() && window.dataProvider()->teamFollow()->isEnabled());
    // A server without the channel: said on the status bar, and the entry says why.
    QVERIFY(server.waitForClient());
    QVERIFY(!server.acceptLogin().isEmpty());
    QVERIFY(!server.nextLineStartingWith("JOIN:team:team").isEmpty());
    server.sendLine(QStringLiteral("ERROR:team+:team:{\"advice\":\"\",\"reason\":\"Unknown channel\"}"));
    QTRY_COMPARE(share->text(), QStringLiteral("Share followed cars through this server (no team channel here)"));
    QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("This server has no team channel: followed cars are not shared."));
}

void TestMainWindow::saveAndSetThroughDialogs()
{
    MainWindow window(somePanels({DayTime, SessionInfo}));
    window.panel(DayTime)->move(140, 150);
    // "Save...": a new name, OK, then Yes to the confirmation.
    onNextModal([](QWidget* save) {
        QCOMPARE(save->findChild<QComboBox*>(QStringLiteral("comboBox"))->currentText(), QStringLiteral("default"));
        onNextModal(
            [](QWidget* input) {
                auto* dialog = qobject_cast<QInputDialog*>(input);
                QVERIFY(dialog);
                dialog->setTextValue(QStringLiteral("qualifying"));
                dialog->accept();
            },
            save);
        save->findChild<QPushButton*>(QStringLiteral("pushButtonNewLayout"))->click();
        QCOMPARE(save->findChild<QComboBox*>(QStringLiteral("comboBox"))->currentText(), QStringLiteral("qualifying"));
        onNextModal([](QWidget* confirm) { qobject_cast<QMessageBox*>(confirm)->button(QMessageBox::Yes)->click(); });
        save->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    window.action(QStringLiteral("actionLayoutSave"))->trigger();
    QTRY_COMPARE(window.currentLayoutName(), QStringLiteral("qualifying"));
    QCOMPARE(stored(QStringLiteral("lastLayoutName")).toString(), QStringLiteral("qualifying"));
    QCOMPARE(stored(QStringLiteral("layouts/qualifying/view_daytime/x")).toInt(), 140);

    // "Save..." answered No writes nothing.
    window.panel(DayTime)->move(160, 170);
    onNextModal([](QWidget* save) {
        onNextModal([](QWidget* confirm) { qobject_cast<QMessageBox*>(confirm)->button(QMessageBox::No)->click(); });
        save->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    window.action(QStringLiteral("actionLayoutSave"))->trigger();
    QCOMPARE(stored(QStringLiteral("layouts/qualifying/view_daytime/x")).toInt(), 140);

    // "Set..." back to "default": the open panels move to its places.
    onNextModal([](QWidget* set) {
        auto* combo = set->findChild<QComboBox*>(QStringLiteral("comboBox"));
        QCOMPARE(combo->currentText(), QStringLiteral("qualifying"));
        combo->setCurrentIndex(combo->findText(QStringLiteral("default")));
        set->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    window.action(QStringLiteral("actionLayoutSet"))->trigger();
    QCOMPARE(window.currentLayoutName(), QStringLiteral("default"));
    QCOMPARE(stored(QStringLiteral("lastLayoutName")).toString(), QStringLiteral("default"));
    QCOMPARE(window.panel(DayTime)->pos(), QPoint(8, 430));
}

void TestMainWindow::followPanelAndClosing()
{
    auto window = std::make_unique<MainWindow>(somePanels({DayTime, Follow}));
    V2DataProvider* provider = window->dataProvider();
    window->panelAction(Follow)->trigger();
    ToolWindow* follow = window->panel(Follow);
    QVERIFY(follow && follow->isVisible());
    QCOMPARE(follow->windowTitle(), QStringLiteral("Participant follow"));
    QCOMPARE(testPanel(*window, Follow)->options, QStringList({"bikes 0"}));
    // Hidden and shown again, never rebuilt, and left where the user put it.
    follow->move(91, 92);
    window->panelAction(Follow)->trigger();
    QCOMPARE(window->panel(Follow), follow);
    QVERIFY(!follow->isVisible());
    window->panelAction(Follow)->trigger();
    QCOMPARE(window->panel(Follow), follow);
    QVERIFY(follow->isVisible());
    QCOMPARE(follow->pos(), QPoint(91, 92));

    // Three follow blocks numbered 1, 2 and 6 (others were removed), the
    // second with a colour but no car; a removed block is forgotten by the
    // registry.
    testPanel(*window, Follow)->blocks = {0, 1, 5};
    provider->setFollowColor(0, QColor(255, 0, 0));
    provider->setFollowColor(1, QColor(4, 5, 6));
    provider->setFollowColor(5, QColor(10, 20, 30));
    provider->setFollowColor(3, QColor(1, 2, 3));
    provider->setCarToFollow(3, QStringLiteral("44"));
    provider->removeFollowPanel(3);
    provider->setCarToFollow(0, QStringLiteral("7"));
    provider->setCarToFollow(5, QStringLiteral("12"));
    AppSettings::open()->setValue(QStringLiteral("car_follow/car_follow_5"), QStringLiteral("stale"));
    window->action(QStringLiteral("actionDark_skin"))->setChecked(false);
    follow->move(77, 78);
    window->close();
    const auto settings = AppSettings::open();
    QCOMPARE(settings->value(QStringLiteral("skin")).toString(), QStringLiteral("Light"));
    QCOMPARE(settings->value(QStringLiteral("showBorder")).toBool(), true);
    settings->beginGroup(QStringLiteral("car_follow"));
    // Each block under its own number, the one the team's channel knows it
    // by: numbered by position, block 6's car came back as block 3's.
    QCOMPARE(settings->childKeys(),
             QStringList({"car_follow_1", "car_follow_6", "car_follow_color_bB_1", "car_follow_color_bB_2", "car_follow_color_bB_6", "car_follow_color_bG_1",
                          "car_follow_color_bG_2", "car_follow_color_bG_6", "car_follow_color_bR_1", "car_follow_color_bR_2", "car_follow_color_bR_6",
                          "car_follow_count", "car_follow_numbers"}));
    QCOMPARE(settings->value(QStringLiteral("car_follow_color_bG_2")).toInt(), 5);
    QCOMPARE(settings->value(QStringLiteral("car_follow_1")).toString(), QStringLiteral("7"));
    QCOMPARE(settings->value(QStringLiteral("car_follow_color_bR_1")).toInt(), 255);
    QCOMPARE(settings->value(QStringLiteral("car_follow_6")).toString(), QStringLiteral("12"));
    QCOMPARE(settings->value(QStringLiteral("car_follow_color_bR_6")).toInt(), 10);
    QCOMPARE(settings->value(QStringLiteral("car_follow_color_bG_6")).toInt(), 20);
    QCOMPARE(settings->value(QStringLiteral("car_follow_color_bB_6")).toInt(), 30);
    QCOMPARE(settings->value(QStringLiteral("car_follow_numbers")).toStringList(), QStringList({"1", "2", "6"}));
    QCOMPARE(settings->value(QStringLiteral("car_follow_count")).toString(), QStringLiteral("3"));
    settings->endGroup();
    // Layouts are not saved on closing.
    QCOMPARE(settings->value(QStringLiteral("layouts/default/view_follow/x")).toInt(), 8);

    // Without a follow panel the group is left alone.
    window = std::make_unique<MainWindow>(somePanels({DayTime, Follow}));
    window->close();
    QCOMPARE(AppSettings::open()->value(QStringLiteral("car_follow/car_follow_count")).toString(), QStringLiteral("3"));
}

void TestMainWindow::staleMarkAndChangedCertificate()
{
    MainWindow window(somePanels({DayTime, SessionInfo, Standing}));
    V2_Client* client = window.dataProvider()->controller();
    emit client->dataReceived();
    emit client->onDisconnected();
    QVERIFY(window.panel(DayTime)->isStale());
    QVERIFY(window.statusLabel()->text().startsWith(QStringLiteral("Connection lost — last data")));
    // A panel opened meanwhile shows the same.
    window.panelAction(Standing)->trigger();
    QVERIFY(window.panel(Standing)->isStale());
    emit client->dataReceived();
    QVERIFY(!window.panel(DayTime)->isStale());
    QVERIFY(!window.panel(Standing)->isStale());

    // Another certificate: the connection stops and the user is asked, "No" by default.
    bool defaultNo = false;
    onNextModal([&defaultNo](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        defaultNo = box->defaultButton() == box->button(QMessageBox::No);
        QVERIFY(box->detailedText().contains(QStringLiteral("cafe")));
        box->button(QMessageBox::No)->click();
    });
    emit client->certificateRejected("cafe", QStringLiteral("CN=elsewhere"));
    QTRY_VERIFY(defaultNo);
    QVERIFY(!client->isActive());
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Certificate changed — not connected"));
    emit client->onDisconnected();
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Certificate changed — not connected"));
    // Trusted: stored for the server, expected, and connecting again.
    onNextModal([](QWidget* modal) { qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Yes)->click(); });
    emit client->certificateRejected("beef", QStringLiteral("CN=new"));
    QTRY_VERIFY(client->isActive());
    QCOMPARE(client->expectedFingerprint(), QByteArray("beef"));
    QCOMPARE(AppSettings::open()->value(QStringLiteral("trusted_certificates/localhost_1/fingerprint")).toByteArray(), QByteArray("beef"));
    client->setActive(false);
}

void TestMainWindow::staleUnderADelay()
{
    MainWindow window(somePanels({DayTime}));
    auto* controller = qobject_cast<ClientV2Controller*>(window.dataProvider()->controller());
    qint64 now = 0;
    controller->delay()->setClock([&now] { return now; });
    emit controller->dataReceived();
    controller->delay()->setSeconds(10);
    emit controller->onDisconnected();
    emit controller->onConnected();
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Connected to localhost"));
    // The picture reaches the drop, then the reconnect's first line.
    now = 10000;
    controller->delay()->deliverDue();
    QVERIFY(window.panel(DayTime)->isStale());
    QVERIFY(window.statusLabel()->text().startsWith(QStringLiteral("Connection lost — last data")));
    emit controller->delay()->lineShown();
    QVERIFY(!window.panel(DayTime)->isStale());
    QCOMPARE(window.statusLabel()->text(), QStringLiteral("Connected to localhost"));
    controller->delay()->setSeconds(0);
}

void TestMainWindow::openGLDecidedByTheTrackMap()
{
    Factories real{};
    real[Positioning] = PanelRegistry::factories()[Positioning];
    MainWindow window(real);
    QAction* useOpenGL = window.action(QStringLiteral("actionUse_OpenGL"));
    QVERIFY(useOpenGL->isChecked());
    V2_Data* tree = window.dataProvider()->controller()->getCurrentData();
    tree->getOrCreateDataPointer(QStringLiteral("timing.session.classes.GT3"))->insertData(QStringLiteral("name"), QStringLiteral("GT3"));
    tree->getOrCreateDataPointer(QStringLiteral("timing.session.standings.byClass"));

    window.panelAction(Positioning)->trigger();
    auto* panel = qobject_cast<WidgetPositioning*>(window.panel(Positioning));
    QVERIFY(panel);
    // No OpenGL on the offscreen platform: the plain viewport, the option off
    // and stored off, the action unusable.
    QVERIFY(!panel->view()->isOpenGLValid());
    QVERIFY(!qobject_cast<QGLWidget*>(panel->view()->viewport()));
    QVERIFY(!useOpenGL->isEnabled());
    QVERIFY(!useOpenGL->isChecked());
    QCOMPARE(stored(QStringLiteral("use_opengl")).toBool(), false);
    // Shown, it has read the classes.
    QCOMPARE(panel->findChild<QComboBox*>(QStringLiteral("comboBoxClassesFilter"))->count(), 2);
}

// Recording shows in the status bar; replaying it turns the live connection
// off, shows the bar, and "Live" empties the tree and turns it on again.
void TestMainWindow::recordThenReplay()
{
    // The replay opens while the client connects again (looking the host
    // up, connecting, shaking hands over TLS): the end of that attempt must
    // not reach the replayed tree.
    ScriptedServer server(true);
    AppSettings::open()->setValue(QStringLiteral("v2host"), QStringLiteral("localhost"));
    AppSettings::open()->setValue(QStringLiteral("v2port"), server.start());
    MainWindow window(somePanels({DayTime}));
    window.show();
    QAction* edit = window.action(QStringLiteral("actionEdit_credentials"));
    RecordingControls* controls = window.recordingControls();
    QAction* record = window.action(QStringLiteral("actionRecord_session"));
    QAction* open = window.action(QStringLiteral("actionOpen_recording"));
    QCOMPARE(actionTexts(window.menuBar()->findChild<QMenu*>(QStringLiteral("menuFile"))).mid(0, 4),
             QStringList({"Set connection data...", "Share followed cars through this server", "Record session...", "Open recording..."}));
    QString error;
    QVERIFY(!controls->startRecording(m_config.filePath(QStringLiteral("no/such/dir/race.lrec")), &error));
    QVERIFY2(error.contains(QStringLiteral("Cannot create")), qPrintable(error));
    QVERIFY(!record->isChecked());

    const QString path = m_config.filePath(QStringLiteral("race.lrec"));
    QVERIFY(controls->startRecording(path, &error));
    QVERIFY(record->isChecked() && !open->isEnabled());
    QVERIFY(controls->label()->isVisible() && controls->label()->text().startsWith(QStringLiteral("● Recording race.lrec")));
    ClientV2Controller* client = window.dataProvider()->controller();
    client->receiveBytes("JSON:1::{\"weather\":{\"currentData\":{\"humidity\":50}}}\n");
    controls->stopRecording();
    QVERIFY(!record->isChecked() && open->isEnabled() && !controls->label()->isVisible());
    client->getCurrentData()->clearData();

    QVERIFY(server.waitForClient());
    // Read: the client starts again just before the replay is handed over.
    connect(controls->player(), &RecordingPlayer::loadProgress, this, [client](int percent) {
        if (percent == 100) {
            client->setActive(false);
            client->setActive(true);
        }
    });
    QVERIFY2(controls->openRecording(path, &error), qPrintable(error));
    QTRY_VERIFY(controls->bar()->isVisible());
    QVERIFY(!record->isEnabled() && !client->isActive());
    QTest::qWait(500);
    QCOMPARE(client->getCurrentData()->getInt(QStringLiteral("weather.currentData.humidity")), 50);
    // No live data into a replay: the connection data cannot be changed meanwhile.
    QVERIFY(!edit->isEnabled());
    edit->trigger();
    QVERIFY(!client->isActive() && !QApplication::activeModalWidget());
    controls->bar()->findChild<QToolButton*>(QStringLiteral("replayLeave"))->click();
    QVERIFY(!controls->bar()->isVisible() && record->isEnabled() && client->isActive() && edit->isEnabled());
    QVERIFY(!client->getCurrentData()->getV2_Data(QStringLiteral("weather")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
