#include "SimPublisher.h"

#include "V2_Data.h"
#include "V2_Server.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

SimPublisher::SimPublisher(V2_Server* server, const SimOptions& options, qint64 sessionStartMs, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_options(options)
    , m_simulator(options, sessionStartMs)
    , m_current(m_simulator.state(options.elapsedSeconds * 1000LL, false))
    , m_history(new V2_Data(QStringLiteral("ROOT")))
    , m_publishedAt(options.elapsedSeconds * 1000LL)
{
    m_history->setRoot(true);
    m_simulator.addLapHistory(m_history.get(), -1, m_publishedAt);
    connect(server, QOverload<int, QString>::of(&V2_Server::onSnapshotRequest), this, &SimPublisher::answerSnapshot);
    connect(server, QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest), this,
            [this](int descriptor, const QString& channel, const QString&) { answerSnapshot(descriptor, channel); });
    // One tick after the other: a state that takes long to build (a long
    // session with many cars) slows the updates down, never the event loop.
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SimPublisher::tick);
}

SimPublisher::~SimPublisher() = default;

void SimPublisher::start()
{
    m_wall.start();
    followSimulatedClock(m_current.get(), m_publishedAt);
    m_whole.reset();
    m_timer.start(TICK_MS);
}

qint64 SimPublisher::elapsedMs() const
{
    const qint64 run = m_wall.isValid() ? static_cast<qint64>(m_wall.elapsed() * m_options.speed) : 0;
    return m_options.elapsedSeconds * 1000LL + run;
}

const V2_Data* SimPublisher::published() const
{
    if (!m_whole) {
        m_whole.reset(new V2_Data(m_current.get()));
        if (const V2_Data* laps = m_history->getV2_Data(SessionSimulator::lapHistoryPath())) {
            const QString& path = SessionSimulator::lapHistoryPath();
            const int dot = path.lastIndexOf(QLatin1Char('.'));
            m_whole->getOrCreateDataPointer(path.left(dot))->insertData(path.mid(dot + 1), new V2_Data(laps));
        }
    }
    return m_whole.get();
}

void SimPublisher::tick()
{
    publishAt(elapsedMs());
    m_timer.start(TICK_MS);
}

namespace {

// Rows (the children of a node that ignores its path) are published whole
// when anything in them changed, so that a profile filtering rows by a
// field (a class, say) always finds that field in the update.
void wholeRows(V2_Data* change, const V2_Data* next)
{
    // A root also ignores its (empty) path, but its children are channels, not rows.
    const bool rows = next->getIgnorePath() && !next->isRoot();
    for (auto it = change->datas()->begin(); it != change->datas()->end(); ++it) {
        V2_Data* changed = V2_Data::nodeOf(it.value());
        const V2_Data* full = next->getInLevelV2_Data(it.key());
        if (!changed || !full)
            continue;
        if (rows) {
            V2_Data* parent = changed->getV2Parent();
            *changed = full;
            changed->setV2Parent(parent);
        }
        else
            wholeRows(changed, full);
    }
}

} // namespace

void SimPublisher::followSimulatedClock(V2_Data* state, qint64 elapsedMs) const
{
    // A client reads "now" from its own clock plus the track's offset from
    // UTC. Every time published is on the simulated clock, which runs ahead
    // of the wall clock at a speed above 1: the offset carries that lead, so
    // that elapsed, remaining and day times agree with the laps at any speed.
    // Whole seconds: at speed 1 the offset does not change from tick to tick.
    // Only on the publisher's own clock: a state driven by hand (tests) is
    // the pure state of that simulated time.
    if (!m_wall.isValid())
        return;
    const qint64 lead = m_simulator.sessionStartMs() + elapsedMs - QDateTime::currentMSecsSinceEpoch();
    const qint64 offset = m_simulator.utcOffsetMs() + std::llround(double(lead) / 1000.0) * 1000;
    const qint64 limit = std::numeric_limits<int>::max();
    if (V2_Data* info = state->getV2_Data(QStringLiteral("timing.session.info")))
        info->insertData(QStringLiteral("utcOffset"), static_cast<int>(std::clamp(offset, -limit, limit)));
}

void SimPublisher::publishAt(qint64 elapsedMs)
{
    std::unique_ptr<V2_Data> next = m_simulator.state(elapsedMs, false);
    followSimulatedClock(next.get(), elapsedMs);
    std::unique_ptr<V2_Data> change(m_current->difference(next.get()));
    change->setRoot(true);
    wholeRows(change.get(), next.get());
    if (elapsedMs >= m_publishedAt) {
        m_simulator.addLapHistory(change.get(), m_publishedAt, elapsedMs);
        m_simulator.addLapHistory(m_history.get(), m_publishedAt, elapsedMs);
    } else {
        // Back in time (tests only): the history is rebuilt and replaced.
        std::unique_ptr<V2_Data> history(new V2_Data(QStringLiteral("ROOT")));
        history->setRoot(true);
        m_simulator.addLapHistory(history.get(), -1, elapsedMs);
        std::unique_ptr<V2_Data> historyChange(m_history->difference(history.get()));
        for (auto it = historyChange->datas()->cbegin(); it != historyChange->datas()->cend(); ++it)
            change->appendData(it.key(), it.value());
        m_history = std::move(history);
    }
    if (!change->datas()->isEmpty())
        m_server->sendV2Data(change.get());
    m_current = std::move(next);
    m_publishedAt = elapsedMs;
    m_whole.reset();
}

void SimPublisher::answerSnapshot(int descriptor, const QString& channel)
{
    // Only channels that hold the lap history need the whole state.
    const bool history = SessionSimulator::lapHistoryPath().startsWith(channel) || channel.startsWith(SessionSimulator::lapHistoryPath());
    const V2_Data* node = (history ? published() : m_current.get())->getV2_Data(channel);
    if (!node)
        return;
    V2_Data snapshot(QStringLiteral("ROOT"));
    snapshot.setRoot(true);
    const QStringList parts = channel.split(QLatin1Char('.'));
    V2_Data* parent = parts.size() > 1 ? snapshot.getOrCreateDataPointer(parts.mid(0, parts.size() - 1).join(QLatin1Char('.'))) : &snapshot;
    auto* copy = new V2_Data(node);
    parent->insertData(parts.last(), copy);
    m_server->sendV2Data(descriptor, &snapshot);
}
