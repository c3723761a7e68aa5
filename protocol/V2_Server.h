#pragma once

#include "pexjsonv2_export.h"

#include <QMap>
#include <QMutex>
#include <QPointer>
#include <QReadWriteLock>
#include <QSet>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

#include <atomic>
#include <memory>

class LoginRefusals;
class QSettings;
class V2_Data;
class V2_Profile;
class V2_ServerSocket;
class V2_User;
class V2_message;

// The listening end of the V2 protocol. Each accepted connection is served
// by a V2_ServerSocket on its own thread; the server keeps the table of
// live connections, owns the users and profiles, relays snapshot requests
// and commands to the application and publishes its data trees.
//
// Locks, always taken in this order: the server mutex, a connection's login
// mutex, the registry lock, a user's lock, a profile's lock (a login holds
// its login mutex while it looks its user up, and deleting a user stops its
// connections under the server mutex). A connection's subscription, output
// and queue locks and a publication's locks come last and are held only
// briefly. Nothing waits for a connection's thread while holding any of them.
// A connection waits for an audience's body holding only its user's and
// that user's profile's read locks; the connection making the body holds
// the same and takes nothing more than its own subscription lock and those
// read locks again (they are recursive), so the wait never closes a cycle.
class PEXJSONV2_EXPORT V2_Server : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY(V2_Server)

public:
    static constexpr qint64 DEFAULT_MAX_PENDING_OUTPUT = 64LL * 1024 * 1024;
    static constexpr qint64 DEFAULT_MAX_LINE_BYTES = 128LL * 1024 * 1024;
    static constexpr qint64 DEFAULT_MAX_NOT_LOGGED_LINE_BYTES = 64LL * 1024;
    static constexpr int DEFAULT_MAX_NOT_LOGGED_CONNECTIONS = 64;
    static constexpr qint64 DEFAULT_MAX_NOT_LOGGED_PENDING_OUTPUT = 256LL * 1024;
    static constexpr int DEFAULT_LOGIN_TIMEOUT = 10;
    static constexpr int DEFAULT_MAX_REFUSED_LOGINS = 3;
    static constexpr int DEFAULT_MAX_JOINS_PER_MINUTE = 60;

    explicit V2_Server(QObject* parent = nullptr);
    ~V2_Server() override;

    bool startServer(int port);
    bool stopServer();
    bool started() const;

    void setSsl(bool ssl);
    bool ssl() const;
    // An application's own TLS pair (PEM), used by connections accepted
    // afterwards instead of the embedded one. False if either part does not parse.
    bool setTlsPair(const QByteArray& certificatePem, const QByteArray& privateKeyPem);
    QSslCertificate tlsCertificate() const;
    QSslKey tlsPrivateKey() const;
    void setFullAccess(bool fullAccess);
    bool fullAccess() const;
    void setNotLoggedTimeout(int seconds);
    int notLoggedTimeout() const;
    void setPingRate(int pingRate);
    int pingRate() const;
    void setTimeout(int seconds);
    int timeout() const;
    void setProtocolVersion(int version, int subVersion, int revision);
    int version() const;
    int subVersion() const;
    int revision() const;
    void setProtocolMinimumVersion(int version, int subVersion, int revision);
    int minVersion() const;
    int minSubVersion() const;
    int minRevision() const;
    // A connection whose unwritten output passes this is dropped.
    void setMaxPendingOutput(qint64 bytes);
    qint64 maxPendingOutput() const;
    // A client line longer than this is refused and its connection closed.
    void setMaxLineBytes(qint64 bytes);
    qint64 maxLineBytes() const;
    // The same for a logged-in client that may not upload. Before login
    // every line is a LOGIN, which is short: 4 KiB at most, or this if less.
    void setMaxNotLoggedLineBytes(qint64 bytes);
    qint64 maxNotLoggedLineBytes() const;
    // Connections that have not logged in yet, each a thread: at this many,
    // a new connection closes the one that has waited longest to log in.
    // Connections holding back the answer to a LOGIN (see
    // setMaxRefusedLogins) are never closed so: at most this many hold one,
    // a quarter of them from one address; a LOGIN beyond that waits, its
    // password unseen, and only its room is tried again.
    // While this many threads of connections are still closing, a new
    // connection is closed at once, without a thread, once those still
    // writing their last bytes are cut short (the server may then run the
    // blocking calls that wait for them, snapshot requests and commands
    // included, from within the accept). Threads before login therefore
    // stay under three times this.
    void setMaxNotLoggedConnections(int connections);
    int maxNotLoggedConnections() const;
    // The unwritten output that drops a connection that has not logged in
    // (its answers are a few short lines).
    void setMaxNotLoggedPendingOutput(qint64 bytes);
    qint64 maxNotLoggedPendingOutput() const;
    // A connection must log in within this many seconds of being accepted
    // (or logged out), however much it talks meanwhile; 0: no limit.
    void setLoginTimeout(int seconds);
    int loginTimeout() const;
    // A connection is closed after this many refused logins; once a login
    // name has had as many recent refusals from one address, every further
    // answer for it from there, refusal or acceptance, is held as long as
    // the next refusal would be, each later than the one before, but always
    // within the time to log in: a LOGIN too late for that is answered that
    // it is too late, whatever its password. While guessers fill their
    // address's share of held answers (see setMaxNotLoggedConnections), a
    // LOGIN for a guessed name from that address, the right password's
    // too, waits for room and may end too late: the team then gets in only
    // from another address or once the guessing stops. 0: neither.
    void setMaxRefusedLogins(int logins);
    int maxRefusedLogins() const;
    // The first of those delays, in milliseconds; it doubles with each
    // further refusal up to eight times this (by default 1 s up to 8 s).
    void setLoginRetryDelay(int ms);
    int loginRetryDelay() const;
    // JOIN requests a connection may make in a minute; beyond, refused. 0: no limit.
    void setMaxJoinsPerMinute(int joins);
    int maxJoinsPerMinute() const;
    // Refused logins per address and account, kept for the connections' threads.
    LoginRefusals* loginRefusals() const;

    int clientsConnected();
    // Threads of connections not yet ended, closing ones included.
    int connectionThreads();
    int clientsLogged();
    QMap<int, V2_ServerSocket*> clients();
    void setClients(const QMap<int, V2_ServerSocket*>& clients);
    void disconnectAllClients();

    QMap<QString, V2_User*>* users() const;
    QMap<QString, V2_Profile*>* profiles() const;
    // Registry look-ups that connection threads may make.
    V2_User* findUser(const QString& login);
    // The user with that login name, write-locked (the caller unlocks), or
    // null. Looked up and locked in one step, so that the user cannot be
    // deleted in between.
    V2_User* findAndLockUser(const QString& login);
    void addUser(V2_User* user);
    void addProfile(QString name, V2_Profile* profile);
    void addOrUpdateUser(const V2_User& user);
    void addOrUpdateProfile(const V2_Profile& profile);
    void deleteUser(V2_User* user);
    void deleteProfile(V2_Profile* profile);

    void loadUsers(QSettings* settings);
    void saveUsers(QSettings* settings);
    void loadProfiles(QSettings* settings);
    void saveProfiles(QSettings* settings);

    void sendMessage(int descriptor, V2_message* mes);
    void sendCommandReply(QString id, int descriptor, QString channel, QString text);
    void sendCommandReply(QString id, int descriptor, QString channel, V2_Data* data);

signals:
    void onStarted();
    void onClientConnected();
    void onClientDisconnected();
    void onClientLogged();
    void onSnapshotRequest(int descriptor, QString channel);
    void onSnapshotRequest(int descriptor, QString channel, QString champ);
    void onCommandReceived(QString channel, QString id, int descriptor, V2_Data* parameters);

public slots:
    void threadFinished(int socketDescriptor);
    void finished();
    virtual void commandReceived(V2_message* mes, int descriptor);
    void sendV2Data(const V2_Data* _data);
    void sendV2Data(int descriptor, V2_Data* _data);
    void sendAndClearV2Data(V2_Data* _data);
    void clearAndSendV2Data(V2_Data* _data);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    // Makes room for a new connection among those not logged in; false
    // when the threads of closing connections are at their bound.
    bool admitNewcomer();
    V2_Profile* profileNamed(const QString& name) const;
    // Every account object, once: removed users not yet deleted, then both registries.
    void deleteRegistries();
    // Registered users and removed ones that connections still hold (server thread).
    QList<V2_User*> liveUsers() const;
    // Binds a user to the profile its profile name names, or to "DEFAULT".
    void bindProfile(V2_User* user) const;

    QMap<int, V2_ServerSocket*> m_clients;
    // Every connection from its start until its thread has ended and its
    // object goes (server thread writes, under m_mutex).
    QSet<V2_ServerSocket*> m_live;
    QMap<QString, V2_User*>* m_users;
    QMap<QString, V2_Profile*>* m_profiles;
    // Limits are read by the connection threads at every check.
    std::atomic<int> m_pingRate;
    std::atomic<int> m_timeout;
    std::atomic<int> m_notLoggedTimeout;
    bool m_fullAccess;
    bool m_started;
    bool m_ssl;
    QMutex m_mutex;
    int m_version;
    int m_subVersion;
    int m_revision;
    int m_minVersion;
    int m_minSubVersion;
    int m_minRevision;
    // Guards the two registry maps against connection threads' look-ups.
    mutable QReadWriteLock m_registryLock;
    QSslCertificate m_certificate;
    QSslKey m_privateKey;
    std::atomic<qint64> m_maxPendingOutput;
    std::atomic<qint64> m_maxLineBytes;
    std::atomic<qint64> m_maxNotLoggedLineBytes;
    int m_maxNotLoggedConnections;
    std::atomic<qint64> m_maxNotLoggedPendingOutput;
    std::atomic<int> m_loginTimeout;
    std::atomic<int> m_maxRefusedLogins;
    std::atomic<int> m_maxJoinsPerMinute;
    std::unique_ptr<LoginRefusals> m_loginRefusals;
    // Users deleted from the registry while connections still held them;
    // each is deleted by the last connection that lets go of it.
    QList<QPointer<V2_User>> m_removedUsers;
};
