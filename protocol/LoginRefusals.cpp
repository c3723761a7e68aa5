#include "LoginRefusals.h"

#include <algorithm>

namespace {

// A key is forgiven this long after its last refused login.
constexpr qint64 kForgetMs = 10 * 60 * 1000;
constexpr qint64 kDefaultFirstDelayMs = 1000;
// The longest delay is the first one doubled this many times.
constexpr int kDoublings = 3;
// Keys remembered at most; expired ones go first.
constexpr int kMaxRecords = 10000;

} // namespace

LoginRefusals::LoginRefusals()
    : m_firstDelayMs(kDefaultFirstDelayMs)
{
    m_clock.start();
}

void LoginRefusals::setFirstDelay(qint64 ms)
{
    m_firstDelayMs = std::max<qint64>(0, ms);
}

qint64 LoginRefusals::firstDelay() const
{
    return m_firstDelayMs;
}

qint64 LoginRefusals::longestDelay() const
{
    return m_firstDelayMs << kDoublings;
}

qint64 LoginRefusals::delayAfter(int refusals, int freeAttempts) const
{
    if (freeAttempts <= 0 || refusals < freeAttempts)
        return 0;
    return m_firstDelayMs << std::min(refusals - freeAttempts, kDoublings);
}

LoginRefusals::Record* LoginRefusals::current(const QString& key, qint64 now)
{
    const auto it = m_records.find(key);
    if (it == m_records.end())
        return nullptr;
    if (now - it->lastRefusalMs > kForgetMs && it->waiting.isEmpty()) {
        m_records.erase(it);
        return nullptr;
    }
    return &it.value();
}

quint64 LoginRefusals::enqueue(const QString& key, int freeAttempts)
{
    QMutexLocker locker(&m_mutex);
    const qint64 now = m_clock.elapsed();
    Record* record = current(key, now);
    if (!record)
        return 0;
    const qint64 delay = delayAfter(record->refusals, freeAttempts);
    if (delay == 0 || (record->waiting.isEmpty() && now - record->lastTurnMs >= delay)) {
        record->lastTurnMs = now;
        return 0;
    }
    const quint64 ticket = m_nextTicket++;
    record->waiting.append({ticket, now});
    return ticket;
}

qint64 LoginRefusals::takeTurn(const QString& key, quint64 ticket, int freeAttempts)
{
    QMutexLocker locker(&m_mutex);
    const qint64 now = m_clock.elapsed();
    const auto it = m_records.find(key);
    // Forgotten meanwhile (the table was full): nothing holds it back.
    if (it == m_records.end())
        return 0;
    Record& record = it.value();
    const auto mine = std::find_if(record.waiting.begin(), record.waiting.end(), [ticket](const Waiting& w) { return w.ticket == ticket; });
    if (mine == record.waiting.end())
        return 0;
    // First come, first served, one per delay; but however many wait
    // ahead, an attempt is read after the longest delay at most.
    const qint64 waitedOut = mine->sinceMs + longestDelay() - now;
    const qint64 headTurn = mine == record.waiting.begin() ? record.lastTurnMs + delayAfter(record.refusals, freeAttempts) - now : waitedOut;
    const qint64 remaining = std::min(waitedOut, headTurn);
    if (remaining > 0)
        return remaining;
    record.waiting.erase(mine);
    record.lastTurnMs = now;
    return 0;
}

void LoginRefusals::cancel(const QString& key, quint64 ticket)
{
    QMutexLocker locker(&m_mutex);
    const auto it = m_records.find(key);
    if (it == m_records.end())
        return;
    auto& waiting = it->waiting;
    waiting.erase(std::remove_if(waiting.begin(), waiting.end(), [ticket](const Waiting& w) { return w.ticket == ticket; }), waiting.end());
}

int LoginRefusals::refused(const QString& key)
{
    QMutexLocker locker(&m_mutex);
    const qint64 now = m_clock.elapsed();
    Record* record = current(key, now);
    if (!record) {
        if (m_records.size() >= kMaxRecords) {
            for (auto it = m_records.begin(); it != m_records.end();)
                it = now - it->lastRefusalMs > kForgetMs && it->waiting.isEmpty() ? m_records.erase(it) : std::next(it);
            // Still full: the oldest news goes, rather than memory without end.
            if (m_records.size() >= kMaxRecords)
                m_records.clear();
        }
        record = &m_records[key];
    }
    ++record->refusals;
    record->lastRefusalMs = now;
    record->lastTurnMs = now;
    return record->refusals;
}
