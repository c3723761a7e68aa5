#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

#include <atomic>

// Refused logins per key (a peer address and a login name), shared by the
// connections' threads. A key's first few refusals are answered at once;
// after that every answer for the key, a right password's included, is
// held as long as its next refusal would be (the connection reads nothing
// meanwhile): a guesser learns nothing from an answer that is late, and
// waits for each. Thread-safe.
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
    // The key's recent refusals, none recorded.
    int refusals(const QString& key);
    // The wait once a key has this many refusals.
    qint64 delayAfter(int refusals, int freeAttempts) const;

    // Answers being held, counted per peer address: takes one unless
    // `total` are held in all or `perAddress` for this address.
    bool tryHoldAnswer(const QString& address, int total, int perAddress);
    void answerReleased(const QString& address);

private:
    struct Record {
        int refusals = 0;
        qint64 lastRefusalMs = 0;
    };

    QMutex m_mutex;
    QElapsedTimer m_clock;
    QHash<QString, Record> m_records;
    int m_heldAnswers = 0;
    QHash<QString, int> m_heldPerAddress;
    std::atomic<qint64> m_firstDelayMs;
};
