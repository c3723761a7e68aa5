#include "RelayRecorder.h"

#include "ReplayState.h"
#include "V2_Client.h"
#include "V2_Data.h"

#include <QDateTime>
#include <QDebug>

namespace {

// A crash loses at most this much of the recording.
constexpr int kFlushMs = 2000;

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
    if (!m_writer.open(path, QDateTime::currentDateTimeUtc(), m_client->host(), m_client->port(), error))
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
