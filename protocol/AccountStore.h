#pragma once

#include <QString>

class QSettings;
class V2_Profile;
class V2_User;

// The settings schema of the server's accounts: one group per profile (its
// key list, "FILTERS" and "PROFILE") and one group per user (with its
// "ALLOWED_NETWORKS"). Reading and writing only: the registries, their locks
// and the profile bindings stay with the server.
class AccountStore final
{
public:
    // The group's profile, new (the caller owns it).
    static V2_Profile* readProfile(QSettings& settings, const QString& group);
    static void writeProfile(QSettings& settings, const QString& group, const V2_Profile& profile);
    // The group's user, new and not bound to a profile yet.
    static V2_User* readUser(QSettings& settings, const QString& group);
    static void writeUser(QSettings& settings, const V2_User& user);
};
