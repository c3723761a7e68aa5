#include "V2_Server.h"

#include "V2_Data.h"
#include "V2_MessageHandler.h"
#include "V2_Profile.h"
#include "V2_Publication.h"
#include "V2_ServerSocket.h"
#include "V2_User.h"
#include "V2_message.h"
#include "AccountStore.h"
#include "LogThrottle.h"
#include "LoginRefusals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QSet>
#include <QSettings>

#include <algorithm>

namespace {

// How long an accept waits at most for the closing connections it cut short.
constexpr qint64 kCutFlushWaitMs = 100;

QByteArray readResource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The pair every copy of the library holds, read once.
const QSslCertificate& builtInCertificate()
{
    static const QSslCertificate certificate(readResource(QStringLiteral(":/ssl/certificate")), QSsl::Pem);
    return certificate;
}

} // namespace

V2_Server::V2_Server(QObject* parent)
    : QTcpServer(parent)
    , m_users(new QMap<QString, V2_User*>)
    , m_profiles(new QMap<QString, V2_Profile*>)
    , m_pingRate(20)
    , m_timeout(40)
    , m_notLoggedTimeout(5)
    , m_fullAccess(false)
    , m_started(false)
    , m_ssl(true)
    , m_version(1)
    , m_subVersion(0)
    , m_revision(0)
    , m_minVersion(1)
    , m_minSubVersion(0)
    , m_minRevision(0)
    , m_maxPendingOutput(DEFAULT_MAX_PENDING_OUTPUT)
    , m_maxLineBytes(DEFAULT_MAX_LINE_BYTES)
    , m_maxNotLoggedLineBytes(DEFAULT_MAX_NOT_LOGGED_LINE_BYTES)
    , m_maxNotLoggedConnections(DEFAULT_MAX_NOT_LOGGED_CONNECTIONS)
    , m_maxNotLoggedPendingOutput(DEFAULT_MAX_NOT_LOGGED_PENDING_OUTPUT)
    , m_loginTimeout(DEFAULT_LOGIN_TIMEOUT)
    , m_maxRefusedLogins(DEFAULT_MAX_REFUSED_LOGINS)
    , m_maxJoinsPerMinute(DEFAULT_MAX_JOINS_PER_MINUTE)
    , m_loginRefusals(new LoginRefusals)
{
    Q_INIT_RESOURCE(ssl);
    m_certificate = builtInCertificate();
    m_privateKey = QSslKey(readResource(QStringLiteral(":/ssl/privateKey")), QSsl::Rsa, QSsl::Pem);
}

V2_Server::~V2_Server()
{
    close();
    // End every connection and wait for its thread. A thread may stand in a
    // blocking call to this object: those calls are dropped (which releases
    // the thread) instead of being run on a server that is going away.
    // Every thread still running, including those whose descriptor the
    // table has already handed to a newer connection.
    QMutexLocker locker(&m_mutex);
    const QList<V2_ServerSocket*> connections = m_live.values();
    m_clients.clear();
    m_live.clear();
    locker.unlock();
    for (V2_ServerSocket* connection : connections) {
        disconnect(connection, nullptr, this, nullptr);
        connection->doDisconnect();
    }
    for (V2_ServerSocket* connection : connections) {
        while (!connection->wait(10))
            QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
        delete connection;
    }
    QCoreApplication::removePostedEvents(this, QEvent::MetaCall);
    deleteRegistries();
    delete m_users;
    delete m_profiles;
}

// ---------------------------------------------------------------------------
// Starting and stopping

bool V2_Server::startServer(int port)
{
    m_started = listen(QHostAddress::AnyIPv4, static_cast<quint16>(port));
    if (!m_started)
        qDebug() << "[V2] Server could not listen on port" << port << ":" << errorString();
    else if (m_ssl && m_certificate == builtInCertificate())
        qWarning() << "[V2] Server on port" << serverPort()
                   << "presents the built-in TLS pair, whose private key every copy of the library holds: anyone can impersonate it. Give it its own pair.";
    emit onStarted();
    return m_started;
}

bool V2_Server::stopServer()
{
    if (!isListening())
        return false;
    disconnectAllClients();
    close();
    m_started = false;
    emit onStarted();
    return true;
}

bool V2_Server::started() const
{
    return m_started;
}

// ---------------------------------------------------------------------------
// Accepting and ending connections

void V2_Server::incomingConnection(qintptr descriptor)
{
    if (!m_fullAccess && !admitNewcomer()) {
        // Closed at once, without a thread; the client may try again.
        V2_ServerSocket::closeDescriptor(descriptor);
        return;
    }
    auto* connection = new V2_ServerSocket(static_cast<int>(descriptor), this, nullptr);
    if (m_fullAccess)
        connection->setFullAccess();

    connect(connection, &V2_ServerSocket::onThreadFinished, this, &V2_Server::threadFinished, Qt::BlockingQueuedConnection);
    connect(connection,
            QOverload<int, const QString&, const QString&>::of(&V2_ServerSocket::onSnapshotRequest),
            this,
            QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest),
            Qt::BlockingQueuedConnection);
    connect(connection,
            QOverload<int, const QString&>::of(&V2_ServerSocket::onSnapshotRequest),
            this,
            QOverload<int, QString>::of(&V2_Server::onSnapshotRequest),
            Qt::BlockingQueuedConnection);
    connect(connection, &V2_ServerSocket::onCommandReceived, this, &V2_Server::commandReceived, Qt::BlockingQueuedConnection);
    connect(connection, &QThread::finished, this, &V2_Server::finished);
    connect(connection, &V2_ServerSocket::onLogged, this, &V2_Server::onClientLogged);

    connection->start(QThread::InheritPriority);
    if (!connection->isRunning() && !connection->isFinished()) {
        // The system gave it no thread (at its limit of threads or memory):
        // nothing would ever end it, so it must not count.
        V2_ServerSocket::closeDescriptor(descriptor);
        delete connection;
        return;
    }
    {
        QMutexLocker locker(&m_mutex);
        // A closing connection may still be in the table under the same
        // descriptor (it gave it up before its thread ended): the table
        // addresses the newest, the live set still holds both.
        m_clients.insert(connection->socketDescriptor(), connection);
        m_live.insert(connection);
    }
    emit onClientConnected();
}

bool V2_Server::admitNewcomer()
{
    const int cap = std::max(1, m_maxNotLoggedConnections);
    // Cut flushes end within a few milliseconds: worth waiting for them.
    QDeadlineTimer patience(kCutFlushWaitMs);
    bool cut = false;
    for (int attempt = 0;; ++attempt) {
        {
            QMutexLocker locker(&m_mutex);
            int waiting = 0;
            int closing = 0;
            V2_ServerSocket* oldest = nullptr;
            QList<V2_ServerSocket*> flushing;
            // Counted by object, not through the descriptor table: a closing
            // connection gives its descriptor up before its thread ends, and
            // the next accept may reuse the number.
            for (V2_ServerSocket* connection : qAsConst(m_live)) {
                if (connection->isClosing()) {
                    ++closing;
                    if (connection->isFlushing())
                        flushing.append(connection);
                    continue;
                }
                // A held answer, refusal or acceptance, has its own bound
                // and is never evicted: were one kind closed sooner than the
                // other, a guesser would learn which by making room. The
                // hold is read first: a login is marked before its hold is
                // given back, so one of the two is always seen.
                if (connection->holdsAnswer() || connection->logged())
                    continue;
                ++waiting;
                if (!oldest || connection->notLoggedSince() < oldest->notLoggedSince())
                    oldest = connection;
            }
            // Each connection is a thread before anyone has proven who they
            // are. Waiting ones make room for a newcomer; closing ones end
            // only once this thread has taken note of them, so during a
            // flood of connects they alone refuse newcomers, at the cap:
            // with held answers, together never more than three times the cap.
            if (closing < cap) {
                // Refusing newcomers would let strangers lock everyone out:
                // the one that has waited longest to log in makes room instead.
                if (oldest && waiting >= cap) {
                    oldest->evict();
                    static LogThrottle throttle(1);
                    int suppressed = 0;
                    if (throttle.allow(&suppressed))
                        qDebug().noquote()
                            << QStringLiteral("[V2] %1 connections are not logged in: the one waiting longest to log in closed for a new one (%2 more)")
                                   .arg(waiting)
                                   .arg(suppressed);
                }
                return true;
            }
            // Closing connections still writing their last bytes to peers
            // that may never read them are cut short: else peers that make
            // them so could keep every newcomer out.
            for (V2_ServerSocket* connection : qAsConst(flushing)) {
                connection->doDisconnect();
                cut = true;
            }
        }
        if (attempt > 0 && (!cut || patience.hasExpired()))
            break;
        if (attempt > 0)
            QThread::msleep(1);
        // Closed connections wait for this thread to take them off the
        // table (a blocking call): let them go on now, then count again.
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    static LogThrottle throttle(1);
    int suppressed = 0;
    if (throttle.allow(&suppressed))
        qDebug().noquote() << QStringLiteral("[V2] %1 connections are closing: a new connection closed at once (%2 more)").arg(cap).arg(suppressed);
    return false;
}

void V2_Server::threadFinished(int socketDescriptor)
{
    auto* connection = qobject_cast<V2_ServerSocket*>(sender());
    QMutexLocker locker(&m_mutex);
    if (connection) {
        disconnect(connection, &V2_ServerSocket::onThreadFinished, this, nullptr);
        disconnect(connection, QOverload<int, const QString&>::of(&V2_ServerSocket::onSnapshotRequest), this, nullptr);
        disconnect(connection, &V2_ServerSocket::onCommandReceived, this, nullptr);
    }
    // The system may already have handed the same descriptor to a newer
    // connection: only the entry of the connection that ended goes.
    const auto it = m_clients.find(socketDescriptor);
    if (it != m_clients.end() && (!connection || it.value() == connection))
        m_clients.erase(it);
    locker.unlock();
    emit onClientDisconnected();
}

void V2_Server::finished()
{
    // The thread has run its last line: the object goes now rather than on a
    // deferred delete that a closing application may never process.
    if (auto* connection = qobject_cast<V2_ServerSocket*>(sender())) {
        connection->wait();
        {
            QMutexLocker locker(&m_mutex);
            m_live.remove(connection);
        }
        delete connection;
    }
}

void V2_Server::commandReceived(V2_message* mes, int descriptor)
{
    V2_Data tree(QStringLiteral("ROOT"));
    tree.setRoot(true);
    tree.fromQvariantMap(mes->jsonParams(), nullptr);
    emit onCommandReceived(mes->channel(), mes->id(), descriptor, &tree);
}

// ---------------------------------------------------------------------------
// Publishing

void V2_Server::sendV2Data(const V2_Data* _data)
{
    if (!_data)
        return;
    // One copy for all connections, made before the mutex is taken.
    const auto publication = std::make_shared<const V2_Publication>(_data);
    QMutexLocker locker(&m_mutex);
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->queuePublication(publication);
}

void V2_Server::sendV2Data(int descriptor, V2_Data* _data)
{
    if (!_data)
        return;
    const auto publication = std::make_shared<const V2_Publication>(_data);
    QMutexLocker locker(&m_mutex);
    if (V2_ServerSocket* connection = m_clients.value(descriptor))
        connection->queuePublication(publication);
}

void V2_Server::sendAndClearV2Data(V2_Data* _data)
{
    if (!_data)
        return;
    sendV2Data(_data);
    _data->clearData();
}

void V2_Server::clearAndSendV2Data(V2_Data* _data)
{
    if (!_data)
        return;
    V2_Data deletions(_data->getName());
    if (_data->isRoot())
        deletions.setRoot(true);
    const QStringList keys = _data->datas()->keys();
    for (const QString& key : keys) {
        if (V2_Data* child = _data->getInLevelV2_Data(key)) {
            child->clearData();
            deletions.insertDeletedData(key);
        }
    }
    sendV2Data(&deletions);
    _data->clearData();
}

void V2_Server::sendMessage(int descriptor, V2_message* mes)
{
    QMutexLocker locker(&m_mutex);
    if (V2_ServerSocket* connection = m_clients.value(descriptor))
        connection->sendMessage(mes);
}

void V2_Server::sendCommandReply(QString id, int descriptor, QString channel, QString text)
{
    QString line = QStringLiteral("REPLY:%1:%2:%3").arg(id, channel, text);
    QMutexLocker locker(&m_mutex);
    if (V2_ServerSocket* connection = m_clients.value(descriptor))
        connection->sendMessage(line);
}

void V2_Server::sendCommandReply(QString id, int descriptor, QString channel, V2_Data* data)
{
    auto* mes = new V2_message;
    mes->setId(id);
    mes->setCommand(QStringLiteral("REPLY"));
    mes->setChannel(channel);
    mes->insertJson(data ? data->getJson(QString(), false) : QJsonObject());
    {
        QMutexLocker locker(&m_mutex);
        if (V2_ServerSocket* connection = m_clients.value(descriptor))
            connection->sendMessage(mes);
    }
    delete mes;
}

// ---------------------------------------------------------------------------
// Settings

void V2_Server::setSsl(bool ssl)
{
    m_ssl = ssl;
}

bool V2_Server::ssl() const
{
    return m_ssl;
}

bool V2_Server::setTlsPair(const QByteArray& certificatePem, const QByteArray& privateKeyPem)
{
    const QSslCertificate certificate(certificatePem, QSsl::Pem);
    QSslKey key(privateKeyPem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        key = QSslKey(privateKeyPem, QSsl::Ec, QSsl::Pem);
    if (certificate.isNull() || key.isNull())
        return false;
    m_certificate = certificate;
    m_privateKey = key;
    return true;
}

QSslCertificate V2_Server::tlsCertificate() const
{
    return m_certificate;
}

QSslKey V2_Server::tlsPrivateKey() const
{
    return m_privateKey;
}

void V2_Server::setFullAccess(bool fullAccess)
{
    m_fullAccess = fullAccess;
}

bool V2_Server::fullAccess() const
{
    return m_fullAccess;
}

void V2_Server::setNotLoggedTimeout(int seconds)
{
    m_notLoggedTimeout = seconds;
}

int V2_Server::notLoggedTimeout() const
{
    return m_notLoggedTimeout;
}

void V2_Server::setPingRate(int pingRate)
{
    m_pingRate = pingRate;
    QMutexLocker locker(&m_mutex);
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->setPingRate(pingRate);
}

int V2_Server::pingRate() const
{
    return m_pingRate;
}

void V2_Server::setTimeout(int seconds)
{
    m_timeout = seconds;
    QMutexLocker locker(&m_mutex);
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->setPingTimeout(seconds);
}

int V2_Server::timeout() const
{
    return m_timeout;
}

void V2_Server::setProtocolVersion(int version, int subVersion, int revision)
{
    m_version = version;
    m_subVersion = subVersion;
    m_revision = revision;
}

int V2_Server::version() const
{
    return m_version;
}

int V2_Server::subVersion() const
{
    return m_subVersion;
}

int V2_Server::revision() const
{
    return m_revision;
}

void V2_Server::setProtocolMinimumVersion(int version, int subVersion, int revision)
{
    m_minVersion = version;
    m_minSubVersion = subVersion;
    m_minRevision = revision;
}

int V2_Server::minVersion() const
{
    return m_minVersion;
}

int V2_Server::minSubVersion() const
{
    return m_minSubVersion;
}

int V2_Server::minRevision() const
{
    return m_minRevision;
}

void V2_Server::setMaxPendingOutput(qint64 bytes)
{
    m_maxPendingOutput = bytes;
}

qint64 V2_Server::maxPendingOutput() const
{
    return m_maxPendingOutput;
}

void V2_Server::setMaxLineBytes(qint64 bytes)
{
    m_maxLineBytes = bytes;
}

qint64 V2_Server::maxLineBytes() const
{
    return m_maxLineBytes;
}

void V2_Server::setMaxNotLoggedLineBytes(qint64 bytes)
{
    m_maxNotLoggedLineBytes = bytes;
}

qint64 V2_Server::maxNotLoggedLineBytes() const
{
    return m_maxNotLoggedLineBytes;
}

void V2_Server::setMaxNotLoggedConnections(int connections)
{
    m_maxNotLoggedConnections = connections;
}

int V2_Server::maxNotLoggedConnections() const
{
    return m_maxNotLoggedConnections;
}

// ---------------------------------------------------------------------------
// Connections

int V2_Server::clientsConnected()
{
    QMutexLocker locker(&m_mutex);
    return m_clients.size();
}

int V2_Server::connectionThreads()
{
    QMutexLocker locker(&m_mutex);
    return m_live.size();
}

int V2_Server::clientsLogged()
{
    QMutexLocker locker(&m_mutex);
    int logged = 0;
    for (V2_ServerSocket* connection : qAsConst(m_clients)) {
        if (connection->logged())
            ++logged;
    }
    return logged;
}

QMap<int, V2_ServerSocket*> V2_Server::clients()
{
    QMutexLocker locker(&m_mutex);
    return m_clients;
}

void V2_Server::setClients(const QMap<int, V2_ServerSocket*>& clients)
{
    QMutexLocker locker(&m_mutex);
    m_clients = clients;
}

void V2_Server::disconnectAllClients()
{
    QMutexLocker locker(&m_mutex);
    for (V2_ServerSocket* connection : qAsConst(m_live))
        connection->stop();
}
