#include "AccountStore.h"

#include "V2_Profile.h"
#include "V2_User.h"

#include <QHostAddress>
#include <QSettings>

V2_Profile* AccountStore::readProfile(QSettings& settings, const QString& group)
{
    auto* profile = new V2_Profile(group);
    settings.beginGroup(group);
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys)
        profile->keyList()->insert(key, static_cast<unsigned char>(settings.value(key).toInt() & 0xFF));

    QMap<QString, V2_Profile::ProfileFilter> filters;
    settings.beginGroup(QStringLiteral("FILTERS"));
    const QStringList filterKeys = settings.childGroups();
    for (const QString& filterKey : filterKeys) {
        settings.beginGroup(filterKey);
        V2_Profile::ProfileFilter filter;
        filter.name = filterKey;
        filter.fieldName = settings.value(QStringLiteral("fieldName")).toString();
        const int size = settings.beginReadArray(QStringLiteral("validValues"));
        for (int i = 0; i < size; ++i) {
            settings.setArrayIndex(i);
            filter.validValues.append(settings.value(QStringLiteral("value")).toString());
        }
        settings.endArray();
        settings.endGroup();
        filters.insert(filterKey, filter);
    }
    settings.endGroup();
    profile->setProfileFilters(filters);

    settings.beginGroup(QStringLiteral("PROFILE"));
    profile->setIsAllowedToSendData(settings.value(QStringLiteral("IS_ALLOWED_TO_SEND_DATA"), false).toBool());
    profile->setChampionshipSubscribed(settings.value(QStringLiteral("CHAMPIONSHIP_SUBSCRIBED")).toString());
    profile->setCommands(settings.value(QStringLiteral("COMMANDS")).toStringList());
    settings.endGroup();
    settings.endGroup();
    return profile;
}

void AccountStore::writeProfile(QSettings& settings, const QString& group, const V2_Profile& profile)
{
    settings.beginGroup(group);
    const QMap<QString, unsigned char>* keys = profile.keyList();
    for (auto key = keys->cbegin(); key != keys->cend(); ++key)
        settings.setValue(key.key(), static_cast<int>(key.value()));
    const QMap<QString, V2_Profile::ProfileFilter> filters = profile.getProfileFilters();
    settings.beginGroup(QStringLiteral("FILTERS"));
    for (auto filter = filters.cbegin(); filter != filters.cend(); ++filter) {
        settings.beginGroup(filter.key());
        settings.setValue(QStringLiteral("fieldName"), filter.value().fieldName);
        settings.beginWriteArray(QStringLiteral("validValues"), filter.value().validValues.size());
        for (int i = 0; i < filter.value().validValues.size(); ++i) {
            settings.setArrayIndex(i);
            settings.setValue(QStringLiteral("value"), filter.value().validValues.at(i));
        }
        settings.endArray();
        settings.endGroup();
    }
    settings.endGroup();
    settings.beginGroup(QStringLiteral("PROFILE"));
    settings.setValue(QStringLiteral("IS_ALLOWED_TO_SEND_DATA"), profile.isAllowedToSendData());
    settings.setValue(QStringLiteral("CHAMPIONSHIP_SUBSCRIBED"), profile.getChampionshipSubscribed());
    settings.setValue(QStringLiteral("COMMANDS"), profile.getCommands());
    settings.endGroup();
    settings.endGroup();
}

V2_User* AccountStore::readUser(QSettings& settings, const QString& group)
{
    settings.beginGroup(group);
    auto* user = new V2_User(settings.value(QStringLiteral("NAME")).toString());
    user->setUser(settings.value(QStringLiteral("USER")).toString());
    user->setPass(settings.value(QStringLiteral("PASSWORD")).toString());
    user->setProfileName(settings.value(QStringLiteral("PROFILE")).toString());
    user->setMaxConnections(settings.value(QStringLiteral("MAX_CONNECTIONS")).toInt());
    const int size = settings.beginReadArray(QStringLiteral("ALLOWED_NETWORKS"));
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        user->addAllowedNetwork(QHostAddress(settings.value(QStringLiteral("NETWORK")).toString()),
                                settings.value(QStringLiteral("MAX_CONNECTIONS")).toInt(),
                                settings.value(QStringLiteral("DESCRIPTION")).toString());
    }
    settings.endArray();
    settings.endGroup();
    return user;
}

void AccountStore::writeUser(QSettings& settings, const V2_User& user)
{
    settings.beginGroup(user.name());
    settings.setValue(QStringLiteral("NAME"), user.name());
    settings.setValue(QStringLiteral("USER"), user.user());
    settings.setValue(QStringLiteral("PASSWORD"), user.pass());
    settings.setValue(QStringLiteral("PROFILE"), user.profileName());
    settings.setValue(QStringLiteral("MAX_CONNECTIONS"), user.maxConnections());
    const QList<V2_User::AllowedNetworks> networks = user.allowedNetworks();
    settings.beginWriteArray(QStringLiteral("ALLOWED_NETWORKS"), networks.size());
    for (int i = 0; i < networks.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("NETWORK"), networks.at(i).network.toString());
        settings.setValue(QStringLiteral("MAX_CONNECTIONS"), QString::number(networks.at(i).maxConnections));
        settings.setValue(QStringLiteral("DESCRIPTION"), networks.at(i).description);
    }
    settings.endArray();
    settings.endGroup();
}
