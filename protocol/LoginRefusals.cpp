#include "LoginRefusals.h"

#include <algorithm>

namespace {

// An address is forgiven this long after its last refused login.
constexpr qint64 kForgetMs = 10 * 60 * 1000;
constexpr qint64 kFirstDelayMs = 1000;
constexpr qint64 kLongestDelayMs = 8000;
// Beyond this, an attempt would outlast a login's time limit anyway.
constexpr qint64 kLongestWaitMs = 8000;
// Addresses remembered at most; expired ones go first.
constexpr int kMaxRecords = 10000;

} // namespace

LoginRefusals::LoginRefusals()
{
    m_clock.start();
}

qint64 LoginRefusals::delayAfter(int refusals, int freeAttempts)
{
    if (freeAttempts <= 0 || refusals < freeAttempts)
        return 0;
    return std::min(kFirstDelayMs << std::min(refusals - freeAttempts, 8), kLongestDelayMs);
}

LoginRefusals::Record* LoginRefusals::current(const QString& address, qint64 now)
{
    const auto it = m_records.find(address);
    if (it == m_records.end())
        return nullptr;
    if (now - it->lastRefusalMs > kForgetMs) {
        m_records.erase(it);
        return nullptr;
    }
    return &it.value();
}

qint64 LoginRefusals::reserveAttempt(const QString& address, int freeAttempts)
{
    QMutexLocker locker(&m_mutex);
    const qint64 now = m_clock.elapsed();
    Record* record = current(address, now);
    if (!record)
        return 0;
    const qint64 delay = delayAfter(record->refusals, freeAttempts);
    if (delay == 0)
        return 0;
    const qint64 turn = std::max(now, record->nextTurnMs);
    if (turn - now > kLongestWaitMs)
        return -1;
    record->nextTurnMs = turn + delay;
    return turn - now;
}

int LoginRefusals::refused(const QString& address, int freeAttempts)
{
    QMutexLocker locker(&m_mutex);
    const qint64 now = m_clock.elapsed();
    Record* record = current(address, now);
    if (!record) {
        if (m_records.size() >= kMaxRecords) {
            for (auto it = m_records.begin(); it != m_records.end();)
                it = now - it->lastRefusalMs > kForgetMs ? m_records.erase(it) : std::next(it);
            // Still full: the oldest news goes, rather than memory without end.
            if (m_records.size() >= kMaxRecords)
                m_records.clear();
        }
        record = &m_records[address];
    }
    ++record->refusals;
    record->lastRefusalMs = now;
    record->nextTurnMs = std::max(record->nextTurnMs, now + delayAfter(record->refusals, freeAttempts));
    return record->refusals;
}
