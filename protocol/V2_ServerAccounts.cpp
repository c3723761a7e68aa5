// V2_Server's accounts: the registries of users and profiles, adding,
// updating and deleting them, and reading and writing their settings stores.
#include "V2_Server.h"

#include "AccountStore.h"
#include "V2_Profile.h"
#include "V2_ServerSocket.h"
#include "V2_User.h"

#include <QDebug>
#include <QSet>
#include <QSettings>

namespace {

// Removes every registry key that holds value: one object may be registered
// under several keys, and none may lead to it once it is deleted.
template <class T>
void removeKeysOf(QMap<QString, T*>* registry, const T* value)
{
    for (auto it = registry->begin(); it != registry->end();) {
        if (it.value() == value)
            it = registry->erase(it);
        else
            ++it;
    }
}

// Each object once, though several keys may hold it.
template <class T>
void deleteEachOnce(const QList<T*>& objects)
{
    const QSet<T*> unique(objects.cbegin(), objects.cend());
    qDeleteAll(unique);
}

const QString kDefault = QStringLiteral("DEFAULT");
const QString kFullAccess = QStringLiteral("FULL_ACCESS");

} // namespace

void V2_Server::deleteRegistries()
{
    // Removed users whose deferred deletion has not run yet.
    QList<V2_User*> removed;
    for (const QPointer<V2_User>& user : qAsConst(m_removedUsers)) {
        if (user)
            removed.append(user.data());
    }
    deleteEachOnce(removed);
    QWriteLocker locker(&m_registryLock);
    deleteEachOnce(m_users->values());
    m_users->clear();
    deleteEachOnce(m_profiles->values());
    m_profiles->clear();
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

V2_User* V2_Server::findAndLockUser(const QString& login)
{
    QReadLocker locker(&m_registryLock);
    V2_User* user = m_users->value(login);
    if (user)
        user->writeLock();
    return user;
}

QList<V2_User*> V2_Server::liveUsers() const
{
    QList<V2_User*> users;
    {
        QReadLocker locker(&m_registryLock);
        users = m_users->values();
    }
    // Deleted only on this thread's event loop, so still alive while we run.
    for (const QPointer<V2_User>& removed : m_removedUsers) {
        if (removed)
            users.append(removed.data());
    }
    return users;
}

void V2_Server::bindProfile(V2_User* user) const
{
    // On the server's thread, the only one that changes the registry: no
    // registry lock, which callers holding a user's lock must not take.
    V2_Profile* profile = m_profiles->value(user->profileName());
    user->setProfile(profile ? profile : m_profiles->value(kDefault));
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
    V2_User* sameLogin = nullptr;
    {
        QReadLocker locker(&m_registryLock);
        for (V2_User* each : qAsConst(*m_users)) {
            if (each->name() == user.name()) {
                known = each;
                break;
            }
        }
        sameLogin = m_users->value(user.user());
    }
    // One object per login: its connections hold it. A new display name for
    // a known login updates that login's object rather than replacing it.
    if (!known)
        known = sameLogin;
    if (known) {
        known->writeLock();
        const QString oldLogin = known->user();
        // The live count belongs to the connections, not to the update.
        const int connections = known->currentNumberOfConnections();
        known->copy(user);
        known->setCurrentNumberOfConnections(connections);
        known->setProfile(profile);
        known->writeUnlock();
        if (oldLogin != user.user()) {
            // A known name takes a new login: the object moves to that key,
            // and whichever object held it goes as a deleted one does.
            if (sameLogin && sameLogin != known)
                deleteUser(sameLogin);
            QWriteLocker locker(&m_registryLock);
            if (m_users->value(oldLogin) == known)
                m_users->remove(oldLogin);
            m_users->insert(user.user(), known);
        }
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
    // Out of the registry first: no login finds it from now on, and a login
    // that found it before has bound it by the time it is marked.
    {
        QWriteLocker locker(&m_registryLock);
        removeKeysOf(m_users, user);
    }
    const bool unused = user->markRemoved();
    {
        QMutexLocker locker(&m_mutex);
        // Every live connection, those the descriptor table no longer
        // holds (closing, their number reused) included.
        for (V2_ServerSocket* connection : qAsConst(m_live)) {
            if (connection->user() == user)
                connection->releaseUser(user);
        }
    }
    if (unused) {
        user->deleteLater();
        return;
    }
    m_removedUsers.removeAll(nullptr);
    m_removedUsers.append(user);
}

void V2_Server::deleteProfile(V2_Profile* profile)
{
    if (!profile)
        return;
    // Users first, each under its own lock: once none is bound to the
    // profile, no connection can reach it (connections read a profile
    // through their user, holding the user's lock). The profile's own lock
    // is never held while a user's is wanted.
    QList<V2_User*> bound;
    for (V2_User* user : liveUsers()) {
        user->writeLock();
        if (user->profile() == profile) {
            user->setProfile(nullptr);
            bound.append(user);
        }
        user->writeUnlock();
    }
    {
        QMutexLocker locker(&m_mutex);
        for (V2_ServerSocket* connection : qAsConst(m_live)) {
            if (bound.contains(connection->user()))
                connection->stop();
        }
    }
    {
        QWriteLocker locker(&m_registryLock);
        removeKeysOf(m_profiles, profile);
    }
    profile->writeLock();
    profile->writeUnlock();
    profile->deleteLater();
}

// ---------------------------------------------------------------------------
// Settings stores

void V2_Server::loadProfiles(QSettings* settings)
{
    if (!settings)
        return;
    QMap<QString, V2_Profile*> loaded;
    const QStringList groups = settings->childGroups();
    for (const QString& group : groups) {
        V2_Profile* profile = AccountStore::readProfile(*settings, group);
        delete loaded.value(group);
        loaded.insert(group, profile);
    }
    for (const QString& name : {kDefault, kFullAccess}) {
        if (!loaded.contains(name))
            loaded.insert(name, new V2_Profile(name));
    }

    // The new profiles replace the old ones in one step, and every user,
    // under its own lock, moves to the new profile of its profile name (or
    // "DEFAULT"): live connections go on with the reloaded rights. No
    // connection can still reach an old profile afterwards.
    const QList<V2_User*> users = liveUsers();
    QList<V2_Profile*> old;
    {
        QWriteLocker locker(&m_registryLock);
        old = m_profiles->values();
        *m_profiles = loaded;
    }
    for (V2_User* user : users) {
        user->writeLock();
        bindProfile(user);
        user->writeUnlock();
    }
    deleteEachOnce(old);
}

void V2_Server::saveProfiles(QSettings* settings)
{
    if (!settings)
        return;
    QReadLocker locker(&m_registryLock);
    for (auto it = m_profiles->cbegin(); it != m_profiles->cend(); ++it) {
        V2_Profile* profile = it.value();
        profile->readLock();
        AccountStore::writeProfile(*settings, it.key(), *profile);
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
        V2_User* user = AccountStore::readUser(*settings, group);
        bindProfile(user);

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
        AccountStore::writeUser(*settings, *user);
        user->readUnlock();
    }
    settings->sync();
}
