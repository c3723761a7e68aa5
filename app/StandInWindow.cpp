#include "StandInWindow.h"

#include "ClientV2Controller.h"
#include "ToolWindow.h"
#include "SessionClock.h"
#include "V2_Data.h"

#include <QCoreApplication>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// Connection data keys, as the main window will keep them.
const QString kHost = QStringLiteral("v2host");
const QString kPort = QStringLiteral("v2port");
const QString kUser = QStringLiteral("v2user");
const QString kPassword = QStringLiteral("v2password");

} // namespace

StandInWindow::StandInWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_status(new QLabel(tr("Not connected"), this))
    , m_session(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Lanterra"));
    setFont(ToolWindow::panelFont());
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_session);
    setCentralWidget(central);
    statusBar()->addPermanentWidget(m_status);

    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QCoreApplication::organizationName(), QCoreApplication::applicationName());
    const int port = settings.value(kPort, 11001).toInt();
    m_controller.reset(new ClientV2Controller(QStringLiteral("Lanterra"), QStringLiteral("2.3.19"), QStringLiteral("PEX JSON PROTOCOL"), QStringLiteral("1.0.0"),
                                              port, settings.value(kPassword).toString(), settings.value(kUser).toString(),
                                              settings.value(kHost, QStringLiteral("localhost")).toString()));
    connect(m_controller.get(), &V2_Client::onConnected, this, [this] { m_status->setText(tr("Connected to %1").arg(m_controller->host())); });
    connect(m_controller.get(), &V2_Client::onDisconnected, this, [this] { m_status->setText(tr("Not connected")); });
    connect(m_controller.get(), &V2_Client::onLoginDone, this, [this] { statusBar()->showMessage(tr("Logged in"), 2000); });
    connect(m_controller.get(), &ClientV2Controller::sessionInfo, this, &StandInWindow::showSession);
    connect(m_controller.get(), &ClientV2Controller::sessionStatus, this, &StandInWindow::showSession);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &StandInWindow::showSession);
    clock->start(500);
    m_controller->setActive(true);
}

StandInWindow::~StandInWindow() = default;

ClientV2Controller* StandInWindow::controller() const
{
    return m_controller.get();
}

void StandInWindow::showSession()
{
    const V2_Data* tree = m_controller->getCurrentData();
    m_session->setText(QStringLiteral("%1 — %2\nElapsed %3   Remaining %4   Flag %5")
                           .arg(tree->getString(QStringLiteral("timing.session.info.eventName")),
                                tree->getString(QStringLiteral("timing.session.info.name")),
                                SessionClock::elapsedText(),
                                SessionClock::remainingText(),
                                tree->getString(QStringLiteral("timing.session.status.currentFlag"), QStringLiteral("NONE"))));
}
