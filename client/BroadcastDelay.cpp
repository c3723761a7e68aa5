#include "BroadcastDelay.h"

#include <algorithm>

#include "SessionClock.h"

BroadcastDelay::BroadcastDelay(Deliver deliver, QObject* parent)
    : QObject(parent)
    , m_deliver(std::move(deliver))
    , m_clock([this] { return m_monotonic.elapsed(); })
{
    m_monotonic.start();
    m_timer.setSingleShot(true);
    // A coarse timer may fire seconds late at 300 s, while the session clock moves on.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &BroadcastDelay::deliverDue);
}

BroadcastDelay::~BroadcastDelay()
{
    if (effectiveDelayMs() > 0)
        SessionClock::setDelay(0);
}

bool BroadcastDelay::parseSeconds(const QString& text, int* seconds, QString* error)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok) {
        *error = tr("--delay takes whole seconds from 0 to %1, not \"%2\".").arg(MaxSeconds).arg(text);
        return false;
    }
    if (value < 0 || value > MaxSeconds) {
        *error = tr("--delay takes whole seconds from 0 to %1; %2 is out of range.").arg(MaxSeconds).arg(value);
        return false;
    }
    *seconds = value;
    return true;
}

int BroadcastDelay::seconds() const
{
    return m_seconds;
}

void BroadcastDelay::setSeconds(int seconds)
{
    seconds = qBound(0, seconds, MaxSeconds);
    if (seconds == m_seconds)
        return;
    m_seconds = seconds;
    applyToSessionClock();
    // Lowered: what is now due goes at once; raised: the timer waits longer.
    deliverDue();
    emit secondsChanged(m_seconds);
}

void BroadcastDelay::setLive(bool live)
{
    if (live == m_live)
        return;
    m_live = live;
    applyToSessionClock();
    deliverDue();
}

void BroadcastDelay::drop()
{
    m_held.clear();
    m_heldBytes = 0;
    m_timer.stop();
}

bool BroadcastDelay::holding() const
{
    return effectiveDelayMs() > 0 || !m_held.empty();
}

void BroadcastDelay::hold(const QByteArray& line, bool first, bool team)
{
    // Its own exact copy: the read buffer it shares may be far larger.
    QByteArray copy(line.constData(), line.size());
    m_heldBytes += copy.size();
    m_held.push_back({m_clock(), std::move(copy), first, team, {}});
    if (m_held.size() == 1 || m_heldBytes > MaxHeldBytes)
        deliverDue();
}

void BroadcastDelay::holdEvent(std::function<void()> event)
{
    m_held.push_back({m_clock(), QByteArray(), false, false, std::move(event)});
    if (m_held.size() == 1)
        deliverDue();
}

void BroadcastDelay::deliverDue()
{
    // A line handed over may lead to a change of the delay: the outer loop goes on.
    if (m_delivering)
        return;
    m_delivering = true;
    const qint64 delay = effectiveDelayMs();
    while (!m_held.empty()) {
        Held& front = m_held.front();
        if (front.arrivedMs + delay > m_clock() && m_heldBytes <= MaxHeldBytes)
            break;
        Held held = std::move(front);
        m_held.pop_front();
        m_heldBytes -= held.line.size();
        if (held.event) {
            held.event();
            continue;
        }
        m_deliver(held.line, held.first);
        emit lineShown();
    }
    // Team lines are held only to keep behind a connection's first line (and
    // to keep their own order): once no first line waits, they all go, so a
    // run of them is never chained a whole delay behind one another.
    // Searched afresh each time: a line handed over may change what is held.
    while (std::none_of(m_held.begin(), m_held.end(), [](const Held& held) { return held.first; })) {
        const auto team = std::find_if(m_held.begin(), m_held.end(), [](const Held& held) { return held.team; });
        if (team == m_held.end())
            break;
        const QByteArray line = std::move(team->line);
        m_heldBytes -= line.size();
        m_held.erase(team);
        m_deliver(line, false);
    }
    m_delivering = false;
    schedule();
}

void BroadcastDelay::schedule()
{
    if (m_held.empty()) {
        m_timer.stop();
        return;
    }
    const qint64 wait = m_held.front().arrivedMs + effectiveDelayMs() - m_clock();
    m_timer.start(static_cast<int>(qBound<qint64>(0, wait, MaxSeconds * 1000LL)));
}

bool BroadcastDelay::mayPassTeamLine() const
{
    return std::none_of(m_held.begin(), m_held.end(), [](const Held& held) { return held.first || held.team; });
}

int BroadcastDelay::heldCount() const
{
    return static_cast<int>(std::count_if(m_held.begin(), m_held.end(), [](const Held& held) { return !held.event; }));
}

qint64 BroadcastDelay::heldBytes() const
{
    return m_heldBytes;
}

QList<QByteArray> BroadcastDelay::heldLines() const
{
    QList<QByteArray> lines;
    lines.reserve(static_cast<int>(m_held.size()));
    for (const Held& held : m_held) {
        if (!held.event)
            lines.append(held.line);
    }
    return lines;
}

void BroadcastDelay::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

qint64 BroadcastDelay::effectiveDelayMs() const
{
    return m_live ? m_seconds * 1000LL : 0;
}

void BroadcastDelay::applyToSessionClock() const
{
    SessionClock::setDelay(effectiveDelayMs());
}
