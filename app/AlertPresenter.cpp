#include "AlertPresenter.h"

#include "ProgramResources.h"
#include "TeamAlertEngine.h"

#include <QAction>
#include <QFont>
#include <QLabel>
#include <QMenu>
#include <QSoundEffect>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

const QString kSound = QStringLiteral("qrc:/sounds/alert.wav");
constexpr int kTrayMessageMs = 8000;

} // namespace

AlertPresenter::AlertPresenter(TeamAlertEngine* alerts, QStatusBar* statusBar, QMenu* menu, QSystemTrayIcon* tray, QObject* parent)
    : QObject(parent)
    , m_alerts(alerts)
    , m_count(new QLabel(statusBar))
    , m_acknowledgeAll(new QAction(tr("Acknowledge all"), menu))
    , m_notifier([tray](const QString& title, const QString& text, QSystemTrayIcon::MessageIcon icon) {
        if (tray && tray->isVisible())
            tray->showMessage(title, text, icon, kTrayMessageMs);
    })
    , m_soundPlayer([this] { playSound(); })
{
    m_count->setObjectName(QStringLiteral("alertCountLabel"));
    QFont bold = statusBar->font();
    bold.setBold(true);
    m_count->setFont(bold);
    statusBar->addPermanentWidget(m_count);
    m_acknowledgeAll->setObjectName(QStringLiteral("actionAcknowledge_all_alerts"));
    Q_ASSERT(menu);
    if (menu)
        menu->addAction(m_acknowledgeAll);
    connect(m_acknowledgeAll, &QAction::triggered, alerts, &TeamAlertEngine::acknowledgeAll);
    connect(alerts, &TeamAlertEngine::alertRaised, this, &AlertPresenter::present);
    connect(alerts, &TeamAlertEngine::acknowledgedChanged, this, &AlertPresenter::showCount);
    connect(alerts, &TeamAlertEngine::cleared, this, &AlertPresenter::showCount);
    showCount();
}

AlertPresenter::~AlertPresenter() = default;

QLabel* AlertPresenter::countLabel() const
{
    return m_count;
}

QAction* AlertPresenter::acknowledgeAllAction() const
{
    return m_acknowledgeAll;
}

QSoundEffect* AlertPresenter::soundEffect() const
{
    return m_sound;
}

void AlertPresenter::setNotifier(Notifier notifier)
{
    m_notifier = std::move(notifier);
}

void AlertPresenter::setSoundPlayer(SoundPlayer player)
{
    m_soundPlayer = std::move(player);
}

void AlertPresenter::present(int index)
{
    const TeamAlert alert = m_alerts->alerts().at(index);
    showCount();
    if (!alert.notify && !alert.sound)
        return;
    // One message and one sound for the alerts of one burst, once it has been read.
    if (!m_burstQueued) {
        m_burstQueued = true;
        QTimer::singleShot(0, this, &AlertPresenter::presentBurst);
    }
    if (alert.notify)
        m_toNotify.append(alert);
    m_soundAsked = m_soundAsked || alert.sound;
}

void AlertPresenter::showCount()
{
    const int count = m_alerts->unacknowledgedCount();
    m_count->setText(count == 1 ? tr("1 alert to acknowledge") : tr("%1 alerts to acknowledge").arg(count));
    m_count->setVisible(count > 0);
    m_acknowledgeAll->setEnabled(count > 0);
}

void AlertPresenter::presentBurst()
{
    m_burstQueued = false;
    if (m_soundAsked) {
        m_soundAsked = false;
        m_soundPlayer();
    }
    QVector<TeamAlert> alerts;
    alerts.swap(m_toNotify);
    if (alerts.isEmpty())
        return;
    std::stable_sort(alerts.begin(), alerts.end(), [](const TeamAlert& a, const TeamAlert& b) { return a.severity > b.severity; });
    const TeamAlert& first = alerts.first();
    const QSystemTrayIcon::MessageIcon icon = first.severity == AlertSeverity::Critical  ? QSystemTrayIcon::Critical
                                              : first.severity == AlertSeverity::Warning ? QSystemTrayIcon::Warning
                                                                                         : QSystemTrayIcon::Information;
    QString title;
    if (alerts.size() > 1)
        title = tr("Lanterra: %1 alerts").arg(alerts.size());
    else
        title = first.carNumber.isEmpty() ? tr("Lanterra alert") : tr("Lanterra alert: car %1").arg(first.carNumber);
    QStringList lines;
    for (const TeamAlert& alert : qAsConst(alerts))
        lines << alert.text;
    m_notifier(title, lines.join(QLatin1Char('\n')), icon);
}

void AlertPresenter::playSound()
{
    if (!m_sound) {
        ProgramResources::init();
        m_sound = new QSoundEffect(this);
        m_sound->setSource(QUrl(kSound));
        m_sound->setVolume(0.8);
    }
    // A sound that failed to load is not played; without an audio output
    // the effect stays silent.
    if (m_sound->status() != QSoundEffect::Error)
        m_sound->play();
}
