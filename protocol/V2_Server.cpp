#include "V2_Server.h"

#include "V2_Data.h"
#include "V2_MessageHandler.h"
#include "V2_Profile.h"
#include "V2_ServerSocket.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QHostAddress>
#include <QSettings>

namespace {

QByteArray readResource(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Removes the registry key that holds value (the last in key order, if several do).
template <class T>
void removeLastKeyOf(QMap<QString, T*>* registry, const T* value)
{
    for (auto it = registry->end(); it != registry->begin();) {
        --it;
        if (it.value() == value) {
            registry->erase(it);
            return;
        }
    }
}

const QString kDefault = QStringLiteral("DEFAULT");
const QString kFullAccess = QStringLiteral("FULL_ACCESS");

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
{
    Q_INIT_RESOURCE(ssl);
    m_certificate = QSslCertificate(readResource(QStringLiteral(":/ssl/certificate")), QSsl::Pem);
    m_privateKey = QSslKey(readResource(QStringLiteral(":/ssl/privateKey")), QSsl::Rsa, QSsl::Pem);
}

V2_Server::~V2_Server()
{
    close();
    // End every connection and wait for its thread. A thread may stand in a
    // blocking call to this object: those calls are dropped (which releases
    // the thread) instead of being run on a server that is going away.
    QMutexLocker locker(&m_mutex);
    const QList<V2_ServerSocket*> connections = m_clients.values() + m_ending;
    m_clients.clear();
    m_ending.clear();
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

void V2_Server::deleteRegistries()
{
    QWriteLocker locker(&m_registryLock);
    qDeleteAll(*m_users);
    m_users->clear();
    qDeleteAll(*m_profiles);
    m_profiles->clear();
}

// ---------------------------------------------------------------------------
// Starting and stopping

bool V2_Server::startServer(int port)
{
    m_started = listen(QHostAddress::AnyIPv4, static_cast<quint16>(port));
    if (!m_started)
        qDebug() << "[V2] Server could not listen on port" << port << ":" << errorString();
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
    auto* connection = new V2_ServerSocket(static_cast<int>(descriptor), this, nullptr);
    if (m_fullAccess)
        connection->setFullAccess();

    connect(connection, &V2_ServerSocket::onThreadFinished, this, &V2_Server::threadFinished, Qt::BlockingQueuedConnection);
    connect(connection,
            QOverload<int, QString, QString>::of(&V2_ServerSocket::onSnapshotRequest),
            this,
            QOverload<int, QString, QString>::of(&V2_Server::onSnapshotRequest),
            Qt::BlockingQueuedConnection);
    connect(connection,
            QOverload<int, QString>::of(&V2_ServerSocket::onSnapshotRequest),
            this,
            QOverload<int, QString>::of(&V2_Server::onSnapshotRequest),
            Qt::BlockingQueuedConnection);
    connect(connection, &V2_ServerSocket::onCommandReceived, this, &V2_Server::commandReceived, Qt::BlockingQueuedConnection);
    connect(connection, &QThread::finished, this, &V2_Server::finished);
    connect(connection, &V2_ServerSocket::onLogged, this, &V2_Server::onClientLogged);

    connection->start(QThread::InheritPriority);
    {
        QMutexLocker locker(&m_mutex);
        m_clients.insert(connection->socketDescriptor(), connection);
    }
    emit onClientConnected();
}

void V2_Server::threadFinished(int socketDescriptor)
{
    auto* connection = qobject_cast<V2_ServerSocket*>(sender());
    QMutexLocker locker(&m_mutex);
    if (connection) {
        disconnect(connection, &V2_ServerSocket::onThreadFinished, this, nullptr);
        disconnect(connection, QOverload<int, QString>::of(&V2_ServerSocket::onSnapshotRequest), this, nullptr);
        disconnect(connection, &V2_ServerSocket::onCommandReceived, this, nullptr);
    }
    // The system may already have handed the same descriptor to a newer
    // connection: only the entry of the connection that ended goes.
    const auto it = m_clients.find(socketDescriptor);
    if (it != m_clients.end() && (!connection || it.value() == connection))
        m_clients.erase(it);
    locker.unlock();
    if (connection)
        m_ending.append(connection);
    emit onClientDisconnected();
}

void V2_Server::finished()
{
    // The thread has run its last line: the object goes now rather than on a
    // deferred delete that a closing application may never process.
    if (auto* connection = qobject_cast<V2_ServerSocket*>(sender())) {
        m_ending.removeOne(connection);
        connection->wait();
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
    QMutexLocker locker(&m_mutex);
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->sendV2_Data(_data);
}

void V2_Server::sendV2Data(int descriptor, V2_Data* _data)
{
    QMutexLocker locker(&m_mutex);
    if (V2_ServerSocket* connection = m_clients.value(descriptor))
        connection->sendV2_Data(_data);
}

void V2_Server::sendAndClearV2Data(V2_Data* _data)
{
    QMutexLocker locker(&m_mutex);
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->sendV2_Data(_data);
    if (_data)
        _data->clearData();
}

void V2_Server::clearAndSendV2Data(V2_Data* _data)
{
    if (!_data)
        return;
    QMutexLocker locker(&m_mutex);
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
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->sendV2_Data(&deletions);
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

// ---------------------------------------------------------------------------
// Connections

int V2_Server::clientsConnected()
{
    QMutexLocker locker(&m_mutex);
    return m_clients.size();
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
    for (V2_ServerSocket* connection : qAsConst(m_clients))
        connection->stop();
}

// ---------------------------------------------------------------------------
// Users and profiles

QMap<QString, V2_User*>* V2_Server::users() const
{
    return m_users;
}

QMap<QString, V2_Profile*>* V2_Server::profiles() const
{
    return m_profiles;
}

V2_User* V2_Server::findUser(const QString& login)
{
    QReadLocker locker(&m_registryLock);
    return m_users->value(login);
}

V2_Profile* V2_Server::profileNamed(const QString& name) const
{
    QReadLocker locker(&m_registryLock);
    return m_profiles->value(name);
}

void V2_Server::addUser(V2_User* user)
{
    if (!user)
        return;
    QWriteLocker locker(&m_registryLock);
    m_users->insert(user->user(), user);
}

void V2_Server::addProfile(QString name, V2_Profile* profile)
{
    if (!profile)
        return;
    QWriteLocker locker(&m_registryLock);
    m_profiles->insert(name, profile);
}

void V2_Server::addOrUpdateUser(const V2_User& user)
{
    V2_Profile* profile = profileNamed(user.profileName());
    V2_User* known = nullptr;
    {
        QReadLocker locker(&m_registryLock);
        for (V2_User* each : qAsConst(*m_users)) {
            if (each->name() == user.name()) {
                known = each;
                break;
            }
        }
    }
    if (known) {
        known->writeLock();
        known->copy(user);
        known->setProfile(profile);
        known->writeUnlock();
        return;
    }
    auto* fresh = new V2_User(user);
    fresh->setProfile(profile);
    addUser(fresh);
}

void V2_Server::addOrUpdateProfile(const V2_Profile& profile)
{
    if (V2_Profile* known = profileNamed(profile.name())) {
        known->writeLock();
        known->copy(profile);
        known->writeUnlock();
        return;
    }
    addProfile(profile.name(), new V2_Profile(profile));
}

void V2_Server::deleteUser(V2_User* user)
{
    if (!user)
        return;
    user->writeLock();
    {
        QMutexLocker locker(&m_mutex);
        for (V2_ServerSocket* connection : qAsConst(m_clients)) {
            if (connection->user() == user)
                connection->releaseUser();
        }
    }
    user->writeUnlock();
    {
        QWriteLocker locker(&m_registryLock);
        removeLastKeyOf(m_users, user);
    }
    user->deleteLater();
}

void V2_Server::deleteProfile(V2_Profile* profile)
{
    if (!profile)
        return;
    profile->writeLock();
    {
        QMutexLocker locker(&m_mutex);
        for (V2_ServerSocket* connection : qAsConst(m_clients)) {
            V2_User* user = connection->user();
            if (user && user->profile() == profile)
                connection->stop();
        }
    }
    profile->writeUnlock();
    {
        QWriteLocker locker(&m_registryLock);
        removeLastKeyOf(m_profiles, profile);
        // No user may keep a pointer to the profile that goes: unbound
        // users are refused everything until they are bound again.
        for (V2_User* user : qAsConst(*m_users)) {
            if (user->profile() == profile) {
                user->writeLock();
                user->setProfile(nullptr);
                user->writeUnlock();
            }
        }
    }
    profile->deleteLater();
}

// ---------------------------------------------------------------------------
// Settings stores

void V2_Server::loadProfiles(QSettings* settings)
{
    if (!settings)
        return;
    {
        // Every user lets go of its profile under its write lock first, so
        // that no connection thread still reads a profile that is deleted.
        QWriteLocker locker(&m_registryLock);
        for (V2_User* user : qAsConst(*m_users)) {
            user->writeLock();
            user->setProfile(nullptr);
            user->writeUnlock();
        }
        qDeleteAll(*m_profiles);
        m_profiles->clear();
    }
    const QStringList groups = settings->childGroups();
    for (const QString& group : groups) {
        auto* profile = new V2_Profile(group);
        settings->beginGroup(group);
        const QStringList keys = settings->childKeys();
        for (const QString& key : keys)
            profile->keyList()->insert(key, static_cast<unsigned char>(settings->value(key).toInt() & 0xFF));

        QMap<QString, V2_Profile::ProfileFilter> filters;
        settings->beginGroup(QStringLiteral("FILTERS"));
        const QStringList filterKeys = settings->childGroups();
        for (const QString& filterKey : filterKeys) {
            settings->beginGroup(filterKey);
            V2_Profile::ProfileFilter filter;
            filter.name = filterKey;
            filter.fieldName = settings->value(QStringLiteral("fieldName")).toString();
            const int size = settings->beginReadArray(QStringLiteral("validValues"));
            for (int i = 0; i < size; ++i) {
                settings->setArrayIndex(i);
                filter.validValues.append(settings->value(QStringLiteral("value")).toString());
            }
            settings->endArray();
            settings->endGroup();
            filters.insert(filterKey, filter);
        }
        settings->endGroup();
        profile->setProfileFilters(filters);

        settings->beginGroup(QStringLiteral("PROFILE"));
        profile->setIsAllowedToSendData(settings->value(QStringLiteral("IS_ALLOWED_TO_SEND_DATA"), false).toBool());
        profile->setChampionshipSubscribed(settings->value(QStringLiteral("CHAMPIONSHIP_SUBSCRIBED")).toString());
        profile->setCommands(settings->value(QStringLiteral("COMMANDS")).toStringList());
        settings->endGroup();
        settings->endGroup();

        QWriteLocker locker(&m_registryLock);
        delete m_profiles->value(group);
        m_profiles->insert(group, profile);
    }
    QWriteLocker locker(&m_registryLock);
    for (const QString& name : {kDefault, kFullAccess}) {
        if (!m_profiles->contains(name))
            m_profiles->insert(name, new V2_Profile(name));
    }
}

void V2_Server::saveProfiles(QSettings* settings)
{
    if (!settings)
        return;
    QReadLocker locker(&m_registryLock);
    for (auto it = m_profiles->cbegin(); it != m_profiles->cend(); ++it) {
        V2_Profile* profile = it.value();
        profile->readLock();
        settings->beginGroup(it.key());
        const QMap<QString, unsigned char>* keys = profile->keyList();
        for (auto key = keys->cbegin(); key != keys->cend(); ++key)
            settings->setValue(key.key(), static_cast<int>(key.value()));
        const QMap<QString, V2_Profile::ProfileFilter> filters = profile->getProfileFilters();
        settings->beginGroup(QStringLiteral("FILTERS"));
        for (auto filter = filters.cbegin(); filter != filters.cend(); ++filter) {
            settings->beginGroup(filter.key());
            settings->setValue(QStringLiteral("fieldName"), filter.value().fieldName);
            settings->beginWriteArray(QStringLiteral("validValues"), filter.value().validValues.size());
            for (int i = 0; i < filter.value().validValues.size(); ++i) {
                settings->setArrayIndex(i);
                settings->setValue(QStringLiteral("value"), filter.value().validValues.at(i));
            }
            settings->endArray();
            settings->endGroup();
        }
        settings->endGroup();
        settings->beginGroup(QStringLiteral("PROFILE"));
        settings->setValue(QStringLiteral("IS_ALLOWED_TO_SEND_DATA"), profile->isAllowedToSendData());
        settings->setValue(QStringLiteral("CHAMPIONSHIP_SUBSCRIBED"), profile->getChampionshipSubscribed());
        settings->setValue(QStringLiteral("COMMANDS"), profile->getCommands());
        settings->endGroup();
        settings->endGroup();
        profile->readUnlock();
    }
    settings->sync();
}

void V2_Server::loadUsers(QSettings* settings)
{
    if (!settings)
        return;
    const QStringList skipped = {QStringLiteral("General"), QStringLiteral("ALLOWED_NETWORKS"), QStringLiteral("Plugins")};
    const QStringList groups = settings->childGroups();
    for (const QString& group : groups) {
        if (skipped.contains(group))
            continue;
        settings->beginGroup(group);
        auto* user = new V2_User(settings->value(QStringLiteral("NAME")).toString());
        user->setUser(settings->value(QStringLiteral("USER")).toString());
        user->setPass(settings->value(QStringLiteral("PASSWORD")).toString());
        user->setProfileName(settings->value(QStringLiteral("PROFILE")).toString());
        user->setMaxConnections(settings->value(QStringLiteral("MAX_CONNECTIONS")).toInt());
        V2_Profile* profile = profileNamed(user->profileName());
        user->setProfile(profile ? profile : profileNamed(kDefault));
        const int size = settings->beginReadArray(QStringLiteral("ALLOWED_NETWORKS"));
        for (int i = 0; i < size; ++i) {
            settings->setArrayIndex(i);
            user->addAllowedNetwork(QHostAddress(settings->value(QStringLiteral("NETWORK")).toString()),
                                    settings->value(QStringLiteral("MAX_CONNECTIONS")).toInt(),
                                    settings->value(QStringLiteral("DESCRIPTION")).toString());
        }
        settings->endArray();
        settings->endGroup();

        QWriteLocker locker(&m_registryLock);
        V2_User* earlier = m_users->value(user->user());
        if (!earlier) {
            m_users->insert(user->user(), user);
            continue;
        }
        // Live connections may hold the earlier object: it takes the loaded
        // values and keeps its count of connections.
        earlier->writeLock();
        user->setCurrentNumberOfConnections(earlier->currentNumberOfConnections());
        earlier->copy(user);
        earlier->setAllowedNetworks(user->allowedNetworks());
        earlier->setProfile(user->profile());
        earlier->writeUnlock();
        delete user;
    }
    for (const QString& name : {kDefault, kFullAccess}) {
        if (findUser(name))
            continue;
        auto* user = new V2_User(name);
        user->setUser(name);
        user->setProfileName(name);
        user->setProfile(profileNamed(name));
        addUser(user);
    }
}

void V2_Server::saveUsers(QSettings* settings)
{
    if (!settings)
        return;
    settings->clear();
    QReadLocker locker(&m_registryLock);
    for (V2_User* user : qAsConst(*m_users)) {
        user->readLock();
        settings->beginGroup(user->name());
        settings->setValue(QStringLiteral("NAME"), user->name());
        settings->setValue(QStringLiteral("USER"), user->user());
        settings->setValue(QStringLiteral("PASSWORD"), user->pass());
        settings->setValue(QStringLiteral("PROFILE"), user->profileName());
        settings->setValue(QStringLiteral("MAX_CONNECTIONS"), user->maxConnections());
        const QList<V2_User::AllowedNetworks> networks = user->allowedNetworks();
        settings->beginWriteArray(QStringLiteral("ALLOWED_NETWORKS"), networks.size());
        for (int i = 0; i < networks.size(); ++i) {
            settings->setArrayIndex(i);
            settings->setValue(QStringLiteral("NETWORK"), networks.at(i).network.toString());
            settings->setValue(QStringLiteral("MAX_CONNECTIONS"), QString::number(networks.at(i).maxConnections));
            settings->setValue(QStringLiteral("DESCRIPTION"), networks.at(i).description);
        }
        settings->endArray();
        settings->endGroup();
        user->readUnlock();
    }
    settings->sync();
}
