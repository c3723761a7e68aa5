#include "V2_Profile.h"

#include "V2_Data.h"
#include "V2_message.h"

namespace {

quint64 nextRevision()
{
    static std::atomic<quint64> counter{0};
    return ++counter;
}

} // namespace

V2_Profile::V2_Profile(QString name)
    : m_name(name)
    , m_keyList(new QMap<QString, unsigned char>)
    , m_isAllowedToSendData(false)
    , m_revision(nextRevision())
{
}

V2_Profile::V2_Profile(const QString& name, QMap<QString, unsigned char>* keyList, bool isAllowedToSendData, const QString& championship)
    : m_name(name)
    , m_keyList(keyList ? keyList : new QMap<QString, unsigned char>)
    , m_isAllowedToSendData(isAllowedToSendData)
    , m_championshipSubscribed(championship)
    , m_revision(nextRevision())
{
}

V2_Profile::V2_Profile(V2_Profile* other)
    : V2_Profile(other ? other->m_name : QString())
{
    if (other)
        copy(*other);
}

V2_Profile::V2_Profile(const V2_Profile& other)
    : Lock()
    , QObject()
    , m_name(other.m_name)
    , m_keyList(new QMap<QString, unsigned char>)
    , m_isAllowedToSendData(false)
    , m_revision(nextRevision())
{
    copy(other);
}

V2_Profile& V2_Profile::operator=(const V2_Profile& other)
{
    copy(other);
    return *this;
}

V2_Profile::~V2_Profile()
{
    delete m_keyList;
}

void V2_Profile::copy(const V2_Profile& other)
{
    if (&other == this)
        return;
    m_name = other.m_name;
    *m_keyList = *other.m_keyList;
    m_commands = other.m_commands;
    m_isAllowedToSendData = other.m_isAllowedToSendData;
    m_championshipSubscribed = other.m_championshipSubscribed;
    m_revision = nextRevision();
}

QString V2_Profile::name() const
{
    return m_name;
}

void V2_Profile::setName(const QString& name)
{
    m_name = name;
}

QMap<QString, unsigned char>* V2_Profile::keyList()
{
    m_revision = nextRevision();
    return m_keyList;
}

const QMap<QString, unsigned char>* V2_Profile::keyList() const
{
    return m_keyList;
}

void V2_Profile::setKeyList(QMap<QString, unsigned char>* keyList)
{
    if (keyList == m_keyList)
        return;
    delete m_keyList;
    m_keyList = keyList ? keyList : new QMap<QString, unsigned char>;
    m_revision = nextRevision();
}

QStringList V2_Profile::getCommands() const
{
    return m_commands;
}

void V2_Profile::setCommands(const QStringList& commands)
{
    m_commands = commands;
}

void V2_Profile::addCommand(const QString& command)
{
    m_commands.append(command);
}

void V2_Profile::removeCommand(const QString& command)
{
    m_commands.removeOne(command);
}

bool V2_Profile::isAllowedToSendData() const
{
    return m_isAllowedToSendData;
}

void V2_Profile::setIsAllowedToSendData(bool allowed)
{
    m_isAllowedToSendData = allowed;
}

QString V2_Profile::getChampionshipSubscribed() const
{
    return m_championshipSubscribed;
}

void V2_Profile::setChampionshipSubscribed(const QString& championship)
{
    m_championshipSubscribed = championship;
}

QMap<QString, V2_Profile::ProfileFilter> V2_Profile::getProfileFilters() const
{
    return m_profileFilters;
}

void V2_Profile::setProfileFilters(const QMap<QString, ProfileFilter>& filters)
{
    m_profileFilters = filters;
    m_revision = nextRevision();
}

bool V2_Profile::keyValid(const QString& key) const
{
    const auto it = m_keyList->constFind(key);
    return it != m_keyList->cend() && it.value() != 0;
}

bool V2_Profile::isCommandValid(const QString& name) const
{
    return m_commands.contains(name);
}

bool V2_Profile::hasProfileFilters() const
{
    return !m_profileFilters.isEmpty();
}

bool V2_Profile::hasProfileFilters(const QString& path) const
{
    for (auto it = m_profileFilters.cbegin(); it != m_profileFilters.cend(); ++it) {
        if (it.key().startsWith(path) || path.startsWith(it.key()))
            return true;
    }
    return false;
}

bool V2_Profile::hasProfileFilters(const V2_Data* data) const
{
    if (!data)
        return false;
    const QString path = data->getCalculatedPath();
    if (!data->getIgnorePath())
        return hasProfileFilters(path);
    for (auto it = m_profileFilters.cbegin(); it != m_profileFilters.cend(); ++it) {
        if (!it.value().fieldName.isEmpty())
            continue;
        if (it.key() == path)
            return false;
        if (it.key().startsWith(path) || path.startsWith(it.key()))
            return true;
    }
    return false;
}

bool V2_Profile::profileFilterAccepted(V2_Data* data) const
{
    if (!data || m_profileFilters.isEmpty())
        return true;
    const auto found = m_profileFilters.constFind(data->getCalculatedPath());
    if (found == m_profileFilters.cend())
        return true;
    const ProfileFilter& filter = found.value();
    if (!filter.fieldName.isEmpty()) {
        const QString value = data->getString(filter.fieldName);
        if (!value.isEmpty())
            return filter.validValues.contains(value);
        return data->getIgnorePath();
    }
    if (!data->getIgnorePath())
        return true;
    const QStringList keys = data->datas()->keys();
    for (const QString& key : keys) {
        if (!filter.validValues.contains(key))
            data->deleteKey(key);
    }
    return true;
}

QString V2_Profile::toJson() const
{
    QString json = QStringLiteral("{\"name\":") + V2_message::jsonQuoted(m_name) + QStringLiteral(",\"channels\":{");
    bool first = true;
    for (auto it = m_keyList->cbegin(); it != m_keyList->cend(); ++it) {
        if (!first)
            json += QLatin1Char(',');
        first = false;
        json += V2_message::jsonQuoted(it.key()) + QLatin1Char(':') + QString::number(it.value());
    }
    json += QStringLiteral("},\"commands\":[");
    for (int i = 0; i < m_commands.size(); ++i) {
        if (i)
            json += QLatin1Char(',');
        json += V2_message::jsonQuoted(m_commands.at(i));
    }
    json += QStringLiteral("],\"isUploader\":") + (m_isAllowedToSendData ? QStringLiteral("true") : QStringLiteral("false"));
    json += QStringLiteral(",\"championship\":") + V2_message::jsonQuoted(m_championshipSubscribed) + QLatin1Char('}');
    return json;
}

quint64 V2_Profile::revision() const
{
    return m_revision;
}
