#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class NatsConnection;
class RelayFeed;
class V2_Data;

// The relay's origin role: every change RelayFeed sends its seats goes to
// NATS as one message per channel it touches, numbered across channels
// within a base; snapshot requests are answered with the whole tree and the
// number it stands at. A new base (at start and at every new upstream
// login) tells the edges to take a fresh snapshot. NATS holds no tree.
// Until its upstream is first followed, an origin is silent: a restarted
// one has no tree yet, and the edges keep theirs meanwhile.
class NatsOrigin final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(NatsOrigin)

public:
    static constexpr int ANNOUNCE_MS = 1000;
    // Room left in a message for the header and a part's place.
    static constexpr int HEADER_ROOM = 256;
    // Requests arriving this close together share one answer.
    static constexpr int ANSWER_WINDOW_MS = 20;

    NatsOrigin(RelayFeed* feed, NatsConnection* nats, const QString& prefix, QObject* parent = nullptr);
    ~NatsOrigin() override;

    // Listens for snapshot requests and announces the first base.
    bool start(QString* error);
    QByteArray base() const;
    quint64 sequence() const;
    quint64 messagesPublished() const;
    // How many times the whole tree was serialised for an answer.
    quint64 snapshotsBuilt() const;
    // Snapshot parts are cut to this size at most (default: what the NATS
    // server accepts); tests set it small.
    void setPartBytes(int bytes);

private:
    struct Asker
    {
        QByteArray replyTo;
        quint64 request = 0;
    };

    void publishChange(const V2_Data* change);
    void publishPart(const QByteArray& subject, const V2_Data* part);
    void takeRequest(int subscription, const QByteArray& subject, const QByteArray& replyTo, const QByteArray& data);
    void answerRequests();
    void beginBase();
    void announce();

    RelayFeed* m_feed;
    NatsConnection* m_nats;
    QString m_prefix;
    QByteArray m_base;
    quint64 m_sequence = 0;
    quint64 m_published = 0;
    int m_requests = -1;
    int m_partBytes = 0;
    // The last snapshot, compressed, and where it stands: edges asking
    // together (after a new base) share it, and it is built at most once
    // per point.
    QByteArray m_snapshot;
    QByteArray m_snapshotBase;
    quint64 m_snapshotSequence = 0;
    quint64 m_snapshotsBuilt = 0;
    QVector<Asker> m_askers;
    bool m_ready = false;
    QTimer m_announce;
    QTimer m_answer;
};
