#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QHostAddress;
class V2_Client;

// Trust on first use for the timing server's certificate: the first
// certificate a host and port present is stored in the settings, and later
// connections expect it. Another certificate stops the connection before
// the password is sent and is reported for the user to decide. A host is
// one server however it is spelled: case and a trailing dot do not count,
// and the names of this computer ("localhost", 127.0.0.1, ::1) are one.
// Each certificate is kept with the address its server was reached at: a
// name never used before that reaches the address and port of a server
// trusted under another name expects that server's certificate, so that
// another one is put to the user rather than trusted silently (unless it is
// the certificate of another server trusted at that address and port).
class CertificateTrust final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CertificateTrust)

public:
    struct Stored {
        QByteArray fingerprint;
        QString subject;
        // Where the server was reached (empty for certificates kept before
        // addresses were).
        QString address{};
    };

    CertificateTrust(V2_Client* client, QObject* parent = nullptr);
    ~CertificateTrust() override;

    // Makes the client expect what is stored for its present host and port.
    void prepare();
    // The spelling under which a host's certificate is kept.
    static QString normalisedHost(const QString& host);
    static Stored stored(const QString& host, int port);
    // A certificate trusted for another host than this one at this address
    // and port, with that host in *trustedAs. A certificate kept without its
    // address counts as reached at its host when that is an address.
    static Stored storedAt(const QHostAddress& address, int port, const QString& exceptHost, QString* trustedAs);
    // Replaces whatever was kept for this server under any spelling.
    static void store(const QString& host, int port, const Stored& certificate);
    // Forgets the server under every spelling, and under the other names at
    // its address and port that hold the same certificate.
    static void forget(const QString& host, int port);
    // Trusts the certificate last refused: stored, and expected from now on.
    void trustRefused();

signals:
    // The server at host:port presented another certificate than the one
    // trusted for it, or, when trustedAs is not empty, than the one trusted
    // for the server trustedAs:port at the same address.
    void certificateChanged(QString host, int port, QString trustedAs, QByteArray oldFingerprint, QString oldSubject, QByteArray newFingerprint,
                            QString newSubject);

private slots:
    void connected();
    void accepted(QByteArray fingerprint, QString subject);
    void rejected(QByteArray fingerprint, QString subject);

private:
    V2_Client* m_client;
    Stored m_refused;
    QString m_refusedHost;
    int m_refusedPort = 0;
    // What the attempt under way expects, and the other host it is kept
    // under (empty for the attempt's own host).
    Stored m_expected;
    QString m_trustedAs;
};
