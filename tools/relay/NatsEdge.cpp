#include "NatsEdge.h"

#include "NatsConnection.h"
#include "RelaySeats.h"
#include "RelayTree.h"
#include "V2_Data.h"
#include "V2_Server.h"

#include <QDebug>

#include <rapidjson/document.h>

NatsEdge::NatsEdge(V2_Server* server, NatsConnection* nats, const QString& prefix, const QStringList& channels, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_nats(nats)
    , m_prefix(prefix)
    , m_channels(channels)
    , m_tree(RelayTree::newRoot())
{
    m_requestTimer.setSingleShot(true);
    m_requestTimer.setInterval(REQUEST_TIMEOUT_MS);
    connect(&m_requestTimer, &QTimer::timeout, this, [this] {
        m_requesting = false;
        requestSnapshot("no answer for a while");
    });
    m_silence.setSingleShot(true);
    m_silence.setInterval(SILENCE_MS);
    connect(&m_silence, &QTimer::timeout, this, [this] {
        qWarning().noquote() << QStringLiteral("[relay] The origin has been silent for %1 ms").arg(SILENCE_MS);
        m_originHeard = false;
        updateLive();
    });
    connect(m_nats, &NatsConnection::connected, this, [this] {
        qInfo().noquote() << QStringLiteral("[relay] Connected to NATS at %1 (subjects %2.*)").arg(m_nats->url(), m_prefix);
        m_silence.start();
        requestSnapshot("connected");
    });
    connect(m_nats, &NatsConnection::disconnected, this, &NatsEdge::lose);
    connect(m_nats, &NatsConnection::received, this, &NatsEdge::received);
    connect(m_nats, &NatsConnection::replied, this, &NatsEdge::takeSnapshot);
}

NatsEdge::~NatsEdge() = default;

bool NatsEdge::start(QString* error)
{
    m_treeSubscription = m_nats->subscribe(NatsWire::treeSubjects(m_prefix));
    if (m_treeSubscription < 0) {
        *error = QStringLiteral("cannot subscribe on NATS at %1").arg(m_nats->url());
        return false;
    }
    return true;
}

bool NatsEdge::isLive() const
{
    return m_live;
}

const V2_Data* NatsEdge::tree() const
{
    return m_tree.get();
}

QByteArray NatsEdge::base() const
{
    return m_base;
}

quint64 NatsEdge::sequence() const
{
    return m_sequence;
}

quint64 NatsEdge::snapshotsTaken() const
{
    return m_snapshots;
}

quint64 NatsEdge::changesApplied() const
{
    return m_applied;
}

void NatsEdge::dropNextChange()
{
    m_dropNext = true;
}

void NatsEdge::setRequestTimeout(int ms)
{
    m_requestTimer.setInterval(ms);
}

void NatsEdge::setMaxWaitingBytes(qint64 bytes)
{
    m_maxWaitingBytes = bytes;
}

bool NatsEdge::answerSnapshot(int descriptor, const QString& channel)
{
    if (!m_channels.contains(channel))
        return false;
    if (std::unique_ptr<V2_Data> snapshot{ RelayTree::channelCopy(m_tree.get(), channel) })
        m_server->sendV2Data(descriptor, snapshot.get());
    if (!m_live)
        RelaySeats::tell(m_server, false, descriptor);
    return true;
}

void NatsEdge::received(int subscription, const QByteArray& subject, const QByteArray&, const QByteArray& data)
{
    if (subscription != m_treeSubscription)
        return;
    NatsWire::Header header;
    QByteArray body;
    if (!NatsWire::decode(data, &header, &body)) {
        qWarning().noquote() << QStringLiteral("[relay] Not a relay message on %1; ignored").arg(QString::fromUtf8(subject));
        return;
    }
    m_silence.start();
    m_originHeard = true;
    m_originLive = header.live;
    if (subject == NatsWire::baseSubject(m_prefix))
        takeAnnouncement(header);
    else
        takeChange(header, body);
    updateLive();
}

void NatsEdge::takeChange(const NatsWire::Header& header, const QByteArray& body)
{
    if (m_dropNext) {
        m_dropNext = false;
        return;
    }
    if (!m_synced) {
        wait(header, body);
        requestSnapshot("catching up");
        return;
    }
    if (header.base != m_base || header.sequence > m_sequence + 1) {
        wait(header, body);
        requestSnapshot(header.base != m_base ? "new base" : "gap in the changes");
        return;
    }
    // Already in the snapshot.
    if (header.sequence <= m_sequence)
        return;
    if (!apply(body)) {
        requestSnapshot("unreadable change");
        return;
    }
    m_sequence = header.sequence;
}

void NatsEdge::wait(const NatsWire::Header& header, const QByteArray& body)
{
    if (m_waiting.size() >= MAX_WAITING || m_waitingBytes + body.size() > m_maxWaitingBytes) {
        // The answer under way would need what is dropped: a fresh one.
        qWarning().noquote() << QStringLiteral("[relay] %1 changes (%2 bytes) waited for a snapshot; dropped, a fresh snapshot is asked for")
                                    .arg(m_waiting.size())
                                    .arg(m_waitingBytes);
        m_waiting.clear();
        m_waitingBytes = 0;
        m_requesting = false;
    }
    m_waiting.append({ header, body });
    m_waitingBytes += body.size();
}

void NatsEdge::takeAnnouncement(const NatsWire::Header& header)
{
    // Sent after every change it counts: a higher number means the last
    // changes were lost.
    if (!m_synced) {
        // The origin is there now: a request it may have missed (sent while
        // it was silent) is not waited out. One it is answering is left to
        // finish: asking again would only make it send the tree twice.
        if (m_requestMaybeMissed)
            m_requesting = false;
        requestSnapshot("catching up");
    } else if (header.base != m_base)
        requestSnapshot("new base");
    else if (header.sequence > m_sequence)
        requestSnapshot("lost the latest changes");
}

void NatsEdge::takeSnapshot(const QByteArray& data)
{
    if (!m_requesting)
        return;
    NatsWire::Header header;
    QByteArray body;
    // Also a NATS status (no one answering) arrives here: the request is repeated.
    int index = 0;
    int count = 0;
    quint64 request = 0;
    QByteArray part;
    if (!NatsWire::decode(data, &header, &body) || !NatsWire::decodePart(body, &index, &count, &request, &part))
        return;
    // An answer to an earlier request may stand at an older point.
    if (request != m_request)
        return;
    // Progress: only a stalled answer is asked for again.
    m_requestMaybeMissed = false;
    m_requestTimer.start();
    // The parts come in order; one missing (or of another snapshot) drops
    // the whole, and the request is repeated.
    if (index == 0) {
        m_parts.clear();
        m_partsHeader = header;
        m_nextPart = 0;
    }
    if (index != m_nextPart || header.base != m_partsHeader.base || header.sequence != m_partsHeader.sequence) {
        m_parts.clear();
        m_nextPart = 0;
        return;
    }
    m_parts.append(part);
    if (++m_nextPart < count)
        return;
    const QByteArray json = qUncompress(std::exchange(m_parts, {}));
    m_nextPart = 0;
    rapidjson::Document document;
    document.Parse(json.constData(), static_cast<size_t>(json.size()));
    if (document.HasParseError() || !document.IsObject()) {
        qWarning().noquote() << QStringLiteral("[relay] Unreadable snapshot from the origin (%1 bytes)").arg(data.size());
        return;
    }
    if (header.base == m_base && header.sequence < m_sequence) {
        // The origin never goes back within a base, so this one is stale:
        // taking it would move the seats back.
        qWarning().noquote()
            << QStringLiteral("[relay] A snapshot at change %1 came after change %2 was applied; refused").arg(header.sequence).arg(m_sequence);
        m_requesting = false;
        requestSnapshot("refused an older snapshot");
        return;
    }
    std::unique_ptr<V2_Data> tree(RelayTree::newRoot());
    tree->fromRapidJson(document, nullptr);
    std::unique_ptr<V2_Data> difference(m_tree->difference(tree.get()));
    difference->setRoot(true);
    const int changed = difference->datas()->size();
    if (changed > 0) {
        RelayTree::restorePathFlags(difference.get());
        m_server->sendV2Data(difference.get());
        emit changeApplied();
    }
    m_tree = std::move(tree);
    const bool newBase = header.base != m_base;
    m_base = header.base;
    m_sequence = header.sequence;
    m_originLive = header.live;
    m_originHeard = true;
    m_silence.start();
    m_hasSnapshot = true;
    m_synced = true;
    m_requesting = false;
    m_requestTimer.stop();
    ++m_snapshots;
    qInfo().noquote() << QStringLiteral(
                             "[relay] Snapshot of the origin taken (base %1%2, change %3); the seats were brought up to date (%4 top-level keys changed)")
                             .arg(QString::fromLatin1(m_base), newBase ? QStringLiteral(", new") : QString())
                             .arg(m_sequence)
                             .arg(changed);
    // What came meanwhile, past the snapshot. Changes of another base are
    // dropped: if that base is newer, its next message asks again.
    const QVector<Pending> waiting = std::exchange(m_waiting, {});
    m_waitingBytes = 0;
    for (const Pending& pending : waiting) {
        if (pending.header.base == m_base)
            takeChange(pending.header, pending.body);
    }
    updateLive();
}

bool NatsEdge::apply(const QByteArray& body)
{
    rapidjson::Document document;
    document.Parse(body.constData(), static_cast<size_t>(body.size()));
    if (document.HasParseError() || !document.IsObject())
        return false;
    // The seats' clients merge the same JSON into the same tree.
    m_tree->fromRapidJson(document, nullptr);
    std::unique_ptr<V2_Data> change(RelayTree::newRoot());
    std::unique_ptr<V2_Data> deleted(RelayTree::newRoot());
    change->fromRapidJson(document, deleted.get());
    RelayTree::addDeletions(change.get(), deleted.get());
    if (change->datas()->isEmpty())
        return true;
    RelayTree::restorePathFlags(change.get());
    m_server->sendV2Data(change.get());
    ++m_applied;
    emit changeApplied();
    return true;
}

void NatsEdge::requestSnapshot(const char* why)
{
    m_synced = false;
    if (m_requesting || !m_nats->isConnected())
        return;
    qDebug().noquote() << QStringLiteral("[relay] Asking the origin for a snapshot (%1)").arg(QLatin1String(why));
    m_parts.clear();
    m_nextPart = 0;
    m_requesting = m_nats->request(NatsWire::snapshotSubject(m_prefix), QByteArray::number(++m_request));
    m_requestMaybeMissed = !m_originHeard;
    m_requestTimer.start();
}

void NatsEdge::lose()
{
    qWarning().noquote() << QStringLiteral("[relay] Lost NATS at %1; the seats are told and keep their data").arg(m_nats->url());
    m_hasSnapshot = false;
    m_synced = false;
    m_requesting = false;
    // Heard again only after the reconnect: the first request may reach
    // NATS before the origin is back on it.
    m_originHeard = false;
    m_requestTimer.stop();
    m_silence.stop();
    m_waiting.clear();
    m_waitingBytes = 0;
    m_parts.clear();
    m_nextPart = 0;
    updateLive();
}

void NatsEdge::updateLive()
{
    const bool live = m_nats->isConnected() && m_hasSnapshot && m_originLive && m_originHeard;
    if (live == m_live)
        return;
    m_live = live;
    RelaySeats::tell(m_server, live);
    emit liveChanged(live);
}
