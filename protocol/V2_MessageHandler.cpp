#include "V2_MessageHandler.h"

#include "UserProfileReadLock.h"
#include "V2_Profile.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QJsonObject>


V2_MessageHandler::V2_MessageHandler(QString name, QObject* parent)
    : QObject(parent)
    , m_subscribedChannels(new QStringList)
    , m_name(name)
    , m_subscriptionLock(QReadWriteLock::Recursive)
{
}

V2_MessageHandler::~V2_MessageHandler()
{
    delete m_subscribedChannels;
}

qint64 V2_MessageHandler::combined(int version, int subVersion, int revision)
{
    return (static_cast<qint64>(version) * 100 + subVersion) * 100 + revision;
}

bool V2_MessageHandler::ok_LOGIN(V2_message* mes)
{
    const QMap<QString, QVariant>* params = mes->jsonParams();
    static const struct {
        const char* key;
        const char* error;
    } required[] = {
        {"user", "Missing user parameter"},
        {"password", "Missing password parameter"},
        {"app", "Missing app identifier"},
        {"app_ver", "Missing app version identifier"},
        {"protocol", "Missing protocol version identifier"},
    };
    for (const auto& check : required) {
        if (!params->contains(QLatin1String(check.key))) {
            mes->setError(QLatin1String(check.error), QString());
            return false;
        }
    }
    const QStringList parts = params->value(QStringLiteral("protocol_ver")).toString().split(QLatin1Char('.'));
    if (parts.size() != 3) {
        mes->setError(QStringLiteral("Wrong protocol version"), QString());
        return false;
    }
    int numbers[3];
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).toInt(&ok, 10);
        if (!ok) {
            mes->setError(QStringLiteral("Wrong protocol version number"), QString());
            return false;
        }
    }
    if (combined(numbers[0], numbers[1], numbers[2]) < m_minimumVersionNumber) {
        mes->setError(QStringLiteral("Old protocol version number"), QString());
        return false;
    }
    return mes->isValid();
}

bool V2_MessageHandler::channelAllowed(const QString& channel) const
{
    UserProfileReadLock locked(m_user);
    if (!locked.profile())
        return m_fullAccess;
    return locked.profile()->keyValid(channel);
}

bool V2_MessageHandler::ok_JOIN(V2_message* mes)
{
    const QString channel = mes->channel();
    if (!channelAllowed(channel)) {
        mes->setError(QStringLiteral("Unknown channel"), QString());
        return false;
    }
    {
        QWriteLocker locker(&m_subscriptionLock);
        if (m_subscribedChannels->contains(channel)) {
            mes->setError(QStringLiteral("Channel already joined"), QString());
            return false;
        }
        m_subscribedChannels->append(channel);
    }
    emit onJoin(channel);
    return mes->isValid();
}

bool V2_MessageHandler::ok_LEAVE(V2_message* mes)
{
    const QString channel = mes->channel();
    if (!channelAllowed(channel)) {
        mes->setError(QStringLiteral("Unknown channel"), QString());
        return false;
    }
    QWriteLocker locker(&m_subscriptionLock);
    if (!m_subscribedChannels->removeOne(channel)) {
        mes->setError(QStringLiteral("Channel was not joined"), QString());
        return false;
    }
    return mes->isValid();
}

bool V2_MessageHandler::ok_CMD(V2_message* mes)
{
    bool allowed;
    {
        UserProfileReadLock locked(m_user);
        allowed = locked.profile() ? locked.profile()->isCommandValid(mes->channel()) : m_fullAccess.load();
    }
    if (!allowed) {
        mes->setError(QStringLiteral("Command not allowed"), QString());
        return false;
    }
    emit onCMD(mes);
    return true;
}

bool V2_MessageHandler::ok_ACK(V2_message*)
{
    return true;
}

bool V2_MessageHandler::ok_ERROR(V2_message*)
{
    return true;
}

bool V2_MessageHandler::ok_JSON(V2_message*)
{
    return true;
}

bool V2_MessageHandler::ok_PING(V2_message*)
{
    return true;
}

bool V2_MessageHandler::ok_REPLY(V2_message*)
{
    return true;
}

bool V2_MessageHandler::ok_TIME(V2_message*)
{
    return true;
}

V2_message V2_MessageHandler::loginReplyMessage() const
{
    V2_message reply(loginReplyLine(QString()));
    reply.setId(QString());
    return reply;
}

QString V2_MessageHandler::loginReplyLine(const QString& requestId) const
{
    return V2_message::loginReplyLine(requestId, m_name, QStringLiteral("%1.%2.%3").arg(m_version).arg(m_subVersion).arg(m_revision),
                                      QStringLiteral("%1.%2.%3").arg(m_minimumVersion).arg(m_minimumSubVersion).arg(m_minimumRevision),
                                      m_pingRate.load(), m_pingTimeout.load());
}

void V2_MessageHandler::addSubscribedChannel(const QString& channel)
{
    QWriteLocker locker(&m_subscriptionLock);
    m_subscribedChannels->append(channel);
}

int V2_MessageHandler::subscribedChannelsCount() const
{
    QReadLocker locker(&m_subscriptionLock);
    return m_subscribedChannels->size();
}

QStringList V2_MessageHandler::subscribedChannels() const
{
    QReadLocker locker(&m_subscriptionLock);
    return *m_subscribedChannels;
}

bool V2_MessageHandler::subscriptionContains(const QString& path) const
{
    QReadLocker locker(&m_subscriptionLock);
    for (const QString& channel : qAsConst(*m_subscribedChannels)) {
        if (path.startsWith(channel) || channel.startsWith(path))
            return true;
    }
    return false;
}

bool V2_MessageHandler::hasSubscriptionToPath(const QString& path) const
{
    QReadLocker locker(&m_subscriptionLock);
    for (const QString& channel : qAsConst(*m_subscribedChannels)) {
        if (path == channel)
            return true;
        // Component-wise prefix: "timing" covers "timing.session", not "timingX".
        if (path.startsWith(channel) && (path.size() == channel.size() || path.at(channel.size()) == QLatin1Char('.')))
            return true;
    }
    return false;
}

bool V2_MessageHandler::userProfileKeyValid(const QString& key) const
{
    if (m_fullAccess)
        return true;
    UserProfileReadLock locked(m_user);
    return locked.profile() && locked.profile()->keyValid(key);
}

bool V2_MessageHandler::logged() const
{
    return m_logged || m_fullAccess;
}

void V2_MessageHandler::setLogged(bool logged)
{
    m_logged = logged;
}

bool V2_MessageHandler::fullAccess() const
{
    return m_fullAccess;
}

void V2_MessageHandler::setFullAccess(bool fullAccess)
{
    m_fullAccess = fullAccess;
}

void V2_MessageHandler::setVersion(int version, int subVersion, int revision)
{
    m_version = version;
    m_subVersion = subVersion;
    m_revision = revision;
    m_versionNumber = combined(version, subVersion, revision);
}

int V2_MessageHandler::version() const
{
    return m_version;
}

int V2_MessageHandler::subVersion() const
{
    return m_subVersion;
}

int V2_MessageHandler::revision() const
{
    return m_revision;
}

void V2_MessageHandler::setMinimumVersion(int version, int subVersion, int revision)
{
    m_minimumVersion = version;
    m_minimumSubVersion = subVersion;
    m_minimumRevision = revision;
    m_minimumVersionNumber = combined(version, subVersion, revision);
}

int V2_MessageHandler::minimumVersion() const
{
    return m_minimumVersion;
}

int V2_MessageHandler::minimumSubVersion() const
{
    return m_minimumSubVersion;
}

int V2_MessageHandler::minimumRevision() const
{
    return m_minimumRevision;
}

void V2_MessageHandler::setPingRate(int pingRate)
{
    m_pingRate = pingRate;
}

int V2_MessageHandler::pingRate() const
{
    return m_pingRate;
}

void V2_MessageHandler::setPingTimeout(int timeout)
{
    m_pingTimeout = timeout;
}

int V2_MessageHandler::pingTimeout() const
{
    return m_pingTimeout;
}

void V2_MessageHandler::setUser(V2_User* user)
{
    m_user = user;
}

V2_User* V2_MessageHandler::user() const
{
    return m_user;
}

void V2_MessageHandler::setName(const QString& name)
{
    m_name = name;
}

QString V2_MessageHandler::name() const
{
    return m_name;
}
