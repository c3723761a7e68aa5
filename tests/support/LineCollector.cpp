#include "LineCollector.h"

#include <QTest>

void LineCollector::feed(const QByteArray& bytes)
{
    m_buffer += bytes;
    int start = 0;
    int end;
    while ((end = m_buffer.indexOf("\r\n", start)) >= 0) {
        if (end > start)
            m_lines.append(m_buffer.mid(start, end - start));
        start = end + 2;
    }
    m_buffer.remove(0, start);
}

void LineCollector::clear()
{
    m_buffer.clear();
    m_lines.clear();
}

QByteArray LineCollector::next(int ms)
{
    if (!QTest::qWaitFor([this] { return !m_lines.isEmpty(); }, ms))
        return QByteArray();
    return m_lines.takeFirst();
}

QByteArray LineCollector::nextStartingWith(const QByteArray& prefix, int ms)
{
    QByteArray found;
    (void)QTest::qWaitFor(
        [&] {
            while (!m_lines.isEmpty()) {
                const QByteArray line = m_lines.takeFirst();
                if (line.startsWith(prefix)) {
                    found = line;
                    return true;
                }
            }
            return false;
        },
        ms);
    return found;
}

bool LineCollector::silentFor(int ms)
{
    QTest::qWait(ms);
    return m_lines.isEmpty();
}
