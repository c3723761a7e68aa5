#include "RelayRecorder.h"

#include "ReplayState.h"
#include "V2_Client.h"
#include "V2_Data.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

namespace {

// A crash loses at most this much of the recording.
constexpr int kFlushMs = 2000;

// path, or when a file has that name already (a restarted relay), the
// name with the start time before its extensions, then a count.
QString freePath(const QString& path, const QDateTime& start)
{
    if (!QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QString name = info.fileName();
    const int dot = name.indexOf(QLatin1Char('.'), 1);
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extensions = dot > 0 ? name.mid(dot) : QString();
    const QString stamp = start.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    for (int count = 1;; ++count) {
        const QString suffix = count == 1 ? stamp : QStringLiteral("%1-%2").arg(stamp).arg(count);
        const QString candidate = info.dir().filePath(QStringLiteral("%1-%2%3").arg(base, suffix, extensions));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

} // namespace

RelayRecorder::RelayRecorder(V2_Client* client, QObject* parent)
    : QObject(parent)
    , m_client(client)
{
    m_flushTimer.setInterval(kFlushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &RelayRecorder::flush);
}

RelayRecorder::~RelayRecorder()
{
    m_writer.close();
}

bool RelayRecorder::start(const QString& path, QString* error)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_path = freePath(path, now);
    if (m_path != path)
        qWarning().noquote() << QStringLiteral("[relay] %1 exists and is kept; recording into %2").arg(path, m_path);
    if (!m_writer.open(m_path, now, m_client->host(), m_client->port(), error))
        return false;
    m_clock.start();
    const V2_Data* tree = m_client->getCurrentData();
    if (!tree->datas()->isEmpty()) {
        if (!m_writer.write(0, ReplayState::treeLine(tree))) {
            *error = m_writer.errorString();
            m_writer.close();
            return false;
        }
        ++m_records;
    }
    connect(m_client, &V2_Client::receivedDataLog, this, &RelayRecorder::record, Qt::UniqueConnection);
    m_flushTimer.start();
    return true;
}

QString RelayRecorder::path() const
{
    return m_path;
}

bool RelayRecorder::isRecording() const
{
    return m_writer.isOpen();
}

qint64 RelayRecorder::records() const
{
    return m_records;
}

void RelayRecorder::record(QByteArray* line)
{
    if (!m_writer.isOpen())
        return;
    if (!m_writer.write(m_clock.elapsed(), *line)) {
        qCritical().noquote() << QStringLiteral("[relay] Recording stopped: %1").arg(m_writer.errorString());
        m_writer.close();
        m_flushTimer.stop();
        return;
    }
    ++m_records;
}

void RelayRecorder::flush()
{
    m_writer.flush();
}
