#include "MainWindow.h"

#include "AlertPresenter.h"
#include "AlertsMenu.h"
#include "AppSettings.h"
#include "BroadcastDelay.h"
#include "BuiltInLayouts.h"
#include "CertificateTrust.h"
#include "ConnectionWatch.h"
#include "ClientV2Controller.h"
#include "DialogLoadLayout.h"
#include "DialogSaveLayout.h"
#include "DialogScaleFactor.h"
#include "DialogUser.h"
#include "DisplayMenu.h"
#include "ProgramResources.h"
#include "DriveTimeMenu.h"
#include "KeyboardShortcuts.h"
#include "TeamFollowMenu.h"
#include "RecordingControls.h"
#include "StartUp.h"
#include "ToolWindow.h"
#include "ViewMenu.h"
#include "V2DataProvider.h"
#include "V2_Data.h"
#include "WidgetFollow.h"
#include "PositioningGraphicsViewPromote.h"
#include "WidgetPositioning.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGLFormat>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmapCache>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QSystemTrayIcon>

#include <algorithm>

using namespace PanelRegistry;

namespace {

// Settings keys of the main window. The connection's and the first
// layout's are StartUp's, which --connect and --layout write too.
using StartUp::kHostKey;
using StartUp::kLastLayoutKey;
using StartUp::kPasswordKey;
using StartUp::kPortKey;
using StartUp::kUserKey;
const QString kShowBorder = QStringLiteral("showBorder");
const QString kImperialUnits = QStringLiteral("useImperialUnits");
const QString kUseOpenGL = QStringLiteral("use_opengl");
const QString kScaleFactor = QStringLiteral("appScaleFactor");
const QString& kLayouts = LayoutDialog::kLayoutsGroup; // a reference: no order of initialisation to depend on
const QString kMainWindowGroup = QStringLiteral("mainwindow");

} // namespace

MainWindow::MainWindow(const Factories& factories, QWidget* parent)
    : QMainWindow(parent)
    , m_factories(factories)
{
    ProgramResources::init();
    const auto settings = AppSettings::open();

    buildForm();
    setMinimumSize(250, 50);
    resize(250, 50);
    move(0, 0);
    QPixmapCache::setCacheLimit(102400);

    m_showBorder = settings->value(kShowBorder, true).toBool();
    action(QStringLiteral("actionShow_tool_window_frame"))->setChecked(m_showBorder);

    setFont(ToolWindow::panelFont());
    setWindowTitle(QStringLiteral("%1 v%2").arg(QStringLiteral("Lanterra"), QCoreApplication::applicationVersion()));

    m_provider = new V2DataProvider(QStringLiteral("Lanterra"), QCoreApplication::applicationVersion(), QStringLiteral("PEX JSON PROTOCOL"),
                                    QStringLiteral("1.0.0"), settings->value(kPortKey, 11001).toInt(), settings->value(kPasswordKey).toString(),
                                    settings->value(kUserKey).toString(), settings->value(kHostKey, QStringLiteral("localhost")).toString());
    m_provider->setParent(this);
    connect(m_provider, &V2DataProvider::onConnected, this, &MainWindow::lanterraLoginConnected);
    connect(m_provider, &V2DataProvider::onDisconnected, this, &MainWindow::lanterraLoginDisconnected);
    connect(m_provider, &V2DataProvider::onLoginDone, this, &MainWindow::lanterraLoginOk);
    connect(m_provider, &V2DataProvider::sessionInfo, this, &MainWindow::refreshBikeLayout);
    connect(m_provider, &V2DataProvider::disableTyresData, this, &MainWindow::onDisableTyresData);
    connect(m_provider->controller(), &ClientV2Controller::enableTyresData, this, &MainWindow::onEnableTyresData);
    m_trust = new CertificateTrust(m_provider->controller(), this);
    // Asked once the socket's signal has returned: the refused attempt is over
    // by then, and "Yes" can connect at once.
    connect(m_trust, &CertificateTrust::certificateChanged, this, &MainWindow::onCertificateChanged, Qt::QueuedConnection);
    m_watch = new ConnectionWatch(m_provider->controller(), this);
    connect(m_watch, &ConnectionWatch::staleChanged, this, &MainWindow::onStaleChanged);
    connect(m_watch, &ConnectionWatch::staleTextChanged, this, [this](const QString& text) {
        // A refused certificate is the news that matters then.
        if (!m_certificateRefused)
            m_statusLabel->setText(text);
    });

    m_alertsMenu = new AlertsMenu(menuBar(), findChild<QMenu*>(QStringLiteral("menuHelp")), m_provider, this);

    m_imperialUnits = settings->value(kImperialUnits, false).toBool();
    m_provider->setUsaUnits(m_imperialUnits);
    action(QStringLiteral("actionUse_USA_units"))->setChecked(m_imperialUnits);
    m_useOpenGL = settings->value(kUseOpenGL, true).toBool();
    action(QStringLiteral("actionUse_OpenGL"))->setChecked(m_useOpenGL);
    m_bikeLayout = m_provider->isChampBikes();

    const QString last = settings->value(kLastLayoutKey).toString();
    m_currentLayoutName = BuiltInLayouts::install(*settings, screen()->availableGeometry(), last);
    if (!last.isEmpty() && m_currentLayoutName != last) // the user's own moved to "(mine)"
        settings->setValue(kLastLayoutKey, m_currentLayoutName);
    applyLayout(m_currentLayoutName);

    m_statusLabel = new QLabel(tr("Not connected"), this);
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    m_statusLabel->setFont(ToolWindow::panelFont());
    menuBar()->setFont(ToolWindow::panelFont());
    statusBar()->setFont(ToolWindow::panelFont());
    statusBar()->addPermanentWidget(m_statusLabel);
    statusBar()->setSizeGripEnabled(false);

    DriveTimeMenu::install(menuBar(), this, m_provider);
    TeamFollowMenu::install(findChild<QMenu*>(QStringLiteral("menuFile")), statusBar(), m_provider);
    new ViewMenu(menuBar(), statusBar(), m_provider->controller()->delay(), this);
    m_recording = new RecordingControls(m_provider, this, action(QStringLiteral("actionRecord_session")), action(QStringLiteral("actionOpen_recording")));
    connect(m_recording, &RecordingControls::replayingChanged, this, [this](bool replaying) {
        // Live data must not flow into a replay; what it shows is not the connection's.
        action(QStringLiteral("actionEdit_credentials"))->setEnabled(!replaying);
        if (replaying) {
            m_watch->forget();
            lanterraLoginDisconnected();
        }
    });

    m_trayIcon = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/mainIcon")), this);
    m_trayIcon->setToolTip(QStringLiteral("Lanterra"));
    auto* trayMenu = new QMenu(this);
    QAction* bringAll = trayMenu->addAction(QIcon(QStringLiteral(":/icons/resources/integrations.png")), tr("Bring all to Primary Desktop"));
    connect(bringAll, &QAction::triggered, this, &MainWindow::on_actionBring_all_to_primary_desktop_triggered);
    m_trayIcon->setContextMenu(trayMenu);
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_trayIcon->show();
    m_alertPresenter = new AlertPresenter(m_provider->teamAlerts(), statusBar(), m_alertsMenu->menu(), m_trayIcon, this);
    new KeyboardShortcuts(this); // last: it binds the keys of every action made above
}

MainWindow::~MainWindow()
{
    // Panels are top-level windows of their own; they go with the window.
    for (ToolWindow*& panel : m_panels) {
        delete panel;
        panel = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Form

QAction* MainWindow::addAction(QMenu* menu, const char* objectName, const QString& text, bool checkable)
{
    QAction* created = menu->addAction(text);
    created->setObjectName(QLatin1String(objectName));
    created->setCheckable(checkable);
    return created;
}

void MainWindow::buildForm()
{
    QMenu* file = menuBar()->addMenu(tr("File"));
    file->setObjectName(QStringLiteral("menuFile"));
    connect(addAction(file, "actionEdit_credentials", tr("Set connection data..."), false), &QAction::triggered, this,
            &MainWindow::on_actionEdit_credentials_triggered);
    addAction(file, "actionRecord_session", tr("Record session..."), true);
    addAction(file, "actionOpen_recording", tr("Open recording..."), false);
    file->addSeparator();
    connect(addAction(file, "actionUse_OpenGL", tr("Use OpenGL"), true), &QAction::triggered, this, &MainWindow::on_actionUse_OpenGL_triggered);
    file->addSeparator();
    connect(addAction(file, "actionUse_USA_units", tr("Use Imperial units"), true), &QAction::triggered, this,
            &MainWindow::on_actionUse_USA_units_triggered);
    file->addSeparator();
    connect(addAction(file, "actionExit", tr("Exit"), false), &QAction::triggered, this, &MainWindow::on_actionExit_triggered);

    // The panels in the order of their menu texts; panels not built yet are left out.
    QMenu* window = menuBar()->addMenu(tr("Window"));
    window->setObjectName(QStringLiteral("menuWindow"));
    std::array<int, RowCount> byText{};
    for (int row = 0; row < RowCount; ++row)
        byText[row] = row;
    std::sort(byText.begin(), byText.end(), [](int a, int b) { return qstrcmp(info(a).menuText, info(b).menuText) < 0; });
    for (int row : byText) {
        if (!m_factories[row])
            continue;
        QAction* panelAction = addAction(window, info(row).actionName, tr(info(row).menuText), true);
        if (qstrlen(info(row).toolTip) > 0)
            panelAction->setToolTip(tr(info(row).toolTip));
        connect(panelAction, &QAction::triggered, this, [this, row](bool checked) { setPanelOpen(row, checked); });
        m_panelActions[row] = panelAction;
    }
    window->addSeparator();
    connect(addAction(window, "actionBring_all_to_primary_desktop", tr("Bring all to primary desktop"), false), &QAction::triggered, this,
            &MainWindow::on_actionBring_all_to_primary_desktop_triggered);

    QMenu* layout = menuBar()->addMenu(tr("Layout"));
    layout->setObjectName(QStringLiteral("menuLayout"));
    connect(addAction(layout, "actionLayoutSet", tr("Set..."), false), &QAction::triggered, this, &MainWindow::on_actionLayoutSet_triggered);
    connect(addAction(layout, "actionLayoutSave", tr("Save..."), false), &QAction::triggered, this, &MainWindow::on_actionLayoutSave_triggered);
    layout->addSeparator();
    // Skins, timing colours and text size.
    m_display = new DisplayMenu(layout, this);
    connect(m_display, &DisplayMenu::skinChanged, this, &MainWindow::updateSkin);
    layout->addSeparator();
    connect(addAction(layout, "actionSet_application_scale", tr("Set application scale..."), false), &QAction::triggered, this,
            &MainWindow::on_actionSet_application_scale_triggered);
    connect(addAction(layout, "actionSort_Messages_Flags", tr("Sort Messages/Flags"), true), &QAction::toggled, this,
            &MainWindow::on_actionSort_Messages_Flags_toggled);
    QAction* frame = addAction(layout, "actionShow_tool_window_frame", tr("Show ToolWindow frame"), true);
    frame->setChecked(true);
    frame->setToolTip(tr("This will show a grey frame arouund tool windows to be able to discern them."));
    connect(frame, &QAction::toggled, this, &MainWindow::on_actionShow_tool_window_frame_toggled);

    QMenu* help = menuBar()->addMenu(tr("Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    connect(addAction(help, "actionAbout", tr("About..."), false), &QAction::triggered, this, [this] {
        QMessageBox::about(this, tr("About Lanterra"),
                           tr("<b>Lanterra</b> v%1<br>Live timing for race teams.").arg(QCoreApplication::applicationVersion()));
    });
}

// ---------------------------------------------------------------------------
// Accessors

V2DataProvider* MainWindow::dataProvider() const
{
    return m_provider;
}

ToolWindow* MainWindow::panel(int row) const
{
    return row >= 0 && row < RowCount ? m_panels[row] : nullptr;
}

QAction* MainWindow::panelAction(int row) const
{
    return row >= 0 && row < RowCount ? m_panelActions[row] : nullptr;
}

QAction* MainWindow::action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

QString MainWindow::currentLayoutName() const
{
    return m_currentLayoutName;
}

AlertsMenu* MainWindow::alertsMenu() const
{
    return m_alertsMenu;
}

RecordingControls* MainWindow::recordingControls() const
{
    return m_recording;
}

QLabel* MainWindow::statusLabel() const
{
    return m_statusLabel;
}

QSystemTrayIcon* MainWindow::trayIcon() const
{
    return m_trayIcon;
}

AlertPresenter* MainWindow::alertPresenter() const
{
    return m_alertPresenter;
}

DisplayMenu* MainWindow::displayMenu() const
{
    return m_display;
}

// ---------------------------------------------------------------------------
// Panels

QString MainWindow::panelTitle(int row) const
{
    if (row == Follow && m_bikeLayout)
        return tr("Bike follow");
    return QCoreApplication::translate("MainWindow", info(row).title);
}

void MainWindow::setPanelOpen(int row, bool open)
{
    ToolWindow*& existing = m_panels[row];
    if (!open) {
        if (!existing)
            return;
        if (row == Follow) {
            // The follow panel keeps its blocks for the whole run.
            existing->setVisible(false);
            return;
        }
        ToolWindow* closing = existing;
        existing = nullptr;
        closing->close();
        return;
    }
    if (!existing) {
        if (!m_factories[row])
            return;
        existing = m_factories[row](m_provider, this);
        existing->setWindowTitle(panelTitle(row));
        existing->setTitleBarText(panelTitle(row));
        if (row != Follow) {
            existing->setAttribute(Qt::WA_DeleteOnClose);
            ToolWindow* created = existing;
            connect(created, &QObject::destroyed, this, [this, row, created] {
                if (m_panels[row] == created)
                    m_panels[row] = nullptr;
            });
        }
        if (QAction* panelAction = m_panelActions[row])
            connect(existing, &ToolWindow::state, panelAction, &QAction::setChecked);
        existing->setStale(m_watch && m_watch->isStale());
        if (row == Positioning)
            decideOpenGL(existing);
        connect(this, &MainWindow::updateSkin, existing, &ToolWindow::updateSkin);
        // A new panel starts with the options in force.
        for (int option : {UsaUnits, BikeLayout, NewestFirst, OpenGL}) {
            if (info(row).options & option)
                applyOption(existing, option);
        }
        // Only a new panel takes its place from the layout; the follow panel,
        // hidden and shown again, stays where the user left it.
        loadPanelGeometry(existing);
    }
    existing->show();
    existing->setShowBorder(m_showBorder);
    if (auto* positioning = qobject_cast<WidgetPositioning*>(existing))
        positioning->setClasses();
}

void MainWindow::decideOpenGL(ToolWindow* panel)
{
    auto* positioning = qobject_cast<WidgetPositioning*>(panel);
    QAction* glAction = action(QStringLiteral("actionUse_OpenGL"));
    if (!positioning || !glAction)
        return;
    positioning->setUseOpenGL(true);
    if (positioning->view()->isOpenGLValid()) {
        const bool es2 = QGLFormat::hasOpenGL() && (QGLFormat::openGLVersionFlags() & QGLFormat::OpenGL_ES_Version_2_0);
        glAction->setEnabled(es2);
        m_useOpenGL = es2 && AppSettings::open()->value(kUseOpenGL, true).toBool();
        qInfo("Track map: OpenGL works here%s; drawing %s", es2 ? "" : ", but without OpenGL ES 2.0", m_useOpenGL ? "with OpenGL" : "without OpenGL");
    } else {
        qInfo("Track map: no OpenGL here; drawing without it");
        // No working context here (a virtual display, a remote session):
        // the plain viewport, and the option off for good.
        glAction->setEnabled(false);
        m_useOpenGL = false;
        AppSettings::open()->setValue(kUseOpenGL, false);
    }
    glAction->setChecked(m_useOpenGL);
}

void MainWindow::loadPanelGeometry(ToolWindow* panel)
{
    const auto settings = AppSettings::open();
    settings->beginGroup(kLayouts);
    settings->beginGroup(m_currentLayoutName);
    panel->loadWidgetGeometry(*settings);
    settings->endGroup();
    settings->endGroup();
}

void MainWindow::applyOption(ToolWindow* panel, int option) const
{
    switch (option) {
    case UsaUnits:
        panel->setUsaUnits(m_imperialUnits);
        break;
    case BikeLayout:
        panel->setBikeLayout(m_bikeLayout);
        break;
    case NewestFirst:
        panel->setNewestFirst(m_newestFirst);
        break;
    case OpenGL:
        panel->setUseOpenGL(m_useOpenGL);
        break;
    }
}

void MainWindow::passOption(int option)
{
    for (int row = 0; row < RowCount; ++row) {
        if (m_panels[row] && (info(row).options & option))
            applyOption(m_panels[row], option);
    }
}

void MainWindow::onEnableTyresData()
{
    if (QAction* tyres = m_panelActions[Tyres])
        tyres->setEnabled(true);
}

void MainWindow::onDisableTyresData()
{
    if (QAction* tyres = m_panelActions[Tyres]) {
        tyres->setEnabled(false);
        tyres->setChecked(false);
    }
    setPanelOpen(Tyres, false);
}

// ---------------------------------------------------------------------------
// Connection state

void MainWindow::lanterraLoginConnected()
{
    m_connected = true;
    m_statusLabel->setText(tr("Connected to %1").arg(m_provider->host()));
}

void MainWindow::lanterraLoginDisconnected()
{
    m_connected = false;
    if (m_certificateRefused)
        m_statusLabel->setText(tr("Certificate changed — not connected"));
    else if (m_watch->isStale())
        m_statusLabel->setText(m_watch->staleText());
    else
        m_statusLabel->setText(tr("Not connected"));
}

void MainWindow::onStaleChanged(bool stale)
{
    for (ToolWindow* panel : m_panels) {
        if (panel)
            panel->setStale(stale);
    }
    // Under a broadcast delay the picture turns live long after the
    // reconnect was said: the stale text must not stay.
    if (!stale && !m_certificateRefused) {
        if (m_connected)
            lanterraLoginConnected();
        else
            lanterraLoginDisconnected();
    }
}

void MainWindow::onCertificateChanged(QString host, int port, QString trustedAs, QByteArray oldFingerprint, QString oldSubject,
                                      QByteArray newFingerprint, QString newSubject)
{
    // No more attempts until the user decides.
    m_provider->setActive(false);
    m_certificateRefused = true;
    m_statusLabel->setText(tr("Certificate changed — not connected"));
    // The server of the refused attempt, which may no longer be the one named.
    const QString server = QStringLiteral("%1:%2").arg(host, QString::number(port));
    const QString trustedServer = QStringLiteral("%1:%2").arg(trustedAs, QString::number(port));
    const QString question = trustedAs.isEmpty()
                                 ? tr("The timing server %1 presents another certificate than the one trusted before. Someone may be "
                                      "between you and the server. Trust the new certificate?")
                                       .arg(server)
                                 : tr("The timing server %1 answers at the address of %2 but presents another certificate than the one "
                                      "trusted for %2. Someone may be between you and the server. Trust the new certificate for %1?")
                                       .arg(server, trustedServer);
    QMessageBox box(QMessageBox::Warning, tr("Certificate changed"), question, QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("certificateChangedBox"));
    box.setDefaultButton(QMessageBox::No);
    box.setDetailedText(tr("Trusted before for %1:\n  %2\n  %3\n\nPresented now by %4:\n  %5\n  %6")
                            .arg(trustedAs.isEmpty() ? server : trustedServer, QString::fromLatin1(oldFingerprint), oldSubject, server,
                                 QString::fromLatin1(newFingerprint), newSubject));
    if (box.exec() != QMessageBox::Yes)
        return;
    m_trust->trustRefused();
    m_certificateRefused = false;
    // A replay may have begun while the box was open: live data must not
    // flow into it; the connection resumes when the replay is left.
    if (m_recording->isReplaying())
        m_recording->setLiveAfterReplay(true);
    else
        m_provider->setActive(true);
}

void MainWindow::lanterraLoginOk()
{
    statusBar()->showMessage(tr("Logged in"), 2000);
}

void MainWindow::on_actionEdit_credentials_triggered()
{
    if (m_recording->isReplaying())
        return;
    DialogUser dialog(this);
    dialog.setHost(m_provider->host());
    dialog.setPort(m_provider->port());
    dialog.setUsername(m_provider->username());
    dialog.setPassword(m_provider->password());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const bool otherServer = CertificateTrust::normalisedHost(dialog.host()) != CertificateTrust::normalisedHost(m_provider->host())
                             || dialog.port() != m_provider->port();
    const auto settings = AppSettings::open();
    settings->setValue(kHostKey, dialog.host());
    settings->setValue(kPortKey, dialog.port());
    settings->setValue(kUserKey, dialog.username());
    settings->setValue(kPasswordKey, dialog.password());
    m_provider->setActive(false);
    m_provider->setHost(dialog.host());
    m_provider->setPort(dialog.port());
    m_provider->setUsername(dialog.username());
    m_provider->setPassword(dialog.password());
    // The certificate expected is that of the server now named (none after "Forget").
    m_trust->prepare();
    m_certificateRefused = false;
    // A replay may have begun while the dialog was open (the recording was
    // being read): the new server is for when the replay is left.
    if (m_recording->isReplaying()) {
        m_recording->setLiveAfterReplay(true);
        return;
    }
    // Another server's data are no last data of this one: they do not stay
    // on screen as stale while the new server is reached.
    if (otherServer) {
        m_provider->controller()->delay()->drop();
        m_provider->controller()->replaceTree(new V2_Data(QStringLiteral("ROOT")));
        m_watch->forget();
    }
    m_provider->setActive(true);
}

void MainWindow::on_actionExit_triggered()
{
    close();
}

// ---------------------------------------------------------------------------
// Display options

void MainWindow::on_actionUse_USA_units_triggered(bool checked)
{
    m_imperialUnits = checked;
    m_provider->setUsaUnits(checked);
    passOption(UsaUnits);
    AppSettings::open()->setValue(kImperialUnits, checked);
}

void MainWindow::on_actionShow_tool_window_frame_toggled(bool checked)
{
    AppSettings::open()->setValue(kShowBorder, checked);
    m_showBorder = checked;
    for (ToolWindow* open : m_panels) {
        if (open)
            open->setShowBorder(checked);
    }
}

void MainWindow::on_actionSort_Messages_Flags_toggled(bool checked)
{
    m_newestFirst = checked;
    passOption(NewestFirst);
}

void MainWindow::on_actionUse_OpenGL_triggered(bool checked)
{
    m_useOpenGL = checked;
    passOption(OpenGL);
    AppSettings::open()->setValue(kUseOpenGL, checked);
}

void MainWindow::on_actionSet_application_scale_triggered()
{
    const auto settings = AppSettings::open();
    DialogScaleFactor dialog(settings->value(kScaleFactor, 1).toDouble(), this);
    if (dialog.exec() == QDialog::Accepted)
        settings->setValue(kScaleFactor, dialog.value());
}

void MainWindow::on_actionBring_all_to_primary_desktop_triggered()
{
    for (int row = 0; row < RowCount; ++row) {
        if (m_panels[row] && m_panels[row]->isVisible())
            m_panels[row]->move(info(row).primaryPosition);
    }
    move(0, 0);
}

void MainWindow::refreshBikeLayout()
{
    m_bikeLayout = m_provider->isChampBikes();
    if (ToolWindow* follow = m_panels[Follow]) {
        follow->setWindowTitle(m_bikeLayout ? tr("Bike follow") : tr("Participant Follow"));
        follow->setTitleBarText(follow->windowTitle());
    }
    passOption(BikeLayout);
}

// ---------------------------------------------------------------------------
// Named layouts

void MainWindow::saveWidgetGeometry(QSettings& settings)
{
    BuiltInLayouts::writeGeometry(settings, kMainWindowGroup, QRect(pos(), size()), true);
}

void MainWindow::loadWidgetGeometry(QSettings& settings)
{
    settings.beginGroup(kMainWindowGroup);
    move(settings.value(QStringLiteral("x"), 100).toInt(), settings.value(QStringLiteral("y"), 100).toInt());
    resize(settings.value(QStringLiteral("w"), 200).toInt(), settings.value(QStringLiteral("h"), 200).toInt());
    settings.endGroup();
}

void MainWindow::applyLayout(const QString& name)
{
    m_display->loadTextScale(name);
    const auto settings = AppSettings::open();
    settings->beginGroup(kLayouts);
    settings->beginGroup(name);
    loadWidgetGeometry(*settings);
    QVector<int> shown;
    for (int row = 0; row < RowCount; ++row) {
        if (settings->value(QLatin1String(info(row).group) + QStringLiteral("/show"), true).toBool())
            shown.append(row);
    }
    settings->endGroup();
    settings->endGroup();
    // Opening panels only: a layout that hides a panel leaves an open one alone.
    for (int row : qAsConst(shown)) {
        setPanelOpen(row, true);
        if (row == Follow && m_panels[row])
            m_panels[row]->setVisible(true);
    }
}

void MainWindow::saveLayout(const QString& name)
{
    const auto settings = AppSettings::open();
    settings->beginGroup(kLayouts);
    settings->beginGroup(name);
    saveWidgetGeometry(*settings);
    m_display->saveTextScale(*settings);
    for (int row = 0; row < RowCount; ++row) {
        if (m_panels[row])
            m_panels[row]->saveWidgetGeometry(*settings);
        else
            settings->setValue(QLatin1String(info(row).group) + QStringLiteral("/show"), false);
    }
    settings->endGroup();
    settings->endGroup();
}

void MainWindow::setLayout(const QString& name)
{
    m_currentLayoutName = name;
    AppSettings::open()->setValue(kLastLayoutKey, name);
    m_display->loadTextScale(name);
    for (ToolWindow* open : m_panels) {
        if (open)
            loadPanelGeometry(open);
    }
    // A built-in arrangement is chosen for its panels: they open.
    if (BuiltInLayouts::isBuiltIn(name))
        applyLayout(name);
}

void MainWindow::on_actionLayoutSet_triggered()
{
    DialogLoadLayout dialog(this);
    dialog.preselect(m_currentLayoutName);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedName().isEmpty())
        setLayout(dialog.selectedName());
}

void MainWindow::on_actionLayoutSave_triggered()
{
    DialogSaveLayout dialog(this);
    dialog.preselect(m_currentLayoutName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedName().isEmpty())
        return;
    if (QMessageBox::question(this, tr("Save layout"), tr("Are you sure to save current layout?"), QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No)
        != QMessageBox::Yes)
        return;
    m_currentLayoutName = dialog.selectedName();
    saveLayout(m_currentLayoutName);
    AppSettings::open()->setValue(kLastLayoutKey, m_currentLayoutName);
}

// ---------------------------------------------------------------------------
// Closing

void MainWindow::saveFollowedCars()
{
    WidgetFollow::save(*m_provider, m_panels[Follow]->followSlots());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    {
        const auto settings = AppSettings::open();
        settings->setValue(AppSettings::kSkinKey, m_display->skin());
        settings->setValue(kShowBorder, action(QStringLiteral("actionShow_tool_window_frame"))->isChecked());
    }
    if (m_panels[Follow])
        saveFollowedCars();
    event->accept();
    QCoreApplication::quit();
}
