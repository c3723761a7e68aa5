#pragma once

#include "pexjsonv2_export.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QRecursiveMutex>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>

class QAbstractEventDispatcher;
class QSslSocket;
class V2_Data;
class V2_MessageHandler;
class V2_Profile;
class V2_Publication;
class V2_Server;
class V2_User;
class V2_message;

// Serves one accepted client of the publishing server on a thread of its
// own: owns the socket, answers the client's requests and writes out what
// the server queues, cut down to the client's channels and profile.
class PEXJSONV2_EXPORT V2_ServerSocket : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(V2_ServerSocket)

public:
    V2_ServerSocket(int descriptor, V2_Server* server, QObject* parent = nullptr);
    ~V2_ServerSocket() override;

    void sendMessage(QString& line);
    void sendMessage(V2_message* mes);
    void sendErrorMessage(V2_message* mes);
    void debugdata(QString text);
    // The reading path without the socket: frames these bytes into lines
    // and answers them as if received; the answers wait in the output,
    // which takeOutput empties (tests and fuzzing).
    void receiveBytes(const QByteArray& bytes);
    QByteArray takeOutput();
    void setFullAccess();
    // Closes an accepted descriptor that no socket object has taken over.
    static void closeDescriptor(qintptr descriptor);
    // Closes a connection that has not logged in to make room for a new one.
    void evict();
    // Evicted, or past its last turn: the thread is on its way out.
    bool isClosing() const;
    // Holds back its answer to a LOGIN, from before the password is looked
    // at until the answer is sent (or the user bound), while its address and
    // account are being guessed at: such connections have a bound of their
    // own and are never evicted, whatever the answer.
    bool holdsAnswer() const;
    // Past its last turn and still writing its last bytes out.
    bool isFlushing() const;
    // When this connection began to wait for a login (accepted or logged out),
    // in milliseconds of a monotonic clock.
    qint64 notLoggedSince() const;
    void setPingRate(int pingRate);
    void setPingTimeout(int timeout);

    int socketDescriptor() const;
    void setSocketDescriptor(int descriptor);
    QSslSocket* socket() const;
    void setSocket(QSslSocket* socket);
    bool isConnected() const;
    bool logged() const;
    V2_User* user() const;
    // The user is being deleted: if this connection is bound to it, it is
    // logged out now and lets go of the object at its next turn.
    void releaseUser(V2_User* user);
    QMap<QString, V2_User*>* users() const;
    QMap<QString, V2_Profile*>* profiles() const;
    QString appName() const;
    QString appVersion() const;
    V2_MessageHandler* handler() const;

    // Points of a login where tests may hold the connection's thread to
    // drive an interleaving with the server's thread. Never set in use.
    enum class LoginStage {
        Reserving, // a LOGIN is read, room to hold its answer not yet taken
        UserFound, // the user is looked up, not yet bound
        Binding,   // the user is bound and counted, the client not yet logged in
    };
    static void setLoginHookForTests(std::function<void(LoginStage)> hook);
    // The stack size of the threads of connections made from now on; one
    // too small for the system makes their start fail. 0: the default.
    static void setThreadStackSizeForTests(uint bytes);

signals:
    void onThreadFinished(int descriptor);
    // By reference: a blocking call's arguments are read in the caller's frame.
    void onSnapshotRequest(int descriptor, const QString& channel);
    void onSnapshotRequest(int descriptor, const QString& channel, const QString& champ);
    void onCommandReceived(V2_message* mes, int descriptor);
    void onLogged();
    void dataReceived(QVariantMap* data, int descriptor, QString champ = QString());

public slots:
    void stop();
    void doDisconnect();
    void sendV2_Data(const V2_Data* data);
    // The server's path: one copy of a published tree shared by all its connections.
    void queuePublication(const std::shared_ptr<const V2_Publication>& publication);
    // A channel was just joined: its snapshot is asked for once the lines
    // of the current read are answered.
    void join(QString channel);
    void cmd(V2_message* mes);

protected:
    void run() override;

private slots:
    void sslErrors(QList<QSslError> errors);

private:
    // Filters, serialises (once per audience) and queues the published trees.
    bool deliverPublications();
    QString audienceKey(const V2_Profile* profile) const;
    void filterNode(V2_Data* node, const V2_Profile* profile);
    // True when bytes were read or lines were answered.
    bool receiveData();
    void appendInput(const QByteArray& bytes);
    // Answers at most maxLines of the received lines; true when whole
    // lines are left for the next turn.
    bool handleLines(int maxLines);
    bool sendData();
    // Bytes written to the socket and not yet sent: a TLS socket keeps those
    // it has encrypted apart from those it has not.
    qint64 unsentBytes() const;
    // Drops a connection whose unwritten output passed its cap; false if it has not.
    bool dropIfBacklogged();
    bool timeoutCheckOk() const;
    // The fixed time to log in has passed.
    bool loginTimeOver() const;
    // False when a LOGIN waits for room to hold its answer (kept, and tried
    // again in a later turn).
    bool processMessage(V2_message* mes);
    bool login(V2_message* mes);
    // From the room to hold its answer on: false, the LOGIN left waiting,
    // when there is none yet.
    bool answerLogin(V2_message* mes, const QString& requestId);
    void logRefusedLogin(V2_message* mes, const QString& userName, const QString& consequence);
    // Whose refused logins slow the answers to logins for this name: the
    // peer's address and the account.
    QString loginRefusalKey(const QString& userName) const;
    // Waits this long before a LOGIN is answered, running this thread's events.
    void holdAnswer(qint64 ms);
    // Decided before the password is looked at: how long the answer to a
    // LOGIN for this name waits, the same for a right and a wrong password
    // (0: answered at once), after taking room to hold it; kNoRoomToHold
    // when there is none, kTooLateToHold when the wait would not end
    // within the time to log in.
    qint64 reserveAnswerHold(const QString& userName);
    static constexpr qint64 kNoRoomToHold = -1;
    static constexpr qint64 kTooLateToHold = -2;
    void releaseAnswerHold();
    bool passwordRight(const QString& userName, const QString& password);
    // Counts a refused login (closing the connection after enough of them);
    // returns what follows, for the log.
    QString noteRefusedLogin(const QString& key, qint64 hold);
    // This connection's share of that: closes it after enough refusals and
    // says so, else an empty text.
    QString countRefusal();
    void logChannelRequest(const QString& text, V2_message* mes);
    bool joinAllowedByRate();
    // The snapshot requests of the channels joined by the lines just read.
    void requestSnapshots();
    bool mayUpload() const;
    // Milliseconds of a monotonic clock.
    static qint64 clockMs();
    void joinChannel(V2_message* mes);
    void leaveChannel(V2_message* mes);
    void upload(V2_message* mes);
    void command(V2_message* mes);
    void ping(V2_message* mes);
    void time(V2_message* mes);
    void ignore(V2_message* mes);
    void appendOut(const QByteArray& bytes);
    // Binds the handler to a user (or none), holding the new and letting go
    // of the old one. Under m_loginMutex, on this connection's thread (or
    // before it starts).
    void bindUser(V2_User* user);
    void stopLocked();
    void flushOnClose(bool wasLogged);
    QString championship() const;
    QString userName() const;
    QString peerAddress() const;
    void wake();
    // Milliseconds until an inactivity limit may pass; -1 without limits.
    qint64 msUntilLimitCheck() const;

    int m_socketDescriptor;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_connected{false};
    QElapsedTimer m_lastActivity;
    std::atomic<int> m_messageCounter{1};
    QSslSocket* m_socket = nullptr;
    QByteArray m_outBuffer;
    QMutex m_outLock;
    QByteArray m_inBuffer;
    QMutex m_inLock;
    V2_Server* m_server;
    QList<std::shared_ptr<const V2_Publication>> m_incomingQueue;
    QMutex m_incomingLock;
    V2_MessageHandler* m_handler;
    QString m_appName;
    QString m_appVersion;
    // The login name as it was at login, for the log (this thread only).
    QString m_loginName;
    // Channels joined since the last snapshot requests, in joining order.
    QStringList m_pendingSnapshots;
    QElapsedTimer m_joinWindow;
    int m_joinsInWindow = 0;
    int m_refusedLogins = 0;
    // Received lines left for the next turn (before login a turn answers
    // only a few); nothing more is read until they are answered.
    bool m_linesWaiting = false;
    std::atomic<qint64> m_notLoggedSince;
    std::atomic<bool> m_evicted{false};
    std::atomic<bool> m_answerHeld{false};
    // The peer address its held answer is counted under (this thread only).
    QString m_heldFor;
    std::atomic<bool> m_flushing{false};
    // A LOGIN waiting for room to hold its answer, kept parsed (its password
    // unseen): only the room is tried again, at most every so often.
    std::unique_ptr<V2_message> m_deferredLogin;
    QString m_deferredRequestId;
    QElapsedTimer m_deferredTried;
    std::atomic<bool> m_pastLastTurn{false};
    // The last successful LOGIN still counts in its user's connections.
    std::atomic<bool> m_loginCounted{false};
    // Serialises a login's binding with stop() from the server's thread.
    // Lock order: this, then a user's lock, then its profile's.
    QRecursiveMutex m_loginMutex;
    // A deleted user this connection is to let go of at its next turn.
    std::atomic<V2_User*> m_releaseRequested{nullptr};
    // Set by doDisconnect: the server going away, an eviction, a cut close
    // flush or the peer gone; nothing more is written.
    std::atomic<bool> m_disconnectRequested{false};
    // This connection's thread's event dispatcher while the thread runs:
    // other threads wake it through it when they queue something.
    QAbstractEventDispatcher* m_dispatcher = nullptr;
    QMutex m_wakeMutex;
};
