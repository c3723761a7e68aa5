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

int LoginRefusals::refusals(const QString& key)
{
    QMutexLocker locker(&m_mutex);
    const auto it = m_records.constFind(key);
    if (it == m_records.constEnd() || m_clock.elapsed() - it->lastRefusalMs > kForgetMs)
        return 0;
    return it->refusals;
}

int LoginRefusals::refused(const QString& key)
{
    QMutexLocker locker(&m_mutex);
    const qint64 now = m_clock.elapsed();
    auto it = m_records.find(key);
    if (it != m_records.end() && now - it->lastRefusalMs > kForgetMs) {
        m_records.erase(it);
        it = m_records.end();
    }
    if (it == m_records.end()) {
        if (m_records.size() >= kMaxRecords) {
            for (auto old = m_records.begin(); old != m_records.end();)
                old = now - old->lastRefusalMs > kForgetMs ? m_records.erase(old) : std::next(old);
            // Still full: the oldest news goes, rather than memory without end.
            if (m_records.size() >= kMaxRecords)
                m_records.clear();
        }
        it = m_records.insert(key, Record());
    }
    ++it->refusals;
    it->lastRefusalMs = now;
    return it->refusals;
}

bool LoginRefusals::tryHoldAnswer(const QString& address, int total, int perAddress)
{
    QMutexLocker locker(&m_mutex);
    int& fromAddress = m_heldPerAddress[address];
    if (m_heldAnswers >= total || fromAddress >= perAddress) {
        if (fromAddress == 0)
            m_heldPerAddress.remove(address);
        return false;
    }
    ++fromAddress;
    ++m_heldAnswers;
    return true;
}

void LoginRefusals::answerReleased(const QString& address)
{
    QMutexLocker locker(&m_mutex);
    const auto it = m_heldPerAddress.find(address);
    if (it == m_heldPerAddress.end())
        return;
    --m_heldAnswers;
    if (--it.value() <= 0)
        m_heldPerAddress.erase(it);
}
