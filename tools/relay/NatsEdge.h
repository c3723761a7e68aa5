#pragma once

#include "NatsWire.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <memory>

class NatsConnection;
class V2_Data;
class V2_Server;

// The relay's edge role: the tree comes from an origin over NATS instead of
// a timing server, and is served to the seats as the team relay serves its
// upstream. A snapshot is asked for at the start, after a reconnect, at a
// new base and at any gap in the change numbers; changes arriving meanwhile
// wait and only those past the snapshot's number are applied. The seats
// get, at each snapshot, the difference from what they hold, so they never
// reconnect. While the edge has no snapshot, is away from NATS or its origin
// (silent, or without its upstream), the seats get the relay's "lost"
// notice, and "back" when it follows again.
class NatsEdge final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(NatsEdge)

public:
    // A snapshot request is repeated after this long without a part of its answer.
    static constexpr int REQUEST_TIMEOUT_MS = 2000;
    // An origin not heard from for this long is taken as gone.
    static constexpr int SILENCE_MS = 3500;
    // Changes kept while a snapshot is awaited, in number and in bytes; past
    // either, they are dropped and a fresh snapshot is asked for.
    static constexpr int MAX_WAITING = 20000;
    static constexpr qint64 MAX_WAITING_BYTES = 64 * 1024 * 1024;

    NatsEdge(V2_Server* server, NatsConnection* nats, const QString& prefix, const QStringList& channels, QObject* parent = nullptr);
    ~NatsEdge() override;

    bool start(QString* error);
    // The seats follow the origin.
    bool isLive() const;
    // What the seats hold.
    const V2_Data* tree() const;
    QByteArray base() const;
    quint64 sequence() const;
    quint64 snapshotsTaken() const;
    quint64 changesApplied() const;
    // Whether channel is served; if so, its content goes to the seat.
    bool answerSnapshot(int descriptor, const QString& channel);
    // For tests: the next change message is dropped as if NATS had lost it.
    void dropNextChange();
    // For tests: a stalled answer is asked again after ms.
    void setRequestTimeout(int ms);
    // For tests: the bytes of changes kept while a snapshot is awaited.
    void setMaxWaitingBytes(qint64 bytes);

signals:
    void liveChanged(bool live);
    // One change went out to the seats.
    void changeApplied();

private:
    struct Pending
    {
        NatsWire::Header header;
        QByteArray body;
    };

    void received(int subscription, const QByteArray& subject, const QByteArray& replyTo, const QByteArray& data);
    void takeChange(const NatsWire::Header& header, const QByteArray& body);
    void wait(const NatsWire::Header& header, const QByteArray& body);
    void takeAnnouncement(const NatsWire::Header& header);
    void takeSnapshot(const QByteArray& data);
    bool apply(const QByteArray& body);
    void requestSnapshot(const char* why);
    void lose();
    void updateLive();

    V2_Server* m_server;
    NatsConnection* m_nats;
    QString m_prefix;
    QStringList m_channels;
    std::unique_ptr<V2_Data> m_tree;
    QByteArray m_base;
    quint64 m_sequence = 0;
    // A snapshot was taken since the connection came; the changes follow on from it.
    bool m_hasSnapshot = false;
    bool m_synced = false;
    bool m_originHeard = false;
    bool m_originLive = false;
    bool m_live = false;
    bool m_requesting = false;
    // The request went out while the origin was not heard, so it may have
    // missed it; cleared by the first part of the answer.
    bool m_requestMaybeMissed = false;
    // The number of the latest request: only its answer is taken.
    quint64 m_request = 0;
    bool m_dropNext = false;
    QVector<Pending> m_waiting;
    qint64 m_waitingBytes = 0;
    qint64 m_maxWaitingBytes = MAX_WAITING_BYTES;
    int m_treeSubscription = -1;
    QTimer m_requestTimer;
    QTimer m_silence;
    // The parts of the snapshot arriving, and where it stands.
    QByteArray m_parts;
    NatsWire::Header m_partsHeader;
    int m_nextPart = 0;
    quint64 m_snapshots = 0;
    quint64 m_applied = 0;
};
