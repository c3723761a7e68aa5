#include "ConnectionWatch.h"

#include "BroadcastDelay.h"
#include "ClientV2Controller.h"
#include "RelayNotice.h"
#include "SessionClock.h"
#include "V2_Client.h"

#include <QPointer>
#include <QTime>

ConnectionWatch::ConnectionWatch(V2_Client* client, QObject* parent)
    : QObject(parent)
{
    if (auto* controller = qobject_cast<ClientV2Controller*>(client)) {
        m_delay = controller->delay();
        connect(m_delay, &BroadcastDelay::lineShown, this, &ConnectionWatch::dataArrived);
    }
    // A line the delay holds counts when it is shown.
    connect(client, &V2_Client::dataReceived, this, [this] {
        if (!m_delay || !m_delay->holding())
            dataArrived();
    });
    connect(client, &V2_Client::onDisconnected, this, [this] { inPicture(&ConnectionWatch::connectionLost); });
    // A team relay stays connected when it loses its timing server and says so instead.
    connect(client, &V2_Client::errorReceived, this, [this, client](const QString& error) {
        // A replayed notice is the recording's past, not this connection's.
        if (!client->readingSocket())
            return;
        if (error.contains(relayUpstreamLostReason()))
            inPicture(&ConnectionWatch::relayLost);
        else if (error.contains(relayUpstreamBackReason()))
            inPicture(&ConnectionWatch::relayBack);
    });
    // A new login is a new server's word: its data counts again.
    connect(client, &V2_Client::onLoginDone, this, [this] { inPicture(&ConnectionWatch::loggedIn); });
    m_clock.setInterval(1000);
    connect(&m_clock, &QTimer::timeout, this, &ConnectionWatch::tick);
}

ConnectionWatch::~ConnectionWatch() = default;

bool ConnectionWatch::isStale() const
{
    return m_stale;
}

QString ConnectionWatch::staleText() const
{
    if (m_lastData < 0)
        return tr("Connection lost — no data yet");
    const qint64 ago = qMax<qint64>(0, SessionClock::nowMs() - m_lastData) / 1000;
    const QTime time = QTime(0, 0).addSecs(int(qMin<qint64>(ago, 86399)));
    return tr("Connection lost — last data %1 ago").arg(time.toString(ago >= 3600 ? QStringLiteral("h:mm:ss") : QStringLiteral("mm:ss")));
}

void ConnectionWatch::forget()
{
    m_lastData = -1;
    m_relayLost = false;
    if (!m_stale)
        return;
    m_stale = false;
    m_clock.stop();
    emit staleChanged(false);
}

void ConnectionWatch::dataArrived()
{
    m_lastData = SessionClock::nowMs();
    if (!m_stale || m_relayLost)
        return;
    // A fresh snapshot after reconnecting: live again.
    m_stale = false;
    m_clock.stop();
    emit staleChanged(false);
}

void ConnectionWatch::loggedIn()
{
    m_relayLost = false;
}

void ConnectionWatch::inPicture(void (ConnectionWatch::*event)())
{
    if (m_delay && m_delay->holding()) {
        m_delay->holdEvent([watch = QPointer<ConnectionWatch>(this), event] {
            if (watch)
                (watch.data()->*event)();
        });
        return;
    }
    (this->*event)();
}

void ConnectionWatch::connectionLost()
{
    // Nothing shown yet is nothing stale.
    if (m_stale || m_lastData < 0)
        return;
    becomeStale();
}

void ConnectionWatch::relayLost()
{
    m_relayLost = true;
    if (!m_stale)
        becomeStale();
}

void ConnectionWatch::becomeStale()
{
    m_stale = true;
    m_clock.start();
    emit staleChanged(true);
    emit staleTextChanged(staleText());
}

void ConnectionWatch::relayBack()
{
    if (!m_relayLost)
        return;
    m_relayLost = false;
    if (!m_stale)
        return;
    m_stale = false;
    m_clock.stop();
    emit staleChanged(false);
}

void ConnectionWatch::tick()
{
    emit staleTextChanged(staleText());
}
