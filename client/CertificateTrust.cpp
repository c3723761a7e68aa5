#include "CertificateTrust.h"

#include "AppSettings.h"
#include "V2_Client.h"

#include <QHostAddress>
#include <QSettings>
#include <QTimer>
#include <QVector>

namespace {

const QString kGroup = QStringLiteral("trusted_certificates");
const QString kLocalHost = QStringLiteral("localhost");
const QString kFingerprint = QStringLiteral("/fingerprint");
const QString kSubject = QStringLiteral("/subject");
const QString kAddress = QStringLiteral("/address");

// One group per server: "<host>_<port>".
QString keyFor(const QString& host, int port)
{
    return kGroup + QLatin1Char('/') + CertificateTrust::normalisedHost(host) + QLatin1Char('_') + QString::number(port);
}

struct Pin {
    QString key;
    QString host;
    int port;
};

// Every stored certificate, with the host and port it is kept under.
QVector<Pin> allPins(QSettings& settings)
{
    settings.beginGroup(kGroup);
    const QStringList groups = settings.childGroups();
    settings.endGroup();
    QVector<Pin> pins;
    for (const QString& group : groups) {
        const int cut = group.lastIndexOf(QLatin1Char('_'));
        if (cut > 0)
            pins.append({kGroup + QLatin1Char('/') + group, group.left(cut), group.mid(cut + 1).toInt()});
    }
    return pins;
}

// The pins of this server under every spelling it was kept under, those
// from before hosts were normalised included ("127.0.0.1" for "localhost",
// "Timing.local.").
QStringList keysOfServer(QSettings& settings, const QString& host, int port)
{
    const QString wanted = CertificateTrust::normalisedHost(host);
    QStringList keys;
    for (const Pin& pin : allPins(settings)) {
        if (pin.port == port && CertificateTrust::normalisedHost(pin.host) == wanted)
            keys.append(pin.key);
    }
    return keys;
}

CertificateTrust::Stored readPin(QSettings& settings, const QString& key)
{
    return {settings.value(key + kFingerprint).toByteArray(), settings.value(key + kSubject).toString(), settings.value(key + kAddress).toString()};
}

struct PinAt {
    QString host;
    QString key;
    CertificateTrust::Stored certificate;
};

// The certificates kept for this address and port under hosts other than
// exceptHost. One kept without its address counts as reached at its host
// when that is an address.
QVector<PinAt> pinsAt(QSettings& settings, const QString& address, int port, const QString& exceptHost)
{
    QVector<PinAt> found;
    if (address.isEmpty())
        return found;
    const QString wanted = CertificateTrust::normalisedHost(address);
    const QString except = CertificateTrust::normalisedHost(exceptHost);
    for (const Pin& pin : allPins(settings)) {
        if (pin.port != port || CertificateTrust::normalisedHost(pin.host) == except)
            continue;
        const CertificateTrust::Stored certificate = readPin(settings, pin.key);
        const QString reached = certificate.address.isEmpty() ? pin.host : certificate.address;
        if (!certificate.fingerprint.isEmpty() && CertificateTrust::normalisedHost(reached) == wanted)
            found.append({pin.host, pin.key, certificate});
    }
    return found;
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
    connect(client, &V2_Client::pinWanted, this, &CertificateTrust::connected);
    connect(client, &V2_Client::certificateAccepted, this, &CertificateTrust::accepted);
    connect(client, &V2_Client::certificateRejected, this, &CertificateTrust::rejected);
    prepare();
}

CertificateTrust::~CertificateTrust() = default;

CertificateTrust::Stored CertificateTrust::stored(const QString& host, int port)
{
    const auto settings = AppSettings::open();
    QString key = keyFor(host, port);
    if (!settings->contains(key + kFingerprint)) {
        const QStringList former = keysOfServer(*settings, host, port);
        if (former.isEmpty())
            return {};
        key = former.first();
    }
    return readPin(*settings, key);
}

CertificateTrust::Stored CertificateTrust::storedAt(const QHostAddress& address, int port, const QString& exceptHost, QString* trustedAs)
{
    if (address.isNull())
        return {};
    const auto settings = AppSettings::open();
    const QVector<PinAt> pins = pinsAt(*settings, address.toString(), port, exceptHost);
    if (pins.isEmpty())
        return {};
    *trustedAs = pins.first().host;
    return pins.first().certificate;
}

void CertificateTrust::store(const QString& host, int port, const Stored& certificate)
{
    const auto settings = AppSettings::open();
    const QString key = keyFor(host, port);
    // Kept under one spelling only: an older one would go on competing.
    for (const QString& other : keysOfServer(*settings, host, port)) {
        if (other != key)
            settings->remove(other);
    }
    settings->setValue(key + kFingerprint, certificate.fingerprint);
    settings->setValue(key + kSubject, certificate.subject);
    if (certificate.address.isEmpty())
        settings->remove(key + kAddress);
    else
        settings->setValue(key + kAddress, certificate.address);
}

void CertificateTrust::forget(const QString& host, int port)
{
    const auto settings = AppSettings::open();
    const QStringList keys = keysOfServer(*settings, host, port);
    for (const QString& key : keys) {
        // The same server kept under another name at its address goes too:
        // otherwise forgetting would not lead to first use, but to the
        // question about a server answering at another's address.
        const Stored certificate = readPin(*settings, key);
        const QString address = certificate.address.isEmpty() ? host : certificate.address;
        for (const PinAt& same : pinsAt(*settings, address, port, host)) {
            if (same.certificate.fingerprint == certificate.fingerprint)
                settings->remove(same.key);
        }
        settings->remove(key);
    }
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

void CertificateTrust::connected()
{
    // Decided before the handshake ends, for the server this attempt named
    // and the address it reached.
    const QString host = m_client->attemptHost();
    const int port = m_client->attemptPort();
    m_expected = stored(host, port);
    m_trustedAs.clear();
    if (m_expected.fingerprint.isEmpty())
        m_expected = storedAt(m_client->attemptAddress(), port, host, &m_trustedAs);
    m_client->setExpectedFingerprint(m_expected.fingerprint);
}

void CertificateTrust::accepted(QByteArray fingerprint, QString subject)
{
    // The first certificate of this server is the one trusted from now on:
    // the server the handshake was made with, whatever is named since.
    const QString host = m_client->attemptHost();
    const int port = m_client->attemptPort();
    const QString address = m_client->attemptAddress().toString();
    const Stored old = stored(host, port);
    if (old.fingerprint.isEmpty()) {
        store(host, port, {fingerprint, subject, address});
        prepare();
    } else if (old.fingerprint == fingerprint && old.address != address && !address.isEmpty()) {
        // Its own certificate, reached at a new address (or kept before
        // addresses were): the address follows.
        store(host, port, {fingerprint, old.subject, address});
    }
}

void CertificateTrust::rejected(QByteArray fingerprint, QString subject)
{
    const QString host = m_client->attemptHost();
    const int port = m_client->attemptPort();
    const QString address = m_client->attemptAddress().toString();
    if (!m_trustedAs.isEmpty()) {
        // A name new to the pins: the certificate of any server trusted at
        // this address and port is that server's, whichever one was expected.
        const auto settings = AppSettings::open();
        for (const PinAt& pin : pinsAt(*settings, address, port, host)) {
            if (pin.certificate.fingerprint == fingerprint) {
                store(host, port, {fingerprint, subject, address});
                // The refused attempt is over once this signal returns: the
                // next one, on the pin just stored, need not wait for the
                // periodic check.
                QTimer::singleShot(0, m_client, [client = m_client] {
                    if (client->isActive())
                        client->setActive(true);
                });
                return;
            }
        }
    }
    m_refusedHost = host;
    m_refusedPort = port;
    m_refused = {fingerprint, subject, address};
    // What this attempt expected, not what the settings say by now.
    emit certificateChanged(host, port, m_trustedAs, m_expected.fingerprint, m_expected.subject, fingerprint, subject);
}
