#include "CertificateTrust.h"

#include "AppSettings.h"
#include "V2_Client.h"

#include <QHostAddress>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("trusted_certificates");
const QString kLocalHost = QStringLiteral("localhost");

// One group per server: "<host>_<port>".
QString keyFor(const QString& host, int port)
{
    return kGroup + QLatin1Char('/') + CertificateTrust::normalisedHost(host) + QLatin1Char('_') + QString::number(port);
}

// The pins of this server under every spelling it was kept under, those
// from before hosts were normalised included ("127.0.0.1" for "localhost",
// "Timing.local.").
QStringList keysOfServer(QSettings& settings, const QString& host, int port)
{
    const QString wanted = CertificateTrust::normalisedHost(host) + QLatin1Char('_') + QString::number(port);
    settings.beginGroup(kGroup);
    const QStringList groups = settings.childGroups();
    settings.endGroup();
    QStringList keys;
    for (const QString& group : groups) {
        const int cut = group.lastIndexOf(QLatin1Char('_'));
        if (cut > 0 && CertificateTrust::normalisedHost(group.left(cut)) + group.mid(cut) == wanted)
            keys.append(kGroup + QLatin1Char('/') + group);
    }
    return keys;
}

} // namespace

QString CertificateTrust::normalisedHost(const QString& host)
{
    QString name = host.trimmed().toLower();
    while (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    const QHostAddress address(name);
    if (address.isNull())
        return name == kLocalHost || name.endsWith(QStringLiteral(".localhost")) ? kLocalHost : name;
    // One text per address ("::ffff:127.0.0.1" and "127.0.0.1" alike).
    if (address.isLoopback())
        return kLocalHost;
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ipv4).toString() : address.toString();
}

CertificateTrust::CertificateTrust(V2_Client* client, QObject* parent)
    : QObject(parent)
    , m_client(client)
{
    connect(client, &V2_Client::certificateAccepted, this, &CertificateTrust::accepted);
    connect(client, &V2_Client::certificateRejected, this, &CertificateTrust::rejected);
    prepare();
}

CertificateTrust::~CertificateTrust() = default;

CertificateTrust::Stored CertificateTrust::stored(const QString& host, int port)
{
    const auto settings = AppSettings::open();
    QString key = keyFor(host, port);
    if (!settings->contains(key + QStringLiteral("/fingerprint"))) {
        const QStringList former = keysOfServer(*settings, host, port);
        if (former.isEmpty())
            return {};
        key = former.first();
    }
    return {settings->value(key + QStringLiteral("/fingerprint")).toByteArray(), settings->value(key + QStringLiteral("/subject")).toString()};
}

void CertificateTrust::store(const QString& host, int port, const Stored& certificate)
{
    const auto settings = AppSettings::open();
    const QString key = keyFor(host, port);
    settings->setValue(key + QStringLiteral("/fingerprint"), certificate.fingerprint);
    settings->setValue(key + QStringLiteral("/subject"), certificate.subject);
}

void CertificateTrust::forget(const QString& host, int port)
{
    const auto settings = AppSettings::open();
    for (const QString& key : keysOfServer(*settings, host, port))
        settings->remove(key);
}

void CertificateTrust::prepare()
{
    m_client->setExpectedFingerprint(stored(m_client->host(), m_client->port()).fingerprint);
}

void CertificateTrust::trustRefused()
{
    if (m_refused.fingerprint.isEmpty())
        return;
    store(m_refusedHost, m_refusedPort, m_refused);
    m_refused = Stored();
    prepare();
}

void CertificateTrust::accepted(QByteArray fingerprint, QString subject)
{
    // The first certificate of this server is the one trusted from now on:
    // the server the handshake was made with, whatever is named since.
    const QString host = m_client->attemptHost();
    const int port = m_client->attemptPort();
    if (stored(host, port).fingerprint.isEmpty()) {
        store(host, port, {fingerprint, subject});
        prepare();
    }
}

void CertificateTrust::rejected(QByteArray fingerprint, QString subject)
{
    m_refused = {fingerprint, subject};
    m_refusedHost = m_client->attemptHost();
    m_refusedPort = m_client->attemptPort();
    const Stored old = stored(m_refusedHost, m_refusedPort);
    emit certificateChanged(old.fingerprint, old.subject, fingerprint, subject);
}
