#pragma once

#include "RelayOptions.h"

#include <QObject>

#include <memory>

class NatsConnection;
class NatsEdge;
class NatsOrigin;
class RelayFeed;
class RelayRecorder;
class TeamChannel;
class V2_Server;

// The team relay: one login at the timing server (RelayFeed), the library's
// server for the team's seats, the team channel (TeamChannel) and, when
// asked, the recording (RelayRecorder). Snapshot requests of the seats are
// answered from the mirror or from the team node.
//
// Over NATS it is an origin (NatsOrigin: the feed's changes go to NATS as
// well) or an edge (NatsEdge: no upstream, the tree comes from an origin).
class Relay final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(Relay)

public:
    // The longest line a seat may send: an upload of follow entries and
    // alert rules is a few kilobytes.
    static constexpr qint64 MAX_LINE_BYTES = 64 * 1024;

    explicit Relay(const RelayOptions& options, QObject* parent = nullptr);
    ~Relay() override;

    // Accounts, TLS pair, recording file and listening port; false with a
    // message (exitCode 2 for a bad file, 3 for a port it cannot listen on).
    bool setUp(QString* error, int* exitCode, QString* tlsNote = nullptr);
    // Logs in upstream (and keeps doing so).
    void start();

    V2_Server* server() const;
    RelayFeed* feed() const;
    TeamChannel* team() const;
    RelayRecorder* recorder() const;
    // Null unless the relay is one.
    NatsOrigin* origin() const;
    NatsEdge* edge() const;

private:
    void answerSnapshot(int descriptor, const QString& channel);

    RelayOptions m_options;
    std::unique_ptr<V2_Server> m_server;
    std::unique_ptr<RelayFeed> m_feed;
    std::unique_ptr<TeamChannel> m_team;
    std::unique_ptr<RelayRecorder> m_recorder;
    std::unique_ptr<NatsConnection> m_nats;
    std::unique_ptr<NatsOrigin> m_origin;
    std::unique_ptr<NatsEdge> m_edge;
};
