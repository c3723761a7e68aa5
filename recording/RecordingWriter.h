#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Writes a session recording: a header line, then one record per received
// protocol line ("<ms since start> <line>"). A name ending in ".gz" is
// written gzip-compressed; any other name as plain UTF-8 text.
class RecordingWriter final
{
public:
    RecordingWriter();
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // Creates (or replaces) the file and writes the header; false with a message.
    bool open(const QString& path, const QDateTime& startUtc, const QString& host, int port, QString* error);
    bool isOpen() const;
    // One record; false once the file cannot be written (the message in errorString()).
    bool write(qint64 ms, const QByteArray& line);
    // Hands what is buffered to the file, so that a crash loses at most that.
    void flush();
    void close();
    // The file's size so far (compressed bytes for a gzip file).
    qint64 fileSize() const;
    QString errorString() const;
    QString path() const;

private:
    void* m_file = nullptr;
    QString m_path;
    QString m_error;
};
