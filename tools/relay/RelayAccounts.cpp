#include "RelayAccounts.h"

#include "RelayOptions.h"
#include "TeamChannel.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"

#include <QSettings>

#include <algorithm>

namespace RelayAccounts {

void addDemoUser(V2_Server& server, const QStringList& channels)
{
    auto* profile = new V2_Profile(QStringLiteral("FULL"));
    for (const QString& channel : channels + QStringList{TeamChannel::CHANNEL}) {
        const QStringList parts = channel.split(QLatin1Char('.'));
        for (int i = 1; i <= parts.size(); ++i)
            profile->keyList()->insert(parts.mid(0, i).join(QLatin1Char('.')), 2);
    }
    profile->setIsAllowedToSendData(true);
    server.addProfile(profile->name(), profile);
    server.addUser(new V2_User(QStringLiteral("demo"), QStringLiteral("demo"), QStringLiteral("demo"), 100, profile));
}

bool loadAccounts(V2_Server& server, const RelayOptions& options, QString* error)
{
    QSettings profiles(options.profilesFile, QSettings::IniFormat);
    QSettings users(options.usersFile, QSettings::IniFormat);
    if (profiles.status() != QSettings::NoError || users.status() != QSettings::NoError) {
        *error = QStringLiteral("Cannot read the users or profiles file");
        return false;
    }
    server.loadProfiles(&profiles);
    server.loadUsers(&users);
    // The server always holds "DEFAULT" and "FULL_ACCESS", which cannot log in.
    const QMap<QString, V2_User*>* all = server.users();
    if (std::none_of(all->cbegin(), all->cend(), [](const V2_User* user) { return user->maxConnections() > 0; })) {
        *error = QStringLiteral("%1 names no user who may log in").arg(options.usersFile);
        return false;
    }
    return true;
}

} // namespace RelayAccounts
