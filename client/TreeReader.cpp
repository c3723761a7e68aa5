#include "TreeReader.h"

#include "TimingConstants.h"
#include "V2_Client.h"
#include "V2_Data.h"

const QString TreeReader::kDetailsPath = QStringLiteral("timing.session.standings.overall.participantDetails.");
const QString TreeReader::kLapsPath = QStringLiteral("timing.analysis.laps.");

void TreeReader::setClient(const V2_Client* client)
{
    m_client = client;
}

void TreeReader::setUsaUnits(bool on)
{
    m_usaUnits = on;
}

bool TreeReader::usaUnits() const
{
    return m_usaUnits;
}

V2_Data* TreeReader::node(const QString& path) const
{
    return m_client ? m_client->getCurrentData()->getV2_Data(path) : nullptr;
}

QString TreeReader::readString(const QString& path, const QString& field, const QString& missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getString(field) : missing;
}

int TreeReader::readInt(const QString& path, const QString& field, int defaultValue, int missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getInt(field, defaultValue) : missing;
}

qint64 TreeReader::readLongLong(const QString& path, const QString& field, qint64 defaultValue, qint64 missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getLongLong(field, defaultValue) : missing;
}

quint64 TreeReader::readTime(const QString& path, const QString& field, quint64 defaultValue, quint64 missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getULongLong(field, defaultValue) : missing;
}

double TreeReader::readDouble(const QString& path, const QString& field, double defaultValue, double missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getDouble(field, defaultValue) : missing;
}

bool TreeReader::readBool(const QString& path, const QString& field, bool defaultValue, bool missing) const
{
    const V2_Data* found = node(path);
    return found ? found->getBool(field, defaultValue) : missing;
}

QStringList TreeReader::childKeys(const QString& path) const
{
    const V2_Data* found = node(path);
    return found ? found->datas()->keys() : QStringList();
}

int TreeReader::childCount(const QString& path) const
{
    const V2_Data* found = node(path);
    return found ? found->datas()->size() : 0;
}

double TreeReader::speedInUnit(double kmh) const
{
    return m_usaUnits ? kmh * TimingConstants::KMH_TO_MPH : kmh;
}

QString TreeReader::formattedDriver(const V2_Data* entry, int driverIndex)
{
    if (!entry || driverIndex == -1)
        return QString();
    const V2_Data* drivers = entry->getInLevelV2_Data(QStringLiteral("drivers"));
    const V2_Data* driver = drivers ? drivers->getInLevelV2_Data(QString::number(driverIndex)) : nullptr;
    if (!driver)
        return QString();
    // The last name alone when there is no first name.
    const QString firstName = driver->getString(QStringLiteral("firstName"));
    const QString lastName = driver->getString(QStringLiteral("lastName"));
    return firstName.isEmpty() ? lastName : firstName.left(1) + QStringLiteral(". ") + lastName;
}
