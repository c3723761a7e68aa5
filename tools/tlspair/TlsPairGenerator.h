#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// A fresh self-signed server pair (PEM): an ECDSA P-256 key and a
// certificate naming the given host names and addresses, made with
// OpenSSL's libcrypto.
class TlsPairGenerator final
{
public:
    // Well under the 825 days that browsers and audits accept.
    static constexpr int VALID_DAYS = 825;

    struct Pair {
        QByteArray certificatePem;
        QByteArray privateKeyPem;
    };

    // False with a message in error when OpenSSL refuses a step.
    static bool generate(const QString& commonName, const QStringList& dnsNames, const QList<QHostAddress>& addresses, int validDays, Pair* pair,
                         QString* error);
    // Whether the key is the private half of the certificate's public key.
    static bool belongTogether(const QByteArray& certificatePem, const QByteArray& privateKeyPem);

private:
    TlsPairGenerator() = delete;
};
