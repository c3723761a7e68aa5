#include "RecordingReader.h"

#include "V2_LineLimit.h"

#include <QFile>

#include <zlib.h>

namespace {

constexpr int kChunk = 1 << 16;
// "<ms> " before the protocol line: at most 15 digits and the space.
constexpr qint64 kTimeBytes = 16;
const QByteArray kMagic = QByteArrayLiteral("# lanterra-recording 1 ");

gzFile handle(void* file)
{
    return static_cast<gzFile>(file);
}

} // namespace

RecordingReader::RecordingReader()
    : m_maxLineBytes(defaultMaxLineBytes())
{
}

qint64 RecordingReader::defaultMaxLineBytes()
{
    return kTimeBytes + V2_LineLimit::DEFAULT_MAX_LINE_BYTES;
}

void RecordingReader::setMaxLineBytes(qint64 bytes)
{
    m_maxLineBytes = bytes;
}

qint64 RecordingReader::fileOffset() const
{
    return m_file ? gzoffset(handle(m_file)) : 0;
}

qint64 RecordingReader::fileSize() const
{
    return m_fileSize;
}

RecordingReader::~RecordingReader()
{
    close();
}

void RecordingReader::close()
{
    if (m_file)
        gzclose(handle(m_file));
    m_file = nullptr;
    m_buffer.clear();
    m_offset = 0;
    m_eof = false;
    m_lineNumber = 0;
    m_lastMs = 0;
}

bool RecordingReader::open(const QString& path, QString* error)
{
    close();
    m_path = path;
    if (!QFile::exists(path)) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    // zlib reads a file that is not compressed as it stands.
    m_file = gzopen(QFile::encodeName(path).constData(), "rb");
    if (!m_file) {
        *error = QStringLiteral("%1: cannot be opened").arg(path);
        return false;
    }
    gzbuffer(handle(m_file), kChunk);
    m_fileSize = QFile(path).size();
    QByteArray header;
    const Line kind = readLine(&header);
    if (kind == Line::End) {
        *error = QStringLiteral("%1: empty file, not a recording").arg(path);
        close();
        return false;
    }
    if (kind == Line::Error) {
        *error = m_error;
        close();
        return false;
    }
    const int colon = header.lastIndexOf(':');
    const int space = header.indexOf(' ', kMagic.size());
    bool portOk = false;
    if (header.startsWith(kMagic) && space > 0 && colon > space) {
        m_start = QDateTime::fromString(QString::fromUtf8(header.mid(kMagic.size(), space - kMagic.size())), Qt::ISODateWithMs);
        m_host = QString::fromUtf8(header.mid(space + 1, colon - space - 1));
        m_port = header.mid(colon + 1).toInt(&portOk);
    }
    if (kind != Line::Full || !m_start.isValid() || !portOk) {
        *error = QStringLiteral("%1: not a Lanterra recording (the first line must be \"# lanterra-recording 1 <start> <host>:<port>\")").arg(path);
        close();
        return false;
    }
    m_start = m_start.toUTC();
    return true;
}

QDateTime RecordingReader::startUtc() const
{
    return m_start;
}

QString RecordingReader::host() const
{
    return m_host;
}

int RecordingReader::port() const
{
    return m_port;
}

QString RecordingReader::errorString() const
{
    return m_error;
}

bool RecordingReader::fill()
{
    if (m_eof)
        return false;
    m_buffer.remove(0, int(m_offset));
    m_offset = 0;
    const int kept = m_buffer.size();
    m_buffer.resize(kept + kChunk);
    const int got = gzread(handle(m_file), m_buffer.data() + kept, kChunk);
    m_buffer.resize(kept + qMax(got, 0));
    if (got < 0) {
        int code = 0;
        m_error = QStringLiteral("%1: damaged compressed data after line %2 (%3)").arg(m_path).arg(m_lineNumber).arg(QString::fromUtf8(gzerror(handle(m_file), &code)));
        m_eof = true;
        return false;
    }
    if (got == 0) {
        m_eof = true;
        // A compressed stream that stops early reads as its end; zlib says so here.
        int code = Z_OK;
        gzerror(handle(m_file), &code);
        if (code != Z_OK && code != Z_STREAM_END) {
            m_error = QStringLiteral("%1: compressed data cut off after line %2").arg(m_path).arg(m_lineNumber);
            return false;
        }
        return false;
    }
    return true;
}

RecordingReader::Line RecordingReader::readLine(QByteArray* line)
{
    qsizetype searchFrom = m_offset;
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n', int(searchFrom));
        if (lf >= 0 && lf - m_offset <= m_maxLineBytes) {
            *line = m_buffer.mid(int(m_offset), int(lf - m_offset));
            m_offset = lf + 1;
            ++m_lineNumber;
            return Line::Full;
        }
        // The buffer holds at most one line cap and one chunk: the sizes stay far below the int limit.
        if (m_buffer.size() - m_offset > m_maxLineBytes) {
            m_error = QStringLiteral("%1: line %2 is too long (more than %3 bytes)").arg(m_path).arg(m_lineNumber + 1).arg(m_maxLineBytes);
            m_eof = true;
            return Line::Error;
        }
        searchFrom = m_buffer.size();
        const qsizetype consumed = m_offset;
        if (!fill()) {
            if (!m_error.isEmpty())
                return Line::Error;
            if (m_offset < m_buffer.size()) {
                *line = m_buffer.mid(int(m_offset));
                m_offset = m_buffer.size();
                ++m_lineNumber;
                return Line::Partial;
            }
            return Line::End;
        }
        searchFrom -= consumed;
    }
}

RecordingReader::Status RecordingReader::next(qint64* ms, QByteArray* line)
{
    if (!m_file)
        return Status::End;
    QByteArray text;
    switch (readLine(&text)) {
    case Line::End:
        return Status::End;
    case Line::Error:
        return Status::Error;
    case Line::Partial:
        m_error = QStringLiteral("%1: line %2 is cut off (the recording ends inside a record)").arg(m_path).arg(m_lineNumber);
        return Status::Error;
    case Line::Full:
        break;
    }
    const int space = text.indexOf(' ');
    bool ok = space > 0 && space <= 15;
    const qint64 time = ok ? text.left(space).toLongLong(&ok) : 0;
    if (!ok || time < m_lastMs) {
        m_error = QStringLiteral("%1: line %2 is no record (\"<ms> <protocol line>\" with a time that never goes back)").arg(m_path).arg(m_lineNumber);
        return Status::Error;
    }
    m_lastMs = time;
    *ms = time;
    *line = text.mid(space + 1);
    return Status::Record;
}
