#include "TeamAlertEngine.h"

#include "SessionClock.h"
#include "V2DataProvider.h"

TeamAlertEngine::TeamAlertEngine(V2DataProvider* provider, QObject* parent)
    : QObject(parent)
    , m_provider(provider)
{
}

TeamAlertEngine::~TeamAlertEngine() = default;

const QVector<TeamAlert>& TeamAlertEngine::alerts() const
{
    return m_alerts;
}

int TeamAlertEngine::unacknowledgedCount() const
{
    return m_unacknowledged;
}

bool TeamAlertEngine::raise(TeamAlert alert)
{
    if (m_raised.contains(alert.identity))
        return false;
    m_raised.insert(alert.identity);
    if (alert.trackTimeMs == 0)
        alert.trackTimeMs = SessionClock::trackTimeMs();
    if (!alert.acknowledged)
        ++m_unacknowledged;
    m_alerts.append(alert);
    emit alertRaised(m_alerts.size() - 1);
    return true;
}

void TeamAlertEngine::acknowledge(int index)
{
    if (index < 0 || index >= m_alerts.size() || m_alerts[index].acknowledged)
        return;
    m_alerts[index].acknowledged = true;
    --m_unacknowledged;
    emit acknowledgedChanged();
}

void TeamAlertEngine::acknowledgeAll()
{
    if (m_unacknowledged == 0)
        return;
    for (TeamAlert& alert : m_alerts)
        alert.acknowledged = true;
    m_unacknowledged = 0;
    emit acknowledgedChanged();
}

void TeamAlertEngine::clear()
{
    m_alerts.clear();
    m_raised.clear();
    m_unacknowledged = 0;
    emit cleared();
}
