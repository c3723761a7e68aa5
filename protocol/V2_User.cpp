#include "V2_User.h"

#include "V2_Profile.h"
#include "V2_message.h"

V2_User::V2_User(QString name)
    : m_name(name)
    , m_profile(nullptr)
    , m_profileName(QStringLiteral("DEFAULT"))
    , m_userFilters(new QList<UserFilter>)
    , m_maxConnections(0)
    , m_currentNumberOfConnections(0)
{
}

V2_User::V2_User(const QString& name, const QString& user, const QString& pass, int maxConnections, V2_Profile* profile)
    : m_name(name)
    , m_user(user)
    , m_pass(pass)
    , m_profile(profile)
    , m_profileName(profile ? profile->name() : QString())
    , m_userFilters(nullptr)
    , m_maxConnections(maxConnections)
    , m_currentNumberOfConnections(0)
{
}

V2_User::V2_User(const V2_User& other)
    : Lock()
    , QObject()
    , m_profile(nullptr)
    , m_userFilters(nullptr)
    , m_maxConnections(0)
    , m_currentNumberOfConnections(0)
{
    copy(other);
}

V2_User& V2_User::operator=(const V2_User& other)
{
    copy(other);
    return *this;
}

V2_User::~V2_User()
{
    delete m_userFilters;
}

void V2_User::copy(const V2_User& other)
{
    if (&other == this)
        return;
    m_name = other.m_name;
    m_user = other.m_user;
    m_pass = other.m_pass;
    m_profileName = other.m_profileName;
    m_maxConnections = other.m_maxConnections;
    m_currentNumberOfConnections = other.m_currentNumberOfConnections.load();
}

void V2_User::copy(const V2_User* other)
{
    if (other)
        copy(*other);
}

QString V2_User::name() const
{
    return m_name;
}

void V2_User::setName(const QString& name)
{
    m_name = name;
}

QString V2_User::user() const
{
    return m_user;
}

void V2_User::setUser(const QString& user)
{
    m_user = user;
}

QString V2_User::pass() const
{
    return m_pass;
}

void V2_User::setPass(const QString& pass)
{
    m_pass = pass;
}

V2_Profile* V2_User::profile() const
{
    return m_profile;
}

void V2_User::setProfile(V2_Profile* profile)
{
    m_profile = profile;
}

QString V2_User::profileName() const
{
    return m_profileName;
}

void V2_User::setProfileName(const QString& profileName)
{
    m_profileName = profileName;
}

int V2_User::maxConnections() const
{
    return m_maxConnections;
}

void V2_User::setMaxConnections(int maxConnections)
{
    m_maxConnections = maxConnections;
}

int V2_User::currentNumberOfConnections() const
{
    return m_currentNumberOfConnections;
}

void V2_User::setCurrentNumberOfConnections(int count)
{
    m_currentNumberOfConnections = count;
}

QList<V2_User::UserFilter>* V2_User::userFilters() const
{
    return m_userFilters;
}

void V2_User::setUserFilters(QList<UserFilter>* filters)
{
    if (filters == m_userFilters)
        return;
    delete m_userFilters;
    m_userFilters = filters;
}

QList<V2_User::AllowedNetworks> V2_User::allowedNetworks() const
{
    return m_allowedNetworks;
}

void V2_User::setAllowedNetworks(const QList<AllowedNetworks>& networks)
{
    m_allowedNetworks = networks;
}

void V2_User::addAllowedNetwork(QHostAddress network, int maxConnections, QString description)
{
    m_allowedNetworks.append(AllowedNetworks{description, network, maxConnections});
}

void V2_User::removeAllowedNetwork(QHostAddress network)
{
    for (int i = 0; i < m_allowedNetworks.size(); ++i) {
        if (m_allowedNetworks.at(i).network == network) {
            m_allowedNetworks.removeAt(i);
            return;
        }
    }
}

QString V2_User::toJson() const
{
    return QStringLiteral("{\"name\": ") + V2_message::jsonQuoted(m_name) + QStringLiteral(",\"user\": ") + V2_message::jsonQuoted(m_user)
        + QStringLiteral(",\"password\": ") + V2_message::jsonQuoted(m_pass) + QStringLiteral(",\"profile\": ") + V2_message::jsonQuoted(m_profileName)
        + QStringLiteral(",\"maxConnections\": ") + QString::number(m_maxConnections) + QLatin1Char('}');
}

void V2_User::hold()
{
    writeLock();
    ++m_holders;
    writeUnlock();
}

bool V2_User::release()
{
    writeLock();
    --m_holders;
    const bool gone = m_removed && m_holders == 0;
    writeUnlock();
    return gone;
}

bool V2_User::markRemoved()
{
    writeLock();
    m_removed = true;
    const bool gone = m_holders == 0;
    writeUnlock();
    return gone;
}

bool V2_User::isRemoved() const
{
    return m_removed;
}
