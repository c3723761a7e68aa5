#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <vector>

struct __natsConnection;
struct __natsSubscription;
struct NatsBridge;

// One connection to a NATS server, in Qt terms. libnats runs its callbacks
// on its own threads: they copy what they got and queue it to this object's
// thread, and never touch a Qt object themselves. The connection keeps
// trying to (re)connect until it is destroyed; publishes meanwhile are kept
// in libnats' reconnect buffer.
class NatsConnection final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(NatsConnection)

public:
    // Time between two connection attempts.
    static constexpr int RECONNECT_WAIT_MS = 250;
    // A server that vanished without closing the connection is noticed
    // after this many unanswered pings, one per interval.
    static constexpr int PING_INTERVAL_MS = 5000;
    static constexpr int MAX_PINGS_OUT = 2;

    explicit NatsConnection(const QString& url, const QString& name, QObject* parent = nullptr);
    ~NatsConnection() override;

    // Starts connecting (connected() when it is); false with a message for
    // a URL or option libnats refuses.
    bool open(QString* error);
    bool isConnected() const;
    QString url() const;
    // The largest message the server accepts (0 while not connected).
    qint64 maxPayload() const;

    bool publish(const QByteArray& subject, const QByteArray& data, const QByteArray& replyTo = QByteArray());
    // Messages on subject (wildcards allowed) come through received() with
    // the returned id, in the order the server sent them; -1 on failure.
    int subscribe(const QByteArray& subject);
    // A request to whoever answers subject: the answers come through
    // replied(), on this connection's own inbox.
    bool request(const QByteArray& subject, const QByteArray& data);

signals:
    // The first connection and every reconnection.
    void connected();
    void disconnected();
    void received(int subscription, const QByteArray& subject, const QByteArray& replyTo, const QByteArray& data);
    void replied(const QByteArray& data);

private:
    friend struct NatsBridge;
    void setConnected(bool isUp);

    QString m_url;
    QString m_name;
    __natsConnection* m_connection = nullptr;
    std::vector<__natsSubscription*> m_subscriptions;
    NatsBridge* m_bridge = nullptr;
    QByteArray m_inbox;
    int m_inboxSubscription = -1;
    bool m_connected = false;
};
