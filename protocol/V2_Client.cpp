#include "V2_Client.h"

#include "LogThrottle.h"
#include "V2_Data.h"
#include "V2_ReceivedLine.h"
#include "V2_message.h"

#include <QDateTime>
#include <QDebug>
#include <QHash>
#include <QMetaMethod>
#include <QJsonDocument>
#include <QSslSocket>
#include <QThreadPool>
#include <QTimer>
#include <QUuid>

#include <cstring>
#include <utility>

namespace {

constexpr int kRetireDelayMs = 2000;

QString freshCommandId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

qint64 nowSeconds()
{
    return QDateTime::currentSecsSinceEpoch();
}

} // namespace

V2_Client::V2_Client(QString app,
                     QString appVersion,
                     QString protocol,
                     QString protocolVersion,
                     int port,
                     QString password,
                     QString username,
                     QString host,
                     QObject* parent)
    : QObject(parent)
    , m_currentData(newRoot())
    , m_rxData(newRoot())
    , m_deletedData(newRoot())
    , m_ssl(true)
    , m_host(host)
    , m_port(port)
    , m_username(username)
    , m_password(password)
    , m_pingTimer(new QTimer(this))
    , m_checkTimer(new QTimer(this))
    , m_socket(new QSslSocket(this))
    , m_commandId(freshCommandId())
    , m_pingRate(-1)
    , m_timeout(0)
    , m_lastReceived(0)
    , m_totalRx(0)
    , m_connectionRx(0)
    , m_connectionActive(false)
    , m_active(false)
    , m_loginActive(false)
    , m_appName(app)
    , m_appVersion(appVersion)
    , m_protocol(protocol)
    , m_protocolVersion(protocolVersion)
    , m_maxLineBytes(DEFAULT_MAX_LINE_BYTES)
{
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &V2_Client::socketError);
    connect(m_socket, &QAbstractSocket::stateChanged, this, &V2_Client::socketStateChanged);
    connect(m_socket, &QAbstractSocket::connected, this, &V2_Client::socketConnected);
    connect(m_socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this, &V2_Client::sslErrors);
    connect(m_socket, &QSslSocket::encrypted, this, &V2_Client::socketEncrypted);
    connect(m_socket, &QIODevice::readyRead, this, &V2_Client::receiveData);
    connect(m_pingTimer, &QTimer::timeout, this, &V2_Client::sendPing);
    connect(m_checkTimer, &QTimer::timeout, this, &V2_Client::checkConnection);
    m_checkTimer->start(CHECK_INTERVAL_MS);
}

V2_Client::~V2_Client()
{
    // No state-change handler may run on trees that are being released.
    m_socket->disconnect(this);
    m_pingTimer->disconnect(this);
    m_checkTimer->stop();
    m_socket->abort();
    qDeleteAll(m_retired);
    delete m_currentData;
    delete m_rxData;
    delete m_deletedData;
}

V2_Data* V2_Client::newRoot()
{
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    return root;
}

// ---------------------------------------------------------------------------
// Properties

QString V2_Client::host() const
{
    return m_host;
}

void V2_Client::setHost(const QString& host)
{
    if (m_host == host)
        return;
    m_host = host;
    // An attempt belongs to what it was started with (a pin stays with the
    // server it was used for: see setExpectedFingerprint).
    abortAttempt();
}

int V2_Client::port() const
{
    return m_port;
}

void V2_Client::setPort(int port)
{
    if (m_port == port)
        return;
    m_port = port;
    // An attempt belongs to what it was started with (a pin stays with the
    // server it was used for: see setExpectedFingerprint).
    abortAttempt();
}

QString V2_Client::username() const
{
    return m_username;
}

void V2_Client::setUsername(const QString& username)
{
    if (m_username == username)
        return;
    m_username = username;
    // An attempt belongs to what it was started with.
    abortAttempt();
}

QString V2_Client::password() const
{
    return m_password;
}

void V2_Client::setPassword(const QString& password)
{
    if (m_password == password)
        return;
    m_password = password;
    // An attempt belongs to what it was started with.
    abortAttempt();
}

bool V2_Client::getSsl() const
{
    return m_ssl;
}

void V2_Client::setSsl(bool ssl)
{
    if (m_ssl == ssl)
        return;
    m_ssl = ssl;
    // An attempt belongs to what it was started with.
    abortAttempt();
}

bool V2_Client::isActive() const
{
    return m_active;
}

void V2_Client::setActive(bool active)
{
    m_active = active;
    // Stopped means stopped now: a socket asked to disconnect while it looks
    // up, connects or shakes hands would close later, over whatever tree has
    // been handed over since.
    if (!active)
        abortAttempt();
    checkConnection();
}

void V2_Client::abortAttempt()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
}

bool V2_Client::connectionActive() const
{
    return m_connectionActive;
}

void V2_Client::setConnectionActive(bool connectionActive)
{
    m_connectionActive = connectionActive;
}

bool V2_Client::loginActive() const
{
    return m_loginActive;
}

void V2_Client::setLoginActive(bool loginActive)
{
    m_loginActive = loginActive;
}

QAbstractSocket::SocketState V2_Client::socketState() const
{
    return m_socket->state();
}

QString V2_Client::attemptHost() const
{
    return m_attemptHost;
}

int V2_Client::attemptPort() const
{
    return m_attemptPort;
}

QHostAddress V2_Client::attemptAddress() const
{
    return m_attemptAddress;
}

V2_Data* V2_Client::getCurrentData() const
{
    return m_currentData;
}

V2_Data* V2_Client::getRxData() const
{
    if (m_rxLine) {
        m_rxData = m_rxLine->buildTree();
        m_rxLine.reset();
    }
    return m_rxData;
}

QStringList V2_Client::rxKeys(const QString& path) const
{
    if (m_rxLine)
        return m_rxLine->keysAt(path);
    const V2_Data* node = m_rxData->getV2_Data(path);
    return node ? node->datas()->keys() : QStringList();
}

bool V2_Client::rxHasNode(const QString& path) const
{
    return m_rxLine ? m_rxLine->hasNode(path) : m_rxData->getV2_Data(path) != nullptr;
}

bool V2_Client::lineReadFromDocument() const
{
    return m_rxLine != nullptr;
}

V2_Data* V2_Client::getDeletedData() const
{
    return m_deletedData;
}

quint64 V2_Client::getTotalRx() const
{
    return m_totalRx;
}

quint64 V2_Client::getConnectionRx() const
{
    return m_connectionRx;
}

QString V2_Client::serverName() const
{
    return m_serverName;
}

QString V2_Client::serverVersion() const
{
    return m_serverVersion;
}

QString V2_Client::serverMinVersion() const
{
    return m_serverMinVersion;
}

QStringList V2_Client::joinedChannels() const
{
    return m_joinedChannels;
}

int V2_Client::pingRate() const
{
    return m_pingRate;
}

int V2_Client::timeout() const
{
    return m_timeout;
}

QSet<QString> V2_Client::keysUpdated() const
{
    return m_keysUpdated;
}

qint64 V2_Client::maxLineBytes() const
{
    return m_maxLineBytes;
}

void V2_Client::setMaxLineBytes(qint64 bytes)
{
    m_maxLineBytes = bytes;
}

// ---------------------------------------------------------------------------
// Requests

void V2_Client::joinChannel(QString channel, QString id)
{
    sendData(V2_message::line(QStringLiteral("JOIN"), id, channel));
}

void V2_Client::leaveChannel(QString channel, QString id)
{
    sendData(V2_message::line(QStringLiteral("LEAVE"), id, channel));
}

void V2_Client::doLogin()
{
    sendData(getLoginData());
}

QString V2_Client::getLoginData() const
{
    return V2_message::loginRequestLine(m_username, m_password, m_appName, m_appVersion, m_protocol, m_protocolVersion);
}

void V2_Client::sendMessage(QJsonObject* data, QString id, QString channel, QString name)
{
    sendData(V2_message::namedDataLine(QStringLiteral("JSON"), id, channel, name, data ? *data : QJsonObject()));
}

QString V2_Client::takeCommandId()
{
    const QString id = m_commandId;
    m_commandId = freshCommandId();
    return id;
}

QString V2_Client::sendCommand(QJsonObject* data, QString channel, QString name)
{
    const QString id = takeCommandId();
    sendData(V2_message::namedDataLine(QStringLiteral("CMD"), id, channel, name, data ? *data : QJsonObject()));
    return id;
}

QString V2_Client::sendCommand(QString data, QString channel, QString name)
{
    const QString id = takeCommandId();
    sendData(V2_message::namedDataLine(QStringLiteral("CMD"), id, channel, name, data));
    return id;
}

QString V2_Client::sendCommand(QString payload, QString channel)
{
    sendData(V2_message::line(QStringLiteral("CMD"), m_commandId, channel, payload));
    return m_commandId;
}

void V2_Client::sendCommandReply(QJsonObject* data, QString id, QString channel, QString name)
{
    sendData(V2_message::namedDataLine(QStringLiteral("REPLY"), id, channel, name, data ? *data : QJsonObject()));
}

void V2_Client::sendReply(QString id, QString channel, QString name, QJsonObject data)
{
    sendCommandReply(&data, id + QLatin1Char('+'), channel, name);
}

void V2_Client::sendErrorMessage(QString id, QString channel, QString reason, QString advice)
{
    sendData(V2_message::errorLine(id, channel, reason, advice));
}

void V2_Client::sendError(V2_message* message)
{
    sendData(message->errorMessageString());
}

void V2_Client::sendData(QString line)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socket->write(line.toUtf8() + "\r\n");
    m_socket->flush();
}

// ---------------------------------------------------------------------------
// Receiving

bool V2_Client::appendToLine(const char* data, int size)
{
    // CR bytes are dropped wherever they stand.
    const char* end = data + size;
    while (data < end) {
        const char* cr = static_cast<const char*>(std::memchr(data, '\r', static_cast<size_t>(end - data)));
        const char* stop = cr ? cr : end;
        if (m_lineBuffer.size() + (stop - data) > m_maxLineBytes) {
            const QString text = QStringLiteral("Line from server longer than %1 bytes: connection dropped").arg(m_maxLineBytes);
            qDebug() << "[V2]" << text;
            m_lineBuffer.clear();
            emit errorReceived(text);
            m_socket->abort();
            return false;
        }
        m_lineBuffer.append(data, static_cast<int>(stop - data));
        data = cr ? cr + 1 : end;
    }
    return true;
}

void V2_Client::receiveData()
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_lastReceived = nowSeconds();
    // A handler that writes (joins after the login reply) may make a TLS
    // socket decrypt and announce more bytes inside this read: they would
    // land in the middle of the line being handled. They wait for it.
    if (m_readingSocket)
        return;
    m_readingSocket = true;
    while (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesAvailable() > 0)
        receiveBytes(m_socket->readAll());
    m_readingSocket = false;
}

void V2_Client::receiveBytes(const QByteArray& bytes)
{
    const bool live = m_socket->state() == QAbstractSocket::ConnectedState;
    const char* data = bytes.constData();
    int start = 0;
    while (start < bytes.size()) {
        const int lf = bytes.indexOf('\n', start);
        const int end = lf < 0 ? bytes.size() : lf;
        if (!appendToLine(data + start, end - start))
            return;
        if (lf < 0)
            break;
        if (!m_lineBuffer.isEmpty()) {
            parseResponseData(m_lineBuffer);
            emit receivedDataLog(&m_lineBuffer);
        }
        m_lineBuffer.clear();
        start = lf + 1;
        // A handler may have dropped the connection: the rest is stale.
        if (live && m_socket->state() != QAbstractSocket::ConnectedState)
            return;
    }
}

void V2_Client::parseResponseData(const QByteArray& line)
{
    m_totalRx += static_cast<quint64>(line.size());
    m_connectionRx += static_cast<quint64>(line.size());
    m_lastLineTime.restart();

    V2_message message;
    if (!message.parseMessage(line)) {
        const QString error = message.errorMessageString();
        static LogThrottle throttle(20);
        int suppressed = 0;
        if (throttle.allow(&suppressed)) {
            if (suppressed)
                qDebug().noquote() << QStringLiteral("NO VALID: %1 more lines not logged").arg(suppressed);
            qDebug().noquote() << "NO VALID: " + error;
        }
        sendData(error);
        return;
    }

    using Handler = void (V2_Client::*)(V2_message*);
    static const QHash<QString, Handler> handlers = {
        {QStringLiteral("LOGIN"), &V2_Client::processLOGINREPLY},
        {QStringLiteral("JOIN"), &V2_Client::processJOIN},
        {QStringLiteral("LEAVE"), &V2_Client::processLEAVE},
        {QStringLiteral("ACK"), &V2_Client::processAcknowledgement},
        {QStringLiteral("JSON"), &V2_Client::processJSON},
        {QStringLiteral("ERROR"), &V2_Client::processERROR},
        {QStringLiteral("CMD"), &V2_Client::processCMD},
        {QStringLiteral("REPLY"), &V2_Client::processREPLY},
    };
    if (const Handler handler = handlers.value(message.command())) {
        (this->*handler)(&message);
        if (m_readingSocket && handler == &V2_Client::processJSON)
            emit dataReceived();
        return;
    }
    // Any other valid word, a server's PING among them.
    message.setError(QStringLiteral("Unknown command"), QString());
    sendError(&message);
}

void V2_Client::processAcknowledgement(V2_message*)
{
    processACK();
}

// ---------------------------------------------------------------------------
// Handlers

void V2_Client::processLOGINREPLY(V2_message* message)
{
    const QMap<QString, QVariant>* params = message->jsonParams();
    m_serverName = params->value(QStringLiteral("name")).toString();
    m_serverVersion = params->value(QStringLiteral("ver")).toString();
    m_serverMinVersion = params->value(QStringLiteral("min_ver")).toString();
    m_pingRate = params->value(QStringLiteral("pingRate")).toString().toInt();
    m_timeout = params->value(QStringLiteral("timeout")).toString().toInt();
    m_loginActive = true;
    if (m_pingRate > 0)
        m_pingTimer->start(m_pingRate * 1000);
    emit onLoginDone();
}

void V2_Client::processJOIN(V2_message* message)
{
    m_joinedChannels.append(message->channel());
    emit onChannelJoin(message->channel());
}

void V2_Client::processLEAVE(V2_message* message)
{
    m_joinedChannels.removeOne(message->channel());
    emit onChannelLeave(message->channel());
}

void V2_Client::processACK()
{
}

void V2_Client::processERROR(V2_message* message)
{
    emit errorReceived(message->messageString());
}

void V2_Client::processCMD(V2_message* message)
{
    // The receiver owns the tree; with nobody listening it would be lost.
    if (!isSignalConnected(QMetaMethod::fromSignal(&V2_Client::cmdPackageReceived)))
        return;
    auto* data = new V2_Data();
    data->fromQvariantMap(message->jsonParams(), nullptr);
    emit cmdPackageReceived(message->id(), message->channel(), data);
}

void V2_Client::processREPLY(V2_message* message)
{
    emit cmdReplyReceived(message->id(), message->channel(), message->jsonString());
}

void V2_Client::processJSON(V2_message* message)
{
    delete m_rxData;
    delete m_deletedData;
    m_rxData = nullptr;
    m_rxLine.reset();
    m_deletedData = newRoot();

    // The first data line of a connection replaces the mirror kept from the
    // last one: both trees' top-level keys are announced.
    V2_Data* lost = m_firstLineReplacesMirror && !m_currentData->datas()->isEmpty() ? std::exchange(m_currentData, newRoot()) : nullptr;
    m_firstLineReplacesMirror = false;

    const rapidjson::Document* document = message->rapidJsonDocument();
    const bool filled = !m_currentData->datas()->isEmpty();
    // Into a filled mirror, a plain line is read from its document alone:
    // its own tree is built only if somebody asks for it.
    if (filled)
        m_rxLine = V2_ReceivedLine::read(message->sharedDocument());
    if (m_rxLine) {
        // Lines of a kind touch about as many keys each time: the set
        // starts at the last one's size instead of growing to it.
        const int lastSize = m_keysUpdated.size();
        m_keysUpdated.clear();
        m_keysUpdated.reserve(lastSize);
        m_rxLine->addKeysUpdated(m_currentData, m_keysUpdated, m_deletedData);
    } else {
        m_rxData = newRoot();
        if (document)
            m_rxData->fromRapidJson(*document, m_deletedData);
        else
            m_rxData->fromQvariantMap(message->jsonParams(), m_deletedData);
        calculateDataKeysUpdated();
    }

    if (!filled)
        std::swap(m_currentData, m_rxData);
    else if (document)
        m_currentData->fromRapidJson(*document, m_deletedData);
    else
        m_currentData->fromQvariantMap(message->jsonParams(), m_deletedData);

    if (m_keysUpdated.isEmpty())
        calculateDataKeysUpdated();
    if (lost) {
        for (const QString& key : lost->datas()->keys())
            m_keysUpdated.insert(key);
        retire(lost);
    }

    emit onChannelChange(m_keysUpdated);
}

bool V2_Client::readingSocket() const
{
    return m_readingSocket;
}

bool V2_Client::firstLineReplacesMirror() const
{
    return m_firstLineReplacesMirror;
}

void V2_Client::setFirstLineReplacesMirror(bool replaces)
{
    m_firstLineReplacesMirror = replaces;
}

void V2_Client::replaceTree(V2_Data* tree)
{
    tree->setRoot(true);
    m_lastLineTime.restart();
    m_keysUpdated.clear();
    for (const QString& key : m_currentData->datas()->keys() + tree->datas()->keys())
        m_keysUpdated.insert(key);
    V2_Data* old = m_currentData;
    m_currentData = tree;
    m_firstLineReplacesMirror = false;
    delete m_rxData;
    m_rxLine.reset();
    delete m_deletedData;
    m_rxData = newRoot();
    m_deletedData = newRoot();
    emit onChannelChange(m_keysUpdated);
    retire(old);
}

void V2_Client::retire(V2_Data* tree)
{
    // Freeing a large tree takes as long as building one, and freeing it
    // beside the readers' rebuild slows both down: it waits until they are
    // done, then goes to a worker thread (nothing else holds it; its strings
    // are shared atomically).
    m_retired.append(tree);
    if (m_retired.size() == 1) {
        QTimer::singleShot(kRetireDelayMs, this, [this] {
            const QVector<V2_Data*> trees = std::exchange(m_retired, {});
            QThreadPool::globalInstance()->start([trees] { qDeleteAll(trees); });
        });
    }
}

void V2_Client::calculateDataKeysUpdated()
{
    m_keysUpdated.clear();
    if (m_currentData->datas()->isEmpty()) {
        if (m_rxLine) {
            m_rxLine->addTopLevelKeys(m_keysUpdated);
            return;
        }
        const QStringList keys = m_rxData->datas()->keys();
        for (const QString& key : keys)
            m_keysUpdated.insert(key);
        return;
    }
    if (m_rxLine)
        m_rxLine->addKeysUpdated(m_currentData, m_keysUpdated, nullptr);
    else
        addKeysUpdated(m_rxData, m_currentData, m_keysUpdated);
}

void V2_Client::addKeysUpdated(V2_Data* rx, V2_Data* current, QSet<QString>& keys)
{
    KeysSeen seen;
    addKeysUpdated(rx, current, keys, seen);
}

void V2_Client::addKeysUpdated(V2_Data* rx, V2_Data* current, QSet<QString>& keys, KeysSeen& seen)
{
    const bool root = rx->isRoot();
    const QString path = rx->getCalculatedPath();
    // Sibling rows under an ignorePath node share one path string and mostly
    // the same (shared) field names: a key already added under that path is
    // recognised by the two string pointers, without building it again.
    const V2_Data* parent = rx->getV2Parent();
    const bool rows = !root && parent && parent->getIgnorePath() && parent->datas()->size() > 1;
    QSet<const void*> unshared;
    QSet<const void*>& added = rows ? seen[path.constData()] : unshared;
    QString key;
    if (!root)
        key = path + QLatin1Char('.');
    const int prefixLength = key.size();
    bool anyNode = false;
    for (auto it = rx->datas()->cbegin(); it != rx->datas()->cend(); ++it) {
        V2_Data* rxChild = V2_Data::nodeOf(it.value());
        if (rxChild) {
            anyNode = true;
            if (V2_Data* currentChild = current->getInLevelV2_Data(it.key())) {
                addKeysUpdated(rxChild, currentChild, keys, seen);
                continue;
            }
            current->getOrCreateDataPointer(it.key());
        }
        if (rows) {
            if (added.contains(it.key().constData()))
                continue;
            added.insert(it.key().constData());
        }
        key.truncate(prefixLength);
        key += it.key();
        if (!keys.contains(key))
            keys.insert(QString(key.constData(), key.size()));
    }
    if (!anyNode && !root && !(rows && added.contains(nullptr))) {
        if (rows)
            added.insert(nullptr);
        keys.insert(path);
    }
}

bool V2_Client::keysUpdatedChildChanges(const QString& prefix) const
{
    for (const QString& key : m_keysUpdated) {
        if (key.startsWith(prefix))
            return true;
    }
    return false;
}

bool V2_Client::keysUpdatedParentChanges(const QString& path) const
{
    for (const QString& key : m_keysUpdated) {
        if (path.startsWith(key))
            return true;
    }
    return false;
}

bool V2_Client::keysUpdatedMiddleChanges(const QString& prefix, const QString& suffix) const
{
    for (const QString& key : m_keysUpdated) {
        if (key.startsWith(prefix) && key.endsWith(suffix))
            return true;
    }
    return false;
}
