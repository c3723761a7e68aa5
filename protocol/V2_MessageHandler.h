#pragma once

#include "pexjsonv2_export.h"

#include <QObject>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

#include <atomic>

class V2_message;
class V2_Profile;
class V2_User;

// The protocol state of one client on the server side, and the decisions
// that do not touch the socket: login checks, join, leave and command
// permissions, and whether a data path concerns the joined channels.
class PEXJSONV2_EXPORT V2_MessageHandler : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(V2_MessageHandler)

public:
    V2_MessageHandler(QString name, QObject* parent = nullptr);
    ~V2_MessageHandler() override;

    bool ok_LOGIN(V2_message* mes);
    bool ok_JOIN(V2_message* mes);
    bool ok_LEAVE(V2_message* mes);
    bool ok_CMD(V2_message* mes);
    bool ok_ACK(V2_message* mes);
    bool ok_ERROR(V2_message* mes);
    bool ok_JSON(V2_message* mes);
    bool ok_PING(V2_message* mes);
    bool ok_REPLY(V2_message* mes);
    bool ok_TIME(V2_message* mes);

    V2_message loginReplyMessage() const;
    // The reply line to a login request with that id.
    QString loginReplyLine(const QString& requestId) const;

    void addSubscribedChannel(const QString& channel);
    int subscribedChannelsCount() const;
    QStringList subscribedChannels() const;
    bool subscriptionContains(const QString& path) const;
    bool hasSubscriptionToPath(const QString& path) const;
    bool userProfileKeyValid(const QString& key) const;

    bool logged() const;
    void setLogged(bool logged);
    bool fullAccess() const;
    void setFullAccess(bool fullAccess);

    void setVersion(int version, int subVersion, int revision);
    int version() const;
    int subVersion() const;
    int revision() const;
    void setMinimumVersion(int version, int subVersion, int revision);
    int minimumVersion() const;
    int minimumSubVersion() const;
    int minimumRevision() const;
    void setPingRate(int pingRate);
    int pingRate() const;
    void setPingTimeout(int timeout);
    int pingTimeout() const;
    void setUser(V2_User* user);
    V2_User* user() const;
    void setName(const QString& name);
    QString name() const;

signals:
    void onJoin(QString channel);
    void onCMD(V2_message* mes);

private:
    // The channel is a non-zero key of the user's profile. A full-access
    // connection without user or profile is unrestricted; anyone else
    // without a profile is refused.
    bool channelAllowed(const QString& channel) const;
    static qint64 combined(int version, int subVersion, int revision);

    int m_version = 0;
    int m_subVersion = 0;
    int m_revision = 0;
    qint64 m_versionNumber = 0;
    int m_minimumVersion = 0;
    int m_minimumSubVersion = 0;
    int m_minimumRevision = 0;
    qint64 m_minimumVersionNumber = 0;
    // Read by the server's thread while the connection's thread changes them.
    std::atomic<bool> m_logged{false};
    std::atomic<bool> m_fullAccess{false};
    std::atomic<int> m_pingRate{0};
    std::atomic<int> m_pingTimeout{0};
    std::atomic<V2_User*> m_user{nullptr};
    QStringList* m_subscribedChannels;
    QString m_name;
    mutable QReadWriteLock m_subscriptionLock;
};
