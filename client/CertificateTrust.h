#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class V2_Client;

// Trust on first use for the timing server's certificate: the first
// certificate a host and port present is stored in the settings, and later
// connections expect it. Another certificate stops the connection before
// the password is sent and is reported for the user to decide.
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
};
