#include "RecordingPlayer.h"

#include "RecordingReader.h"
#include "ReplayState.h"
#include "SessionClock.h"
#include "V2_Client.h"
#include "V2_Data.h"

#include <QThread>

#include <cmath>

namespace {

constexpr int kTickMs = 50;
// A new block starts once its records outweigh the tree that starts it
// (but never below this): a jump then reads at most about twice a tree.
constexpr qint64 kMinBlockBytes = 512 * 1024;

// The open player whose time the session clock reads.
const RecordingPlayer* g_clockSource = nullptr;

qint64 replayClock()
{
    return g_clockSource->recordedNowMs();
}

} // namespace

RecordingPlayer::RecordingPlayer(V2_Client* client, QObject* parent)
    : QObject(parent)
    , m_client(client)
{
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &RecordingPlayer::tick);
}

RecordingPlayer::~RecordingPlayer()
{
    if (m_loader) {
        m_cancel = true;
        m_loader->wait();
        delete m_loader;
    }
    if (g_clockSource == this) {
        SessionClock::setClock(nullptr);
        g_clockSource = nullptr;
    }
}

RecordingPlayer::Contents RecordingPlayer::read(const QString& path, const std::atomic_bool* cancel, const std::function<void(int)>& progress)
{
    Contents contents;
    contents.path = path;
    RecordingReader reader;
    if (!reader.open(path, &contents.error))
        return contents;

    ReplayState state;
    Block block;
    block.keyframe = qCompress(ReplayState::treeLine(state.tree()), 1);
    qint64 keyframeBytes = 0;
    QByteArray text;
    qint64 ms = 0;
    QByteArray line;
    int percent = -1;
    RecordingReader::Status status;
    while ((status = reader.next(&ms, &line)) == RecordingReader::Status::Record) {
        // By size alone: records sharing one millisecond may fill many blocks
        // (a seek takes the last block starting at or before its time).
        if (text.size() >= qMax(keyframeBytes, kMinBlockBytes)) {
            block.records = qCompress(text, 1);
            contents.blocks.append(block);
            const QByteArray tree = ReplayState::treeLine(state.tree());
            keyframeBytes = tree.size();
            block = Block();
            block.startMs = ms;
            block.keyframe = qCompress(tree, 1);
            text.clear();
            if (cancel && cancel->load())
                return {};
            if (progress && reader.fileSize() > 0) {
                const int now = int(qBound<qint64>(0, reader.fileOffset() * 100 / reader.fileSize(), 100));
                if (now != percent)
                    progress(percent = now);
            }
        }
        text += QByteArray::number(ms) + ' ' + line + '\n';
        state.applyQuietly(line);
        contents.duration = ms;
    }
    block.records = qCompress(text, 1);
    contents.blocks.append(block);
    contents.warning = status == RecordingReader::Status::Error ? reader.errorString() : QString();
    contents.startUtcMs = reader.startUtc().toMSecsSinceEpoch();
    if (progress)
        progress(100);
    return contents;
}

bool RecordingPlayer::open(const QString& path, QString* error)
{
    Contents contents = read(path, nullptr, {});
    if (!contents.error.isEmpty()) {
        *error = contents.error;
        close();
        return false;
    }
    adopt(std::move(contents));
    return true;
}

void RecordingPlayer::load(const QString& path)
{
    if (m_loader)
        return;
    m_cancel = false;
    m_loader = QThread::create([this, path] {
        auto contents = std::make_shared<Contents>(read(path, &m_cancel, [this](int percent) { emit loadProgress(percent); }));
        // Handed to this object's thread (the thread is waited for before the
        // object goes; a call left pending then frees the contents with it).
        QMetaObject::invokeMethod(
            this,
            [this, contents] {
                m_loadedContents = std::make_unique<Contents>(std::move(*contents));
                loadDone();
            },
            Qt::QueuedConnection);
    });
    m_loader->start();
}

void RecordingPlayer::loadDone()
{
    m_loader->wait();
    delete m_loader;
    m_loader = nullptr;
    if (m_cancel.load()) {
        m_loadedContents.reset();
        emit loaded(false, QString());
        return;
    }
    const QString error = m_loadedContents->error;
    if (!error.isEmpty())
        m_loadedContents.reset();
    emit loaded(error.isEmpty(), error);
}

void RecordingPlayer::cancelLoad()
{
    m_cancel = true;
}

bool RecordingPlayer::isLoading() const
{
    return m_loader != nullptr;
}

bool RecordingPlayer::start()
{
    if (!m_loadedContents)
        return false;
    Contents contents = std::move(*m_loadedContents);
    m_loadedContents.reset();
    adopt(std::move(contents));
    return true;
}

void RecordingPlayer::adopt(Contents contents)
{
    close();
    m_blocks = std::move(contents.blocks);
    m_duration = contents.duration;
    m_startUtcMs = contents.startUtcMs;
    m_warning = contents.warning;
    m_path = contents.path;
    m_open = true;
    g_clockSource = this;
    SessionClock::setClock(&replayClock);
    seek(0);
}

int RecordingPlayer::blockCount() const
{
    return m_blocks.size();
}

void RecordingPlayer::close()
{
    if (!m_open)
        return;
    pause();
    // Live time again before the client is emptied: nothing may read the
    // recorded time as the present any more.
    if (g_clockSource == this) {
        SessionClock::setClock(nullptr);
        g_clockSource = nullptr;
    }
    emptyClient();
    m_open = false;
    m_blocks.clear();
    m_records.clear();
    m_block = -1;
    m_next = 0;
    m_position = 0;
    m_duration = 0;
}

bool RecordingPlayer::isOpen() const
{
    return m_open;
}

QString RecordingPlayer::warning() const
{
    return m_warning;
}

QString RecordingPlayer::path() const
{
    return m_path;
}

qint64 RecordingPlayer::duration() const
{
    return m_duration;
}

qint64 RecordingPlayer::position() const
{
    return m_position;
}

qint64 RecordingPlayer::playedTo() const
{
    return qMin(m_duration, m_wallOrigin + static_cast<qint64>(std::floor(m_wall.elapsed() * m_speed)));
}

qint64 RecordingPlayer::recordedNowMs() const
{
    return m_startUtcMs + (isPlaying() ? qMax(m_position, playedTo()) : m_position);
}

bool RecordingPlayer::isPlaying() const
{
    return m_timer.isActive();
}

double RecordingPlayer::speed() const
{
    return m_speed;
}

void RecordingPlayer::play()
{
    if (!m_open || isPlaying())
        return;
    if (m_position >= m_duration)
        seek(0);
    m_wallOrigin = m_position;
    m_wall.start();
    m_timer.start();
    emit playingChanged(true);
}

void RecordingPlayer::pause()
{
    if (!isPlaying())
        return;
    tick();
    m_timer.stop();
    emit playingChanged(false);
}

void RecordingPlayer::setSpeed(double speed)
{
    if (isPlaying())
        tick();
    m_speed = speed;
    m_wallOrigin = m_position;
    m_wall.start();
}

bool RecordingPlayer::loadBlock(int index)
{
    m_records.clear();
    m_next = 0;
    m_block = index;
    if (index < 0 || index >= m_blocks.size())
        return false;
    const QByteArray text = qUncompress(m_blocks.at(index).records);
    int start = 0;
    while (start < text.size()) {
        const int lf = text.indexOf('\n', start);
        const int space = text.indexOf(' ', start);
        m_records.append({text.mid(start, space - start).toLongLong(), text.mid(space + 1, lf - space - 1)});
        start = lf + 1;
    }
    return true;
}

void RecordingPlayer::seek(qint64 ms)
{
    if (!m_open)
        return;
    ms = qBound<qint64>(0, ms, m_duration);
    int index = 0;
    while (index + 1 < m_blocks.size() && m_blocks.at(index + 1).startMs <= ms)
        ++index;

    ReplayState state;
    state.applyQuietly(qUncompress(m_blocks.at(index).keyframe));
    loadBlock(index);
    while (m_next < m_records.size() && m_records.at(m_next).ms <= ms)
        state.applyQuietly(m_records.at(m_next++).line);

    // A fresh session: the tree at that time replaces the client's, as it
    // stands (written out and parsed again it would take twice as long).
    // Stamps read later in the recording say nothing of the time jumped to.
    // The clock stands at that time before the tree is read, so that its
    // stamps are measured against it.
    SessionClock::forgetServerLead();
    m_position = ms;
    m_wallOrigin = ms;
    m_wall.start();
    m_client->replaceTree(state.takeTree().release());
    emit positionChanged(ms);
}

void RecordingPlayer::tick()
{
    const qint64 target = playedTo();
    QVector<const Record*> due;
    for (;;) {
        if (m_next >= m_records.size()) {
            // The records of the block left behind go out before their memory does.
            deliver(due);
            due.clear();
            if (m_block + 1 >= m_blocks.size() || !loadBlock(m_block + 1))
                break;
            continue;
        }
        if (m_records.at(m_next).ms > target)
            break;
        due.append(&m_records.at(m_next++));
    }
    deliver(due);
    m_position = qMax(m_position, target);
    emit positionChanged(m_position);
    if (m_position >= m_duration && m_timer.isActive()) {
        m_timer.stop();
        emit playingChanged(false);
    }
}

void RecordingPlayer::deliver(const QVector<const Record*>& records)
{
    QByteArray bytes;
    for (const Record* record : records) {
        if (record->line.startsWith("JSON:")) {
            bytes += record->line + '\n';
        } else if (record->line.startsWith("LOGIN:")) {
            // The recorded client lost its tree with the connection before this reply.
            if (!bytes.isEmpty())
                m_client->receiveBytes(bytes);
            bytes.clear();
            emptyClient();
            // The server logged into may run another clock.
            SessionClock::forgetServerLead();
        }
    }
    if (!bytes.isEmpty())
        m_client->receiveBytes(bytes);
}

void RecordingPlayer::emptyClient()
{
    // An empty tree replaces the client's: every top-level key it held is
    // announced, so each panel learns its data went.
    if (!m_client->getCurrentData()->datas()->isEmpty())
        m_client->replaceTree(new V2_Data(QStringLiteral("ROOT")));
}
