#include "LogThrottle.h"

LogThrottle::LogThrottle(int perSecond)
    : m_perSecond(perSecond)
{
}

bool LogThrottle::allow(int* suppressed)
{
    QMutexLocker locker(&m_mutex);
    if (!m_window.isValid() || m_window.elapsed() >= 1000) {
        m_window.start();
        m_inWindow = 0;
    }
    if (m_inWindow >= m_perSecond) {
        ++m_suppressed;
        return false;
    }
    ++m_inWindow;
    *suppressed = m_suppressed;
    m_suppressed = 0;
    return true;
}

QString LogThrottle::shortened(const QString& text, int maxChars)
{
    return text.size() > maxChars ? text.left(maxChars) + QStringLiteral("... (%1 characters)").arg(text.size()) : text;
}
