#include "RelayFeed.h"

#include "RelayOptions.h"
#include "RelaySeats.h"
#include "RelayTree.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_Server.h"

#include <QCoreApplication>
#include <QDebug>

using RelayTree::addDeletions;
using RelayTree::newRoot;
using RelayTree::restorePathFlags;

RelayFeed::RelayFeed(V2_Server* server, const RelayOptions& options, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_client(std::make_unique<V2_Client>(QStringLiteral("lanterra-relay"), QCoreApplication::applicationVersion(), QStringLiteral("PEX JSON PROTOCOL"),
                                           QStringLiteral("1.0.0"), options.upstreamPort, options.password, options.user, options.upstreamHost))
    , m_channels(options.channels)
    , m_seatsHold(newRoot())
{
    m_client->setSsl(options.upstreamTls);
    m_pinned = !options.upstreamPin.isEmpty();
    if (m_pinned)
        m_client->setExpectedFingerprint(options.upstreamPin);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &RelayFeed::catchUp);
    connect(m_client.get(), &V2_Client::onLoginDone, this, &RelayFeed::loggedIn);
    connect(m_client.get(), &V2_Client::onChannelJoin, this, &RelayFeed::channelJoined);
    connect(m_client.get(), &V2_Client::dataReceived, this, &RelayFeed::dataArrived);
    connect(m_client.get(), &V2_Client::onDisconnected, this, &RelayFeed::dropped);
    connect(m_client.get(), &V2_Client::errorReceived, this,
            [](const QString& error) { qWarning().noquote() << QStringLiteral("[relay] Upstream: %1").arg(error); });
    // Without a pin any certificate is taken: its fingerprint is the pin to give.
    connect(m_client.get(), &V2_Client::certificateAccepted, this, [this](const QByteArray& fingerprint, const QString& subject) {
        if (m_pinned)
            return;
        qWarning().noquote() << QStringLiteral("[relay] Upstream certificate taken unchecked (%1); to accept only it, give --upstream-pin %2")
                                    .arg(subject, QString::fromLatin1(fingerprint));
    });
    connect(m_client.get(), &V2_Client::certificateRejected, this, [](const QByteArray& fingerprint, const QString& subject) {
        qCritical().noquote() << QStringLiteral("[relay] Upstream certificate refused (%1, SHA-256 %2): not the pinned one")
                                     .arg(subject, QString::fromLatin1(fingerprint));
    });
}

RelayFeed::~RelayFeed()
{
    // The server may be gone already: nothing more is published.
    disconnect(m_client.get(), nullptr, this, nullptr);
    m_client->setActive(false);
}

V2_Client* RelayFeed::client() const
{
    return m_client.get();
}

void RelayFeed::start()
{
    qInfo().noquote() << QStringLiteral("[relay] Connecting to %1:%2 as %3 (%4)")
                             .arg(m_client->host())
                             .arg(m_client->port())
                             .arg(m_client->username(), m_client->getSsl() ? QStringLiteral("TLS") : QStringLiteral("plain TCP"));
    m_client->setActive(true);
}

void RelayFeed::stop()
{
    m_client->setActive(false);
}

void RelayFeed::setSettleMs(int ms)
{
    m_settleMs = ms;
}

bool RelayFeed::isLive() const
{
    return m_live;
}

QStringList RelayFeed::channels() const
{
    return m_channels;
}

quint64 RelayFeed::linesRelayed() const
{
    return m_lines;
}

bool RelayFeed::answerSnapshot(int descriptor, const QString& channel)
{
    if (!m_channels.contains(channel))
        return false;
    // Until catching up, a joining seat gets what the others hold: after a
    // new login the client's mirror is partial, and catching up sends every
    // seat only the difference from that copy.
    const V2_Data* source = seatsTree();
    if (std::unique_ptr<V2_Data> snapshot{RelayTree::channelCopy(source, channel)})
        m_server->sendV2Data(descriptor, snapshot.get());
    // The program holds itself stale from this notice on, whatever data
    // comes before or after it, until the relay says it is back.
    if (!m_live)
        RelaySeats::tell(m_server, false, descriptor);
    return true;
}

const V2_Data* RelayFeed::seatsTree() const
{
    return !m_live && m_seatsHold ? m_seatsHold.get() : m_client->getCurrentData();
}

void RelayFeed::loggedIn()
{
    qInfo().noquote() << QStringLiteral("[relay] Logged in to %1 (%2); joining %3 channels").arg(m_client->serverName(), m_client->serverVersion()).arg(m_channels.size());
    m_loggedIn = true;
    m_firstLinePending = true;
    m_awaitedJoins = QSet<QString>(m_channels.cbegin(), m_channels.cend());
    for (const QString& channel : qAsConst(m_channels))
        m_client->joinChannel(channel, QString());
    // A refused join is never confirmed: the wait ends anyway.
    m_settle.start(3 * m_settleMs);
}

void RelayFeed::channelJoined(const QString& channel)
{
    m_awaitedJoins.remove(channel);
    if (m_awaitedJoins.isEmpty() && !m_live)
        m_settle.start(m_settleMs);
}

void RelayFeed::dataArrived()
{
    m_firstLinePending = false;
    // Until catching up, the lines only fill the mirror.
    if (!m_live)
        return;
    std::unique_ptr<V2_Data> change(new V2_Data(m_client->getRxData()));
    change->setRoot(true);
    addDeletions(change.get(), m_client->getDeletedData());
    if (change->datas()->isEmpty())
        return;
    restorePathFlags(change.get());
    m_server->sendV2Data(change.get());
    ++m_lines;
    emit lineRelayed();
    emit changePublished(change.get());
}

void RelayFeed::dropped()
{
    m_loggedIn = false;
    m_settle.stop();
    if (!m_live)
        return;
    // The client keeps the mirror until the next login's first line: it is
    // what the seats hold.
    m_seatsHold.reset(new V2_Data(m_client->getCurrentData()));
    m_live = false;
    qWarning().noquote() << QStringLiteral("[relay] Lost the timing server %1:%2; the seats are told and keep their data").arg(m_client->host()).arg(m_client->port());
    RelaySeats::tell(m_server, false);
    emit liveChanged(false);
}

void RelayFeed::catchUp()
{
    if (m_live || !m_loggedIn)
        return;
    // The login's first line replaces the client's mirror whole, telling no
    // one what it dropped: until it has come, the mirror is the old one.
    if (m_firstLinePending) {
        m_settle.start(m_settleMs);
        return;
    }
    std::unique_ptr<V2_Data> difference(m_seatsHold->difference(m_client->getCurrentData()));
    difference->setRoot(true);
    const int changed = difference->datas()->size();
    restorePathFlags(difference.get());
    if (changed > 0) {
        m_server->sendV2Data(difference.get());
        emit changePublished(difference.get());
    }
    m_seatsHold.reset();
    m_live = true;
    // Also after a quiet outage, when there was nothing to send.
    RelaySeats::tell(m_server, true);
    qInfo().noquote() << QStringLiteral("[relay] Following the timing server; the seats were brought up to date (%1 top-level keys changed)").arg(changed);
    emit liveChanged(true);
}
