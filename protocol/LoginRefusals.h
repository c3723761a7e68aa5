#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

// Refused logins per peer address, shared by the connections' threads. An
// address gets a few attempts for free; after that its attempts take turns,
// each waiting longer than the one before, so that guessing passwords is
// slow however many connections it opens. Thread-safe.
class LoginRefusals final
{
public:
    LoginRefusals();
    LoginRefusals(const LoginRefusals&) = delete;
    LoginRefusals& operator=(const LoginRefusals&) = delete;

    // Milliseconds a login attempt from this address waits for its turn;
    // -1 when its turn is too far away (the attempt is refused unread).
    qint64 reserveAttempt(const QString& address, int freeAttempts);
    // Records a refused login; returns the address's recent refusals.
    int refused(const QString& address, int freeAttempts);
    // The wait between attempts once an address has this many refusals.
    static qint64 delayAfter(int refusals, int freeAttempts);

private:
    struct Record {
        int refusals = 0;
        qint64 nextTurnMs = 0;
        qint64 lastRefusalMs = 0;
    };
    // The record of an address, or null if it has none or it has expired.
    Record* current(const QString& address, qint64 now);

    QMutex m_mutex;
    QElapsedTimer m_clock;
    QHash<QString, Record> m_records;
};
