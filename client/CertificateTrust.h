#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class V2_Client;

// Trust on first use for the timing server's certificate: the first
// certificate a host and port present is stored in the settings, and later
// connections expect it. Another certificate stops the connection before
// the password is sent and is reported for the user to decide. A host is
// one server however it is spelled: case and a trailing dot do not count,
// and the names of this computer ("localhost", 127.0.0.1, ::1) are one.
class CertificateTrust final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(CertificateTrust)

public:
    struct Stored {
        QByteArray fingerprint;
        QString subject;
    };

    CertificateTrust(V2_Client* client, QObject* parent = nullptr);
    ~CertificateTrust() override;

    // Makes the client expect what is stored for its present host and port.
    void prepare();
    // The spelling under which a host's certificate is kept.
    static QString normalisedHost(const QString& host);
    static Stored stored(const QString& host, int port);
    static void store(const QString& host, int port, const Stored& certificate);
    static void forget(const QString& host, int port);
    // Trusts the certificate last refused: stored, and expected from now on.
    void trustRefused();

signals:
    // The server presented another certificate than the stored one.
    void certificateChanged(QByteArray oldFingerprint, QString oldSubject, QByteArray newFingerprint, QString newSubject);

private slots:
    void accepted(QByteArray fingerprint, QString subject);
    void rejected(QByteArray fingerprint, QString subject);

private:
    V2_Client* m_client;
    Stored m_refused;
    QString m_refusedHost;
    int m_refusedPort = 0;
};
