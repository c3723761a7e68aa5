#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Reads a session recording written by RecordingWriter (plain or gzip),
// record by record, and says precisely where a damaged file goes wrong.
// A record longer than the live client accepts a line is refused as well:
// the reader never holds more than that.
class RecordingReader final
{
public:
    enum class Status {
        Record,
        End,
        Error,
    };

    RecordingReader();
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // The longest record accepted: the time, a space and a protocol line
    // as long as the client takes from a server.
    static qint64 defaultMaxLineBytes();
    void setMaxLineBytes(qint64 bytes);

    // Opens the file and reads its header; false with a message.
    bool open(const QString& path, QString* error);
    void close();

    QDateTime startUtc() const;
    QString host() const;
    int port() const;

    // The next record: its time (ms since the start, never decreasing) and
    // its protocol line. Error for a record that is cut off or malformed,
    // or for a damaged compressed stream (the message in errorString()).
    Status next(qint64* ms, QByteArray* line);
    QString errorString() const;
    // How far into the file reading has come, and its size (bytes on disk).
    qint64 fileOffset() const;
    qint64 fileSize() const;

private:
    enum class Line {
        Full,
        Partial,
        End,
        Error,
    };
    Line readLine(QByteArray* line);
    bool fill();

    void* m_file = nullptr;
    QString m_path;
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qint64 m_maxLineBytes;
    qint64 m_fileSize = 0;
    bool m_eof = false;
    qint64 m_lineNumber = 0;
    qint64 m_lastMs = 0;
    QDateTime m_start;
    QString m_host;
    int m_port = 0;
    QString m_error;
};
