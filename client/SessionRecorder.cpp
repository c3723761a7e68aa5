#include "SessionRecorder.h"

#include "BroadcastDelay.h"
#include "ClientV2Controller.h"
#include "ReplayState.h"
#include "V2_Client.h"
#include "V2_Data.h"

#include <QDateTime>

namespace {

// Buffered records reach the disk at this pace: a crash loses at most this much.
constexpr int kFlushMs = 1000;

} // namespace

SessionRecorder::SessionRecorder(V2_Client* client, QObject* parent)
    : QObject(parent)
    , m_client(client)
{
    m_flushTimer.setInterval(kFlushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &SessionRecorder::flush);
}

SessionRecorder::~SessionRecorder()
{
    stop();
}

bool SessionRecorder::start(const QString& path, QString* error)
{
    stop();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (!m_writer.open(path, now, m_client->host(), m_client->port(), error))
        return false;
    m_clock.start();
    m_records = 0;
    // The tree so far, as a data line of its own; the path flags go with it.
    const V2_Data* tree = m_client->getCurrentData();
    if (!tree->datas()->isEmpty()) {
        if (!m_writer.write(0, ReplayState::treeLine(tree))) {
            *error = m_writer.errorString();
            m_writer.close();
            return false;
        }
        ++m_records;
    }
    // Lines held back by a broadcast delay were received before now, yet are
    // not in the tree: they follow it, so that the recording misses nothing.
    if (const auto* controller = qobject_cast<const ClientV2Controller*>(m_client)) {
        for (const QByteArray& line : controller->delay()->heldLines()) {
            if (!m_writer.write(0, line)) {
                *error = m_writer.errorString();
                m_writer.close();
                return false;
            }
            ++m_records;
        }
    }
    connect(m_client, &V2_Client::receivedDataLog, this, &SessionRecorder::record, Qt::UniqueConnection);
    m_flushTimer.start();
    flush();
    emit recordingChanged(true);
    return true;
}

void SessionRecorder::stop()
{
    if (!m_writer.isOpen())
        return;
    disconnect(m_client, &V2_Client::receivedDataLog, this, &SessionRecorder::record);
    m_flushTimer.stop();
    m_writer.close();
    emit recordingChanged(false);
}

bool SessionRecorder::isRecording() const
{
    return m_writer.isOpen();
}

QString SessionRecorder::path() const
{
    return m_writer.path();
}

qint64 SessionRecorder::fileSize() const
{
    return m_writer.fileSize();
}

qint64 SessionRecorder::records() const
{
    return m_records;
}

qint64 SessionRecorder::elapsedMs() const
{
    return m_clock.isValid() ? m_clock.elapsed() : 0;
}

void SessionRecorder::record(QByteArray* line)
{
    if (!m_writer.write(m_clock.elapsed(), *line)) {
        const QString error = m_writer.errorString();
        stop();
        emit failed(error);
        return;
    }
    ++m_records;
}

void SessionRecorder::flush()
{
    m_writer.flush();
    emit progress(m_writer.fileSize());
}
