#include "ProgramTlsPair.h"

#include "V2_Server.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QStandardPaths>
#include <QSysInfo>

const QString ProgramTlsPair::CERTIFICATE_FILE = QStringLiteral("server-certificate.pem");
const QString ProgramTlsPair::KEY_FILE = QStringLiteral("server-key.pem");

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

bool readFile(const QString& path, QByteArray* content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *content = file.readAll();
    return true;
}

// The key file is made owner-only before anything is written into it.
bool writeFile(const QString& path, const QByteArray& content, bool ownerOnly)
{
    QFile file(path);
#ifdef Q_OS_UNIX
    // A key file is created readable by its owner alone: setting the
    // permissions after creating it would leave a moment in which another
    // user could open it and read the key through that handle later.
    const mode_t previousMask = ownerOnly ? ::umask(077) : 0;
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (ownerOnly)
        ::umask(previousMask);
#else
    const bool opened = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
#endif
    if (!opened)
        return false;
    if (ownerOnly && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    return file.write(content) == content.size() && file.flush();
}

} // namespace

QString ProgramTlsPair::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QStringList ProgramTlsPair::hostNames()
{
    // Only names a certificate can carry; a host name with other characters is left out.
    static const QRegularExpression dnsName(QStringLiteral("^[a-z0-9]([a-z0-9.-]*[a-z0-9])?$"));
    QStringList names = {QStringLiteral("localhost")};
    const QString host = QSysInfo::machineHostName().toLower();
    const QString domain = QHostInfo::localDomainName().toLower();
    for (const QString& name : {host, domain.isEmpty() || host.contains(QLatin1Char('.')) ? QString() : host + QLatin1Char('.') + domain}) {
        if (!name.isEmpty() && dnsName.match(name).hasMatch() && !names.contains(name))
            names << name;
    }
    return names;
}

QList<QHostAddress> ProgramTlsPair::addresses()
{
    return {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)};
}

bool ProgramTlsPair::loadOrCreate(const QString& dir, TlsPairGenerator::Pair* pair, bool* created, QString* error)
{
    const QDir folder(dir);
    const QString certificatePath = folder.filePath(CERTIFICATE_FILE);
    const QString keyPath = folder.filePath(KEY_FILE);
    const bool hasCertificate = QFile::exists(certificatePath);
    const bool hasKey = QFile::exists(keyPath);
    *created = false;
    if (!hasCertificate && !hasKey) {
        TlsPairGenerator::Pair fresh;
        const QStringList names = hostNames();
        const QString commonName = QStringLiteral("%1 on %2").arg(QCoreApplication::applicationName(), names.constLast());
        if (!TlsPairGenerator::generate(commonName, names, addresses(), TlsPairGenerator::VALID_DAYS, &fresh, error))
            return false;
        if (!QDir().mkpath(dir) || !writeFile(keyPath, fresh.privateKeyPem, true) || !writeFile(certificatePath, fresh.certificatePem, false)) {
            *error = QStringLiteral("Cannot store a new TLS pair in %1").arg(dir);
            return false;
        }
        *pair = fresh;
        *created = true;
        return true;
    }

    QString problem;
    TlsPairGenerator::Pair stored;
    if (!hasCertificate || !hasKey)
        problem = QStringLiteral("%1 is missing").arg(hasCertificate ? KEY_FILE : CERTIFICATE_FILE);
    else if (!readFile(certificatePath, &stored.certificatePem) || !readFile(keyPath, &stored.privateKeyPem))
        problem = QStringLiteral("it cannot be read");
    else if (!TlsPairGenerator::belongTogether(stored.certificatePem, stored.privateKeyPem))
        problem = QStringLiteral("its files are no TLS pair");
    else if (QSslCertificate(stored.certificatePem, QSsl::Pem).expiryDate() < QDateTime::currentDateTimeUtc())
        problem = QStringLiteral("its certificate has expired");
    if (!problem.isEmpty()) {
        *error = QStringLiteral("The TLS pair in %1 is broken (%2); remove %3 and %4 there to make a new one, or give --certificate and --key")
                     .arg(dir, problem, CERTIFICATE_FILE, KEY_FILE);
        return false;
    }
    *pair = stored;
    return true;
}

bool ProgramTlsPair::apply(V2_Server* server, const QString& certificateFile, const QString& keyFile, QString* note, QString* error)
{
    TlsPairGenerator::Pair pair;
    if (!certificateFile.isEmpty()) {
        if (!readFile(certificateFile, &pair.certificatePem) || !readFile(keyFile, &pair.privateKeyPem)
            || !server->setTlsPair(pair.certificatePem, pair.privateKeyPem)) {
            *error = QStringLiteral("%1 and %2 are no TLS pair").arg(certificateFile, keyFile);
            return false;
        }
        *note = QStringLiteral("TLS pair of %1").arg(certificateFile);
        return true;
    }
    bool created = false;
    if (!loadOrCreate(folder(), &pair, &created, error))
        return false;
    if (!server->setTlsPair(pair.certificatePem, pair.privateKeyPem)) {
        *error = QStringLiteral("The TLS pair in %1 cannot be used").arg(folder());
        return false;
    }
    const QByteArray fingerprint = QSslCertificate(pair.certificatePem, QSsl::Pem).digest(QCryptographicHash::Sha256).toHex();
    *note = QStringLiteral("%1 TLS pair in %2 (certificate SHA-256 %3)").arg(created ? QStringLiteral("made a new") : QStringLiteral("own"), folder(),
                                                                              QString::fromLatin1(fingerprint));
    return true;
}
