#pragma once

#include "V2_LineLimit.h"
#include "pexjsonv2_export.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QSet>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QSslSocket;
class QTimer;
class V2_Data;
class QSslCertificate;
class V2_message;
class V2_ReceivedLine;

// The client end of the V2 protocol: one object per server connection. Keeps
// the connection up while active, logs in on connecting, frames and parses
// the received lines, merges data lines into a mirrored tree and reports the
// dotted keys that each data line touched.
class PEXJSONV2_EXPORT V2_Client : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(V2_Client)

public:
    // The line being handled was read from the socket (not handed over by
    // receiveBytes: a replay's or a test's): what a connected server says.
    bool readingSocket() const;
    // One received line may not grow past this.
    static constexpr qint64 DEFAULT_MAX_LINE_BYTES = V2_LineLimit::DEFAULT_MAX_LINE_BYTES;
    static constexpr int CHECK_INTERVAL_MS = 2000;
    static constexpr int CONNECT_WAIT_MS = 30000;

    V2_Client(QString app,
              QString appVersion,
              QString protocol,
              QString protocolVersion,
              int port,
              QString password,
              QString username,
              QString host,
              QObject* parent = nullptr);
    ~V2_Client() override;

    QString host() const;
    void setHost(const QString& host);
    int port() const;
    void setPort(int port);
    QString username() const;
    void setUsername(const QString& username);
    QString password() const;
    void setPassword(const QString& password);
    bool getSsl() const;
    void setSsl(bool ssl);
    bool isActive() const;
    void setActive(bool active);
    bool connectionActive() const;
    void setConnectionActive(bool connectionActive);
    bool loginActive() const;
    void setLoginActive(bool loginActive);
    QAbstractSocket::SocketState socketState() const;
    // The host and port that the connection in progress (or the last one)
    // was started with: a certificate belongs to them, whatever was set since.
    QString attemptHost() const;
    int attemptPort() const;
    // The address that attempt reached (null until it connects).
    QHostAddress attemptAddress() const;
    V2_Data* getCurrentData() const;
    // The tree of the last data line alone, built when first asked for.
    V2_Data* getRxData() const;
    // Read from the last data line without building its tree: the keys of
    // its node at a dotted path (none without such a node), and whether it
    // has that node. The same answers as getRxData()'s.
    QStringList rxKeys(const QString& path) const;
    bool rxHasNode(const QString& path) const;
    // The last data line was read from its parsed document (its tree not
    // built on the way).
    bool lineReadFromDocument() const;
    V2_Data* getDeletedData() const;
    quint64 getTotalRx() const;
    quint64 getConnectionRx() const;

    QString serverName() const;
    QString serverVersion() const;
    QString serverMinVersion() const;
    QStringList joinedChannels() const;
    int pingRate() const;
    int timeout() const;
    QSet<QString> keysUpdated() const;
    qint64 maxLineBytes() const;
    void setMaxLineBytes(qint64 bytes);

    // Certificate pinning. With a fingerprint set (SHA-256 of the server's
    // certificate, hex), a server presenting another certificate is refused
    // before the login line is sent; without one, every TLS error is
    // accepted and logged once per connection. A pin set between attempts
    // is for the server of the next attempt, whatever order host, port and
    // pin are set in; one set during an attempt (on pinWanted(), before the
    // handshake ends) is for that attempt's server. Once used for a server,
    // naming another does not drop it: attempts there are refused
    // (errorReceived, certificateRejected) until a pin is set for them or
    // the pin is cleared with an empty fingerprint.
    void setExpectedFingerprint(const QByteArray& sha256Hex);
    // The reading path without the socket: frames these bytes into lines
    // and processes each as if received (tests and fuzzing).
    void receiveBytes(const QByteArray& bytes);
    // A fresh session handed over whole (a replayed snapshot): the tree
    // becomes the mirror, the client takes it over, and the top-level keys
    // of the old and the new mirror are announced as updated, as the first
    // line after a connection announces its own. The old mirror is freed on
    // a worker thread: a large one takes long to free.
    void replaceTree(V2_Data* tree);
    QByteArray expectedFingerprint() const;
    static QByteArray fingerprintOf(const QSslCertificate& certificate);

    // Requests
    void joinChannel(QString channel, QString id);
    void leaveChannel(QString channel, QString id);
    void doLogin();
    void sendMessage(QJsonObject* data, QString id, QString channel, QString name);
    QString sendCommand(QJsonObject* data, QString channel, QString name);
    QString sendCommand(QString data, QString channel, QString name);
    QString sendCommand(QString payload, QString channel);
    void sendCommandReply(QJsonObject* data, QString id, QString channel, QString name);
    void sendErrorMessage(QString id, QString channel, QString reason, QString advice);

    // Connection control
    void connectSocket();
    void disconnectSocket();

    // Queries on the updated keys of the last data line
    bool keysUpdatedChildChanges(const QString& prefix) const;
    bool keysUpdatedParentChanges(const QString& path) const;
    bool keysUpdatedMiddleChanges(const QString& prefix, const QString& suffix) const;

signals:
    void onStateChanged();
    // The socket reached the server (over TLS before the handshake ends:
    // attemptAddress() is known, and the pin may still be set).
    void onConnected();
    // Emitted just before onConnected(), for the one who sets the pin of
    // the attempt: set directly, it is in place before any other slot runs.
    void pinWanted();
    void onDisconnected();
    void onStatus();
    void receivedDataLog(QByteArray* line);
    void onChannelChange(const QSet<QString>& channels);
    void onLoginDone();
    void onChannelJoin(QString channel);
    void onChannelLeave(QString channel);
    void errorReceived(QString error);
    void cmdPackageReceived(QString id, QString channel, V2_Data* data);
    void cmdReplyReceived(QString id, QString channel, QString json);
    // A data line arrived from the server (lines handed over by receiveBytes
    // and trees by replaceTree are not news from the server).
    void dataReceived();
    // The TLS handshake ended with the server's certificate accepted (before the login line).
    void certificateAccepted(QByteArray fingerprint, QString subject);
    // The server presented another certificate than the expected one; nothing was sent.
    void certificateRejected(QByteArray fingerprint, QString subject);

protected:
    virtual void processLOGINREPLY(V2_message* message);
    virtual void processJOIN(V2_message* message);
    virtual void processLEAVE(V2_message* message);
    virtual void processACK();
    virtual void processJSON(V2_message* message);
    virtual void processERROR(V2_message* message);
    virtual void processCMD(V2_message* message);
    virtual void processREPLY(V2_message* message);

    void calculateDataKeysUpdated();
    void addKeysUpdated(V2_Data* rx, V2_Data* current, QSet<QString>& keys);
    // Whether the next data line handled is the first of a connection (it
    // replaces the mirror). One who holds data lines back hands each over
    // with the mark it had when it arrived.
    bool firstLineReplacesMirror() const;
    void setFirstLineReplacesMirror(bool replaces);

private slots:
    void receiveData();
    void sendPing();
    void checkConnection();
    void socketStateChanged(QAbstractSocket::SocketState socketState);
    void socketConnected();
    void socketError(QAbstractSocket::SocketError socketError);
    void disconnectFromtHost();
    void sslErrors(QList<QSslError> errors);
    void socketEncrypted();

private:
    QString getLoginData() const;
    void sendReply(QString id, QString channel, QString name, QJsonObject data);
    void sendError(V2_message* message);
    void sendData(QString line);
    // Keys already added during one computation, per path string.
    using KeysSeen = QHash<const void*, QSet<const void*>>;
    void addKeysUpdated(V2_Data* rx, V2_Data* current, QSet<QString>& keys, KeysSeen& seen);
    void parseResponseData(const QByteArray& line);
    void processAcknowledgement(V2_message* message);
    bool appendToLine(const char* data, int size);
    QString takeCommandId();
    static V2_Data* newRoot();
    // Notes what a new attempt is started with.
    void beginAttempt();
    // Ends the connection or attempt now: nothing of it reaches the client later.
    void abortAttempt();
    // Refuses the presented certificate (signalled, and the attempt ended)
    // when a pin is set and is not this server's certificate.
    bool certificateRefused();
    // Frees a mirror a little later, off this thread.
    void retire(V2_Data* tree);

    V2_Data* m_currentData;
    // Either the last line's tree, or (until somebody asks for that tree)
    // the line itself.
    mutable V2_Data* m_rxData;
    mutable std::unique_ptr<V2_ReceivedLine> m_rxLine;
    V2_Data* m_deletedData;
    // Mirrors replaced whole, freed a little later off this thread.
    QVector<V2_Data*> m_retired;
    bool m_ssl;
    QString m_host;
    int m_port;
    QString m_username;
    QString m_password;
    QTimer* m_pingTimer;
    QTimer* m_checkTimer;
    QSet<QString> m_keysUpdated;
    QSslSocket* m_socket;
    QString m_commandId;
    QString m_serverName;
    QString m_serverVersion;
    QString m_serverMinVersion;
    QStringList m_joinedChannels;
    int m_pingRate;
    int m_timeout;
    qint64 m_lastReceived;
    QByteArray m_lineBuffer;
    quint64 m_totalRx;
    quint64 m_connectionRx;
    bool m_connectionActive;
    bool m_active;
    bool m_loginActive;
    QString m_appName;
    QString m_appVersion;
    QString m_protocol;
    QString m_protocolVersion;
    QElapsedTimer m_lastLineTime;
    qint64 m_maxLineBytes;
    // TLS errors already logged on the present connection.
    QSet<int> m_loggedSslErrors;
    QByteArray m_expectedFingerprint;
    // The server the pin is for, once an attempt has been made under it.
    bool m_pinBound = false;
    QString m_pinHost;
    int m_pinPort = 0;
    // What the connection in progress was started with (changing them aborts it).
    QString m_attemptHost;
    int m_attemptPort = 0;
    QHostAddress m_attemptAddress;
    // The next data line is the first of a connection: it replaces the
    // mirror, which until then shows the last connection's data.
    bool m_firstLineReplacesMirror = false;
    // Lines being read come from the socket.
    bool m_readingSocket = false;
};
