#include "Relay.h"

#include "NatsConnection.h"
#include "NatsEdge.h"
#include "NatsOrigin.h"
#include "ProgramTlsPair.h"
#include "RelayAccounts.h"
#include "RelayFeed.h"
#include "RelayRecorder.h"
#include "TeamChannel.h"
#include "V2_Server.h"

#include <QDebug>

Relay::Relay(const RelayOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_server(std::make_unique<V2_Server>())
    , m_feed(std::make_unique<RelayFeed>(m_server.get(), options))
    , m_team(std::make_unique<TeamChannel>(m_server.get()))
    , m_recorder(std::make_unique<RelayRecorder>(m_feed->client()))
{
    m_server->setSsl(options.tls);
    // Seats send only short uploads: a longer line closes its connection
    // before it is parsed on the relay's thread.
    m_server->setMaxLineBytes(MAX_LINE_BYTES);
    connect(m_server.get(), QOverload<int, QString>::of(&V2_Server::onSnapshotRequest), this, &Relay::answerSnapshot);
    connect(m_server.get(), QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest), this,
            [this](int descriptor, const QString& channel, const QString&) { answerSnapshot(descriptor, channel); });
    if (!options.natsPublish.isEmpty()) {
        m_nats = std::make_unique<NatsConnection>(options.natsPublish, QStringLiteral("lanterra-relay origin"));
        m_origin = std::make_unique<NatsOrigin>(m_feed.get(), m_nats.get(), options.natsPrefix);
    } else if (!options.natsSubscribe.isEmpty()) {
        m_nats = std::make_unique<NatsConnection>(options.natsSubscribe, QStringLiteral("lanterra-relay edge"));
        m_edge = std::make_unique<NatsEdge>(m_server.get(), m_nats.get(), options.natsPrefix, options.channels);
    }
}

Relay::~Relay()
{
    // The upstream first (the seats are told), then the seats' connections:
    // their threads call into the team channel directly until they end.
    m_feed->stop();
    m_origin.reset();
    m_edge.reset();
    m_nats.reset();
    m_server.reset();
}

bool Relay::setUp(QString* error, int* exitCode, QString* tlsNote)
{
    *exitCode = 2;
    if (m_options.usersFile.isEmpty())
        RelayAccounts::addDemoUser(*m_server, m_options.channels);
    else if (!RelayAccounts::loadAccounts(*m_server, m_options, error))
        return false;
    QString note;
    if (m_options.tls && !ProgramTlsPair::apply(m_server.get(), m_options.certificateFile, m_options.keyFile, &note, error))
        return false;
    if (tlsNote)
        *tlsNote = note;
    if (m_options.listen && !m_server->startServer(m_options.port)) {
        *error = QStringLiteral("cannot listen on port %1: %2").arg(m_options.port).arg(m_server->errorString());
        *exitCode = 3;
        return false;
    }
    // The recording is opened last, so a relay that cannot start leaves no
    // empty file behind.
    const bool ready = (!m_nats || m_nats->open(error)) && (!m_origin || m_origin->start(error)) && (!m_edge || m_edge->start(error))
                       && (m_options.recordFile.isEmpty() || m_recorder->start(m_options.recordFile, error));
    if (!ready) {
        m_server->stopServer();
        return false;
    }
    return true;
}

void Relay::start()
{
    // An edge's tree comes over NATS, as soon as it is connected.
    if (!m_edge)
        m_feed->start();
}

V2_Server* Relay::server() const
{
    return m_server.get();
}

RelayFeed* Relay::feed() const
{
    return m_feed.get();
}

TeamChannel* Relay::team() const
{
    return m_team.get();
}

RelayRecorder* Relay::recorder() const
{
    return m_recorder.get();
}

NatsOrigin* Relay::origin() const
{
    return m_origin.get();
}

NatsEdge* Relay::edge() const
{
    return m_edge.get();
}

void Relay::answerSnapshot(int descriptor, const QString& channel)
{
    if (channel == TeamChannel::CHANNEL)
        m_team->answerSnapshot(descriptor);
    else if (m_edge ? !m_edge->answerSnapshot(descriptor, channel) : !m_feed->answerSnapshot(descriptor, channel))
        qDebug().noquote() << QStringLiteral("[relay] Nothing relayed for channel %1").arg(channel);
}
