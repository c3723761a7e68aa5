#pragma once

#include "Lock.h"
#include "pexjsonv2_export.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QSemaphore>
#include <QSslError>
#include <QString>
#include <QThread>
#include <QVariantMap>

#include <atomic>

class QSslSocket;
class V2_Data;
class V2_MessageHandler;
class V2_Profile;
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
    void setFullAccess();
    void setPingRate(int pingRate);
    void setPingTimeout(int timeout);

    int socketDescriptor() const;
    void setSocketDescriptor(int descriptor);
    QSslSocket* socket() const;
    void setSocket(QSslSocket* socket);
    bool isConnected() const;
    bool logged() const;
    V2_User* user() const;
    // Forgets the user (it is being deleted); the connection stays, logged out.
    void releaseUser();
    QMap<QString, V2_User*>* users() const;
    QMap<QString, V2_Profile*>* profiles() const;
    QString appName() const;
    QString appVersion() const;
    V2_MessageHandler* handler() const;

signals:
    void onThreadFinished(int descriptor);
    void onSnapshotRequest(int descriptor, QString channel);
    void onSnapshotRequest(int descriptor, QString channel, QString champ);
    void onCommandReceived(V2_message* mes, int descriptor);
    void onLogged();
    void dataReceived(QVariantMap* data, int descriptor, QString champ = QString());

public slots:
    void stop();
    void doDisconnect();
    void sendV2_Data(const V2_Data* data);
    void join(QString channel);
    void cmd(V2_message* mes);

protected:
    void run() override;

private slots:
    void sslErrors(QList<QSslError> errors);

private:
    bool filterChannels();
    void filterNode(V2_Data* node, V2_Profile* profile);
    bool sendChannels();
    void receiveData();
    bool sendData();
    bool timeoutCheckOk() const;
    void processMessage(V2_message* mes);
    void login(V2_message* mes);
    void joinChannel(V2_message* mes);
    void leaveChannel(V2_message* mes);
    void upload(V2_message* mes);
    void command(V2_message* mes);
    void ping(V2_message* mes);
    void time(V2_message* mes);
    void ignore(V2_message* mes);
    void appendOut(const QByteArray& bytes);
    QString championship() const;
    QString userName() const;
    QString peerAddress() const;
    void wake();

    int m_socketDescriptor;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_connected{false};
    QElapsedTimer m_lastActivity;
    std::atomic<int> m_messageCounter{1};
    QSslSocket* m_socket = nullptr;
    QByteArray m_outBuffer;
    Lock m_outLock;
    QByteArray m_inBuffer;
    Lock m_inLock;
    V2_Server* m_server;
    QList<V2_Data*> m_incomingQueue;
    Lock m_incomingLock;
    QList<V2_Data*> m_filteredQueue;
    Lock m_filteredLock;
    V2_MessageHandler* m_handler;
    QString m_appName;
    QString m_appVersion;
    // The last successful LOGIN still counts in its user's connections.
    std::atomic<bool> m_loginCounted{false};
    // Released by the server's thread when it queues something, so that an
    // idle turn ends early instead of sleeping its full 10 ms.
    QSemaphore m_work;
};
