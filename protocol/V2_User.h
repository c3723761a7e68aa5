#pragma once

#include "Lock.h"
#include "pexjsonv2_export.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>

class V2_Profile;

// An account of the publishing server, bound to an access profile. Read
// under its read lock; its connection count changes under its write lock.
class PEXJSONV2_EXPORT V2_User : public Lock, public QObject
{
public:
    struct AllowedNetworks {
        QString description;
        QHostAddress network;
        int maxConnections = 0;
    };
    struct UserFilter {
        QString name;
        QStringList values;
    };

    explicit V2_User(QString name);
    V2_User(const QString& name, const QString& user, const QString& pass, int maxConnections, V2_Profile* profile);
    V2_User(const V2_User& other);
    V2_User& operator=(const V2_User& other);
    ~V2_User() override;

    // Takes over name, user, pass, profileName, maxConnections and the
    // connection count; networks, filters and the profile binding stay.
    void copy(const V2_User& other);
    void copy(const V2_User* other);

    QString name() const;
    void setName(const QString& name);
    QString user() const;
    void setUser(const QString& user);
    QString pass() const;
    void setPass(const QString& pass);
    V2_Profile* profile() const;
    void setProfile(V2_Profile* profile);
    QString profileName() const;
    void setProfileName(const QString& profileName);
    int maxConnections() const;
    void setMaxConnections(int maxConnections);
    int currentNumberOfConnections() const;
    void setCurrentNumberOfConnections(int count);
    QList<UserFilter>* userFilters() const;
    void setUserFilters(QList<UserFilter>* filters);
    QList<AllowedNetworks> allowedNetworks() const;
    void setAllowedNetworks(const QList<AllowedNetworks>& networks);
    void addAllowedNetwork(QHostAddress network, int maxConnections, QString description);
    void removeAllowedNetwork(QHostAddress network);

    QString toJson() const;

    // Lifetime across threads. A connection holds the user it is logged in
    // as; the server marks a user it removes from its registry. The object
    // is deleted (deferred) once it is both removed and held by nobody:
    // whichever of the two calls below comes last answers true. Both take
    // the user's write lock.
    void hold();
    bool release();
    bool markRemoved();
    bool isRemoved() const;

private:
    QList<AllowedNetworks> m_allowedNetworks;
    QString m_name;
    QString m_user;
    QString m_pass;
    V2_Profile* m_profile;
    QString m_profileName;
    QList<UserFilter>* m_userFilters;
    int m_maxConnections;
    // Changed under the write lock; read by anyone (a status display, a test).
    std::atomic<int> m_currentNumberOfConnections;
    int m_holders = 0;
    bool m_removed = false;
};
