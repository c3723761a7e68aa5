#include "CertificateTrust.h"

#include "AppSettings.h"
#include "V2_Client.h"

#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("trusted_certificates");

// One group per server: "<host>_<port>".
QString keyFor(const QString& host, int port)
{
    return kGroup + QLatin1Char('/') + host + QLatin1Char('_') + QString::number(port);
}

} // namespace

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
    const QString key = keyFor(host, port);
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
    AppSettings::open()->remove(keyFor(host, port));
}

void CertificateTrust::prepare()
{
    m_client->setExpectedFingerprint(stored(m_client->host(), m_client->port()).fingerprint);
}

void CertificateTrust::trustRefused()
{
    if (m_refused.fingerprint.isEmpty())
        return;
    store(m_client->host(), m_client->port(), m_refused);
    m_refused = Stored();
    prepare();
}

void CertificateTrust::accepted(QByteArray fingerprint, QString subject)
{
    // The first certificate of this server is the one trusted from now on.
    if (stored(m_client->host(), m_client->port()).fingerprint.isEmpty()) {
        store(m_client->host(), m_client->port(), {fingerprint, subject});
        prepare();
    }
}

void CertificateTrust::rejected(QByteArray fingerprint, QString subject)
{
    m_refused = {fingerprint, subject};
    const Stored old = stored(m_client->host(), m_client->port());
    emit certificateChanged(old.fingerprint, old.subject, fingerprint, subject);
}
