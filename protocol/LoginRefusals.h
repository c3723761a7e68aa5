#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

#include <atomic>

// Refused logins per key (a peer address and a login name), shared by the
// connections' threads. A key's first few refusals are answered at once;
// after that each refusal is answered later than the one before (the
// connection reads nothing meanwhile), so that a guesser waits for its
// answers. A password is checked at once: a right one is never held.
// Thread-safe.
class LoginRefusals final
{
public:
    LoginRefusals();
    LoginRefusals(const LoginRefusals&) = delete;
    LoginRefusals& operator=(const LoginRefusals&) = delete;

    // The wait after the first refusal beyond the free ones; it doubles
    // with each further refusal up to eight times this.
    void setFirstDelay(qint64 ms);
    qint64 firstDelay() const;
    qint64 longestDelay() const;

    // Records a refused login; returns the key's recent refusals.
    int refused(const QString& key);
    // The wait once a key has this many refusals.
    qint64 delayAfter(int refusals, int freeAttempts) const;

private:
    struct Record {
        int refusals = 0;
        qint64 lastRefusalMs = 0;
    };

    QMutex m_mutex;
    QElapsedTimer m_clock;
    QHash<QString, Record> m_records;
    std::atomic<qint64> m_firstDelayMs;
};
