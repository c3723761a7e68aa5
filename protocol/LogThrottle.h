#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QString>

// Lets at most a number of messages a second through for one call site, so
// that a peer sending a flood of bad lines cannot flood the log (and the
// program that writes every message to a file). Thread-safe.
class LogThrottle final
{
public:
    explicit LogThrottle(int perSecond);
    LogThrottle(const LogThrottle&) = delete;
    LogThrottle& operator=(const LogThrottle&) = delete;

    // True when a message may be logged now. *suppressed receives the number
    // of messages held back since the last one let through.
    bool allow(int* suppressed);

    // A peer's text as the log shows it: at most maxChars, with the length
    // of what was cut.
    static QString shortened(const QString& text, int maxChars);

private:
    QMutex m_mutex;
    QElapsedTimer m_window;
    int m_perSecond;
    int m_inWindow = 0;
    int m_suppressed = 0;
};
