#include "NatsOrigin.h"

#include "NatsConnection.h"
#include "NatsWire.h"
#include "RelayFeed.h"
#include "RelayTree.h"
#include "V2_Data.h"

#include <QCoreApplication>
#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

// Removes channel from tree, and the nodes only it kept.
void removeChannel(V2_Data* tree, const QStringList& parts)
{
    for (int depth = parts.size(); depth > 0; --depth) {
        V2_Data* parent = depth > 1 ? tree->getV2_Data(parts.mid(0, depth - 1).join(QLatin1Char('.'))) : tree;
        if (!parent)
            return;
        const V2_Data* node = parent->getInLevelV2_Data(parts.at(depth - 1));
        if (depth < parts.size() && (!node || !node->datas()->isEmpty()))
            return;
        parent->deleteKey(parts.at(depth - 1));
    }
}

} // namespace

NatsOrigin::NatsOrigin(RelayFeed* feed, NatsConnection* nats, const QString& prefix, QObject* parent)
    : QObject(parent)
    , m_feed(feed)
    , m_nats(nats)
    , m_prefix(prefix)
{
    m_announce.setInterval(ANNOUNCE_MS);
    connect(&m_announce, &QTimer::timeout, this, &NatsOrigin::announce);
    connect(m_feed, &RelayFeed::changePublished, this, &NatsOrigin::publishChange);
    connect(m_feed, &RelayFeed::liveChanged, this, [this](bool live) {
        // A new login upstream: the edges start again from its tree.
        if (live)
            beginBase();
        else
            announce();
    });
    connect(m_nats, &NatsConnection::connected, this, [this] {
        qInfo().noquote() << QStringLiteral("[relay] Publishing to NATS at %1 (subjects %2.*)").arg(m_nats->url(), m_prefix);
        announce();
    });
    connect(m_nats, &NatsConnection::disconnected, this,
            [this] { qWarning().noquote() << QStringLiteral("[relay] Lost NATS at %1; reconnecting").arg(m_nats->url()); });
    connect(m_nats, &NatsConnection::received, this, &NatsOrigin::takeRequest);
    m_answer.setSingleShot(true);
    m_answer.setInterval(ANSWER_WINDOW_MS);
    connect(&m_answer, &QTimer::timeout, this, &NatsOrigin::answerRequests);
}

NatsOrigin::~NatsOrigin() = default;

bool NatsOrigin::start(QString* error)
{
    m_requests = m_nats->subscribe(NatsWire::snapshotSubject(m_prefix));
    if (m_requests < 0) {
        *error = QStringLiteral("cannot take snapshot requests on NATS at %1").arg(m_nats->url());
        return false;
    }
    announce();
    m_announce.start();
    return true;
}

QByteArray NatsOrigin::base() const
{
    return m_base;
}

quint64 NatsOrigin::sequence() const
{
    return m_sequence;
}

quint64 NatsOrigin::messagesPublished() const
{
    return m_published;
}

quint64 NatsOrigin::snapshotsBuilt() const
{
    return m_snapshotsBuilt;
}

void NatsOrigin::setPartBytes(int bytes)
{
    m_partBytes = bytes;
}

void NatsOrigin::publishChange(const V2_Data* change)
{
    if (!m_ready)
        return;
    std::unique_ptr<V2_Data> rest(new V2_Data(change));
    rest->setRoot(true);
    for (const QString& channel : m_feed->channels()) {
        if (std::unique_ptr<V2_Data> part{ RelayTree::channelCopy(change, channel) }) {
            publishPart(NatsWire::changeSubject(m_prefix, channel), part.get());
            removeChannel(rest.get(), channel.split(QLatin1Char('.')));
        }
    }
    // Outside every channel: a deleted parent of channels, after a new login.
    if (!rest->datas()->isEmpty())
        publishPart(NatsWire::restSubject(m_prefix), rest.get());
}

void NatsOrigin::publishPart(const QByteArray& subject, const V2_Data* part)
{
    ++m_sequence;
    // Sent or buffered for the reconnect: a lost one is a gap the edges repair.
    if (m_nats->publish(subject, NatsWire::encode({ m_base, m_sequence, m_feed->isLive() }, part->getJsonUtf8(false))))
        ++m_published;
}

void NatsOrigin::takeRequest(int subscription, const QByteArray&, const QByteArray& replyTo, const QByteArray& data)
{
    if (subscription != m_requests || replyTo.isEmpty() || !m_ready)
        return;
    bool ok = false;
    const quint64 request = data.toULongLong(&ok);
    if (!ok)
        return;
    m_askers.append({ replyTo, request });
    if (!m_answer.isActive())
        m_answer.start();
}

void NatsOrigin::answerRequests()
{
    if (m_askers.isEmpty())
        return;
    if (m_snapshot.isEmpty() || m_snapshotBase != m_base || m_snapshotSequence != m_sequence) {
        // Written with its "ignorePath" flags, as the seats are sent them.
        // A 60-car race's tree is 1.5 MB of JSON after 40 minutes, 39 MB
        // after 24 hours; compressed, about a quarter to an eighth.
        m_snapshot = qCompress(m_feed->seatsTree()->getJsonUtf8(true));
        m_snapshotBase = m_base;
        m_snapshotSequence = m_sequence;
        ++m_snapshotsBuilt;
        // Building a long race's tree takes a second or more: the requests
        // that came meanwhile share it instead of building the next one.
        QCoreApplication::sendPostedEvents(m_nats, QEvent::MetaCall);
    }
    const qint64 limit = m_partBytes > 0 ? m_partBytes : m_nats->maxPayload() - HEADER_ROOM;
    const int partBytes = static_cast<int>(std::max<qint64>(limit, 4096));
    const QByteArray header = NatsWire::encode({ m_snapshotBase, m_snapshotSequence, m_feed->isLive() }, QByteArray());
    for (const Asker& asker : std::exchange(m_askers, {})) {
        for (const QByteArray& part : NatsWire::snapshotParts(m_snapshot, partBytes, asker.request))
            m_nats->publish(asker.replyTo, header + part);
    }
}

void NatsOrigin::beginBase()
{
    m_base = NatsWire::newBase();
    m_sequence = 0;
    m_ready = true;
    qInfo().noquote() << QStringLiteral("[relay] New base %1 for the edges").arg(QString::fromLatin1(m_base));
    announce();
}

void NatsOrigin::announce()
{
    if (!m_ready)
        return;
    m_nats->publish(NatsWire::baseSubject(m_prefix), NatsWire::encode({ m_base, m_sequence, m_feed->isLive() }, QByteArray()));
}
