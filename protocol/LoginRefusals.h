#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>

#include <atomic>

// Refused logins per key (a peer address and a login name), shared by the
// connections' threads. A key gets a few attempts for free; after that its
// attempts take turns, each waiting longer than the one before, so that
// guessing one account's password is slow however many connections the
// guesser opens. No attempt waits longer than the longest delay, so a
// right password is always read: the team may share the guesser's address.
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

    // A login attempt with this key: 0 when it may go at once, else a
    // ticket that waits for its turn through takeTurn, or gives it up with
    // cancel (a connection that ends while waiting).
    quint64 enqueue(const QString& key, int freeAttempts);
    // 0 when it is the ticket's turn (the ticket is then spent), else the
    // milliseconds after which to ask again.
    qint64 takeTurn(const QString& key, quint64 ticket, int freeAttempts);
    void cancel(const QString& key, quint64 ticket);
    // Records a refused login; returns the key's recent refusals.
    int refused(const QString& key);
    // The wait between attempts once a key has this many refusals.
    qint64 delayAfter(int refusals, int freeAttempts) const;

private:
    struct Waiting {
        quint64 ticket = 0;
        qint64 sinceMs = 0;
    };
    struct Record {
        int refusals = 0;
        qint64 lastRefusalMs = 0;
        // When the last attempt was let through or refused.
        qint64 lastTurnMs = 0;
        // Attempts waiting for their turn, in arrival order.
        QList<Waiting> waiting;
    };
    // The record of a key, or null if it has none or it has expired.
    Record* current(const QString& key, qint64 now);

    QMutex m_mutex;
    QElapsedTimer m_clock;
    QHash<QString, Record> m_records;
    quint64 m_nextTicket = 1;
    std::atomic<qint64> m_firstDelayMs;
};
