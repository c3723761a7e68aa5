#pragma once

#include "LineCollector.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>

// A small server that a test drives line by line: accept one client at a
// time (TLS with the test pair, or plain TCP), read what it sends, answer,
// split writes at chosen bytes, go silent or close.
class ScriptedServer final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY(ScriptedServer)

public:
    explicit ScriptedServer(bool tls, QObject* parent = nullptr);
    ~ScriptedServer() override;

    // Listens on 127.0.0.1 on a free port and returns it (0 on failure).
    quint16 start();
    // The TLS pair presented from now on: "test" (default) or "other".
    void usePair(const QString& name);
    // The SHA-256 fingerprint (hex) of a test pair's certificate.
    static QByteArray fingerprint(const QString& name);

    // Waits for the next accepted client to be ready (encrypted with TLS).
    bool waitForClient(int ms = 5000);
    // The next line the present client sent, without CR LF; empty on timeout.
    QByteArray nextLine(int ms = 5000);
    // Skips lines until one starts with prefix; empty on timeout.
    QByteArray nextLineStartingWith(const QByteArray& prefix, int ms = 5000);
    // True when no line arrives within ms.
    bool silentFor(int ms);

    void send(const QByteArray& bytes);
    void sendLine(const QString& line);
    // Writes bytes in pieces cut at the given offsets, letting the client read in between.
    void sendInPieces(const QByteArray& bytes, const QList<int>& cuts);
    // Reads the login request and answers it.
    QByteArray acceptLogin(int pingRate = 0, int timeout = 0, bool withPingRate = true);
    void closeClient();

    int accepted() const;
    QSslSocket* client() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    bool m_tls;
    QString m_pair = QStringLiteral("test");
    QPointer<QSslSocket> m_client;
    QList<QSslSocket*> m_ready;
    LineCollector m_lines;
    int m_accepted = 0;
};
