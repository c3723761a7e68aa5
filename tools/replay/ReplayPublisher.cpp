#include "ReplayPublisher.h"

#include "V2_Data.h"
#include "V2_Server.h"

#include <cmath>

namespace {

// Lines applied in one go before the event loop gets a turn (high speeds).
constexpr int kLinesPerStep = 200;

} // namespace

ReplayPublisher::ReplayPublisher(V2_Server* server, RecordingReader* reader, double speed, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_reader(reader)
    , m_speed(speed)
{
    connect(server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest), this, &ReplayPublisher::answerSnapshot);
    connect(server, QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest), this,
            [this](int descriptor, const QString& channel, const QString&) { answerSnapshot(descriptor, channel); });
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ReplayPublisher::step);
    readAhead();
}

ReplayPublisher::~ReplayPublisher() = default;

void ReplayPublisher::readAhead()
{
    m_pending = false;
    if (m_over)
        return;
    switch (m_reader->next(&m_pendingMs, &m_pendingLine)) {
    case RecordingReader::Status::Record:
        m_pending = true;
        return;
    case RecordingReader::Status::Error:
        m_error = m_reader->errorString();
        break;
    case RecordingReader::Status::End:
        break;
    }
    m_over = true;
}

bool ReplayPublisher::fastForward(qint64 ms)
{
    while (m_pending && m_pendingMs < ms) {
        m_state.applyQuietly(m_pendingLine);
        m_originMs = m_pendingMs;
        readAhead();
    }
    m_originMs = m_pending ? ms : m_originMs;
    return m_error.isEmpty();
}

void ReplayPublisher::start()
{
    m_wall.start();
    step();
}

qint64 ReplayPublisher::replayMs() const
{
    return m_originMs + (m_wall.isValid() ? static_cast<qint64>(std::floor(m_wall.elapsed() * m_speed)) : 0);
}

bool ReplayPublisher::isOver() const
{
    return m_over && !m_pending;
}

QString ReplayPublisher::errorString() const
{
    return m_error;
}

const V2_Data* ReplayPublisher::tree() const
{
    return m_state.tree();
}

void ReplayPublisher::step()
{
    const qint64 now = replayMs();
    int applied = 0;
    while (m_pending && m_pendingMs <= now && applied < kLinesPerStep) {
        if (std::unique_ptr<V2_Data> change = m_state.apply(m_pendingLine))
            m_server->sendV2Data(change.get());
        ++applied;
        readAhead();
    }
    if (!m_pending) {
        m_timer.stop();
        emit finished(m_pendingMs, m_error);
        return;
    }
    const qint64 wait = m_pendingMs <= now ? 0 : static_cast<qint64>(std::ceil((m_pendingMs - now) / m_speed));
    m_timer.start(static_cast<int>(qMin<qint64>(wait, 60000)));
}

void ReplayPublisher::answerSnapshot(int descriptor, const QString& channel)
{
    if (std::unique_ptr<V2_Data> snapshot = m_state.snapshot(channel))
        m_server->sendV2Data(descriptor, snapshot.get());
}
