#include "NatsConnection.h"

#include <QDebug>
#include <QMetaObject>

#include <nats/nats.h>

#include <atomic>
#include <mutex>

// What libnats' callbacks hold: the connection object while it lives, and a
// count of the parties still able to call back (the owner, the connection
// until its closed callback, each subscription until its completion
// callback), so that the last one frees it.
struct NatsBridge
{
    std::mutex mutex;
    NatsConnection* target = nullptr;
    std::atomic<int> references{ 1 };

    void retain() { references.fetch_add(1); }
    void release()
    {
        if (references.fetch_sub(1) == 1)
            delete this;
    }
    // Runs call on the target's thread, if the target still exists then.
    template <typename Call> void post(Call call)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (NatsConnection* connection = target)
            QMetaObject::invokeMethod(
                connection, [connection, call] { call(connection); }, Qt::QueuedConnection);
    }

    static void onConnected(natsConnection*, void* closure)
    {
        static_cast<NatsBridge*>(closure)->post([](NatsConnection* connection) { connection->setConnected(true); });
    }
    static void onDisconnected(natsConnection*, void* closure)
    {
        static_cast<NatsBridge*>(closure)->post([](NatsConnection* connection) { connection->setConnected(false); });
    }
    static void onClosed(natsConnection*, void* closure)
    {
        auto* bridge = static_cast<NatsBridge*>(closure);
        bridge->post([](NatsConnection* connection) { connection->setConnected(false); });
        bridge->release();
    }
};

namespace {

// One subscription's closure.
struct NatsTap
{
    NatsBridge* bridge;
    int id;
};

void onMessage(natsConnection*, natsSubscription*, natsMsg* message, void* closure)
{
    const auto* tap = static_cast<const NatsTap*>(closure);
    const int id = tap->id;
    const QByteArray subject(natsMsg_GetSubject(message));
    const char* reply = natsMsg_GetReply(message);
    const QByteArray replyTo = reply ? QByteArray(reply) : QByteArray();
    const QByteArray data(natsMsg_GetData(message), natsMsg_GetDataLength(message));
    natsMsg_Destroy(message);
    tap->bridge->post([id, subject, replyTo, data](NatsConnection* connection) { emit connection->received(id, subject, replyTo, data); });
}

// Asynchronous errors, such as messages dropped for a slow consumer (the
// edge then finds a gap and takes a snapshot).
void onError(natsConnection*, natsSubscription*, natsStatus status, void*)
{
    qWarning().noquote() << QStringLiteral("[nats] %1").arg(QString::fromUtf8(natsStatus_GetText(status)));
}

void onComplete(void* closure)
{
    auto* tap = static_cast<NatsTap*>(closure);
    tap->bridge->release();
    delete tap;
}

QString statusText(natsStatus status)
{
    return QString::fromUtf8(natsStatus_GetText(status));
}

} // namespace

NatsConnection::NatsConnection(const QString& url, const QString& name, QObject* parent)
    : QObject(parent)
    , m_url(url)
    , m_name(name)
    , m_bridge(new NatsBridge)
{
    m_bridge->target = this;
    // The inbox's answers are the replies to this connection's requests.
    connect(this, &NatsConnection::received, this, [this](int subscription, const QByteArray&, const QByteArray&, const QByteArray& data) {
        if (subscription == m_inboxSubscription)
            emit replied(data);
    });
}

NatsConnection::~NatsConnection()
{
    {
        std::lock_guard<std::mutex> lock(m_bridge->mutex);
        m_bridge->target = nullptr;
    }
    for (natsSubscription* subscription : m_subscriptions) {
        natsSubscription_Unsubscribe(subscription);
        natsSubscription_Destroy(subscription);
    }
    if (m_connection) {
        natsConnection_Close(m_connection);
        natsConnection_Destroy(m_connection);
    }
    m_bridge->release();
}

bool NatsConnection::open(QString* error)
{
    natsOptions* options = nullptr;
    natsStatus status = natsOptions_Create(&options);
    if (status == NATS_OK)
        status = natsOptions_SetURL(options, m_url.toUtf8().constData());
    if (status == NATS_OK)
        status = natsOptions_SetName(options, m_name.toUtf8().constData());
    if (status == NATS_OK)
        status = natsOptions_SetAllowReconnect(options, true);
    if (status == NATS_OK)
        status = natsOptions_SetMaxReconnect(options, -1);
    if (status == NATS_OK)
        status = natsOptions_SetReconnectWait(options, RECONNECT_WAIT_MS);
    if (status == NATS_OK)
        status = natsOptions_SetPingInterval(options, PING_INTERVAL_MS);
    if (status == NATS_OK)
        status = natsOptions_SetMaxPingsOut(options, MAX_PINGS_OUT);
    if (status == NATS_OK)
        status = natsOptions_SetErrorHandler(options, &onError, nullptr);
    if (status == NATS_OK)
        status = natsOptions_SetRetryOnFailedConnect(options, true, &NatsBridge::onConnected, m_bridge);
    if (status == NATS_OK)
        status = natsOptions_SetReconnectedCB(options, &NatsBridge::onConnected, m_bridge);
    if (status == NATS_OK)
        status = natsOptions_SetDisconnectedCB(options, &NatsBridge::onDisconnected, m_bridge);
    if (status == NATS_OK)
        status = natsOptions_SetClosedCB(options, &NatsBridge::onClosed, m_bridge);
    if (status != NATS_OK) {
        natsOptions_Destroy(options);
        *error = QStringLiteral("NATS options for %1: %2").arg(m_url, statusText(status));
        return false;
    }
    m_bridge->retain();
    status = natsConnection_Connect(&m_connection, options);
    natsOptions_Destroy(options);
    if (status != NATS_OK && status != NATS_NOT_YET_CONNECTED) {
        m_bridge->release();
        m_connection = nullptr;
        *error = QStringLiteral("cannot connect to NATS at %1: %2").arg(m_url, statusText(status));
        return false;
    }
    // Connected at once: libnats calls no callback for that.
    if (status == NATS_OK)
        m_bridge->post([](NatsConnection* connection) { connection->setConnected(true); });
    natsInbox* inbox = nullptr;
    if (natsInbox_Create(&inbox) == NATS_OK) {
        m_inbox = QByteArray(inbox);
        natsInbox_Destroy(inbox);
        m_inboxSubscription = subscribe(m_inbox);
    }
    return true;
}

bool NatsConnection::isConnected() const
{
    return m_connected;
}

QString NatsConnection::url() const
{
    return m_url;
}

qint64 NatsConnection::maxPayload() const
{
    return m_connection ? natsConnection_GetMaxPayload(m_connection) : 0;
}

bool NatsConnection::publish(const QByteArray& subject, const QByteArray& data, const QByteArray& replyTo)
{
    if (!m_connection)
        return false;
    const natsStatus status = replyTo.isEmpty()
        ? natsConnection_Publish(m_connection, subject.constData(), data.constData(), data.size())
        : natsConnection_PublishRequest(m_connection, subject.constData(), replyTo.constData(), data.constData(), data.size());
    return status == NATS_OK;
}

int NatsConnection::subscribe(const QByteArray& subject)
{
    if (!m_connection)
        return -1;
    const int id = static_cast<int>(m_subscriptions.size());
    auto* tap = new NatsTap{ m_bridge, id };
    natsSubscription* subscription = nullptr;
    if (natsConnection_Subscribe(&subscription, m_connection, subject.constData(), &onMessage, tap) != NATS_OK) {
        delete tap;
        qWarning().noquote() << QStringLiteral("[nats] Cannot subscribe to %1").arg(QString::fromUtf8(subject));
        return -1;
    }
    m_bridge->retain();
    if (natsSubscription_SetOnCompleteCB(subscription, &onComplete, tap) != NATS_OK) {
        // Never expected for a fresh subscription; the tap then outlives it.
        m_bridge->release();
    }
    m_subscriptions.push_back(subscription);
    return id;
}

bool NatsConnection::request(const QByteArray& subject, const QByteArray& data)
{
    return !m_inbox.isEmpty() && publish(subject, data, m_inbox);
}

void NatsConnection::setConnected(bool isUp)
{
    if (isUp == m_connected)
        return;
    m_connected = isUp;
    if (isUp)
        emit connected();
    else
        emit disconnected();
}
