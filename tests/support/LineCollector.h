#pragma once

#include <QByteArray>
#include <QList>

// Frames received bytes into CR LF lines (empty lines skipped) and lets a
// test wait for them while the event loop runs.
class LineCollector final
{
public:
    void feed(const QByteArray& bytes);
    void clear();
    // The next line, without CR LF; empty on timeout.
    QByteArray next(int ms);
    // Skips lines until one starts with prefix; empty on timeout.
    QByteArray nextStartingWith(const QByteArray& prefix, int ms);
    // True when no line arrives within ms.
    bool silentFor(int ms);

private:
    QByteArray m_buffer;
    QList<QByteArray> m_lines;
};
