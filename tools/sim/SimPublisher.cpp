#include "SimPublisher.h"

#include "V2_Data.h"
#include "V2_Server.h"

SimPublisher::SimPublisher(V2_Server* server, const SimOptions& options, qint64 sessionStartMs, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_options(options)
    , m_simulator(options, sessionStartMs)
    , m_published(m_simulator.state(options.elapsedSeconds * 1000LL))
{
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
    m_timer.start(TICK_MS);
}

qint64 SimPublisher::elapsedMs() const
{
    const qint64 run = m_wall.isValid() ? static_cast<qint64>(m_wall.elapsed() * m_options.speed) : 0;
    return m_options.elapsedSeconds * 1000LL + run;
}

const V2_Data* SimPublisher::published() const
{
    return m_published.get();
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

void SimPublisher::publishAt(qint64 elapsedMs)
{
    std::unique_ptr<V2_Data> next = m_simulator.state(elapsedMs);
    std::unique_ptr<V2_Data> change(m_published->difference(next.get()));
    change->setRoot(true);
    wholeRows(change.get(), next.get());
    if (!change->datas()->isEmpty())
        m_server->sendV2Data(change.get());
    m_published = std::move(next);
}

void SimPublisher::answerSnapshot(int descriptor, const QString& channel)
{
    const V2_Data* node = m_published->getV2_Data(channel);
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
