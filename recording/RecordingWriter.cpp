#include "RecordingWriter.h"

#include <QFile>

#include <zlib.h>

namespace {

gzFile handle(void* file)
{
    return static_cast<gzFile>(file);
}

QByteArray header(const QDateTime& startUtc, const QString& host, int port)
{
    return "# lanterra-recording 1 " + startUtc.toUTC().toString(Qt::ISODateWithMs).toUtf8() + ' ' + host.toUtf8() + ':' + QByteArray::number(port);
}

} // namespace

RecordingWriter::RecordingWriter() = default;

RecordingWriter::~RecordingWriter()
{
    close();
}

bool RecordingWriter::open(const QString& path, const QDateTime& startUtc, const QString& host, int port, QString* error)
{
    close();
    m_error.clear();
    // "T" writes through zlib without compressing: one code path for both kinds.
    const char* mode = path.endsWith(QLatin1String(".gz"), Qt::CaseInsensitive) ? "wb1" : "wbT";
    m_file = gzopen(QFile::encodeName(path).constData(), mode);
    if (!m_file) {
        *error = QStringLiteral("Cannot create %1").arg(path);
        return false;
    }
    m_path = path;
    if (!write(-1, header(startUtc, host, port))) {
        *error = m_error;
        close();
        QFile::remove(path);
        return false;
    }
    flush();
    return true;
}

bool RecordingWriter::isOpen() const
{
    return m_file != nullptr;
}

bool RecordingWriter::write(qint64 ms, const QByteArray& line)
{
    if (!m_file)
        return false;
    QByteArray record;
    record.reserve(line.size() + 16);
    if (ms >= 0)
        record += QByteArray::number(ms) + ' ';
    record += line;
    record += '\n';
    if (gzwrite(handle(m_file), record.constData(), static_cast<unsigned>(record.size())) != record.size()) {
        int code = 0;
        m_error = QStringLiteral("Cannot write to %1: %2").arg(m_path, QString::fromUtf8(gzerror(handle(m_file), &code)));
        return false;
    }
    return true;
}

void RecordingWriter::flush()
{
    if (m_file)
        gzflush(handle(m_file), Z_SYNC_FLUSH);
}

void RecordingWriter::close()
{
    if (m_file)
        gzclose(handle(m_file));
    m_file = nullptr;
}

qint64 RecordingWriter::fileSize() const
{
    return m_file ? static_cast<qint64>(gzoffset(handle(m_file))) : 0;
}

QString RecordingWriter::errorString() const
{
    return m_error;
}

QString RecordingWriter::path() const
{
    return m_path;
}
