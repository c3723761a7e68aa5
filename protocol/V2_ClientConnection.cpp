// V2_Client's connection: connecting and disconnecting the socket, the
// periodic check, the socket's state and errors, the certificate check of
// a TLS handshake, and pings.
#include "V2_Client.h"

#include "V2_message.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTimer>

void V2_Client::connectSocket()
{
    m_socket->abort();
    beginAttempt();
    m_socket->connectToHost(m_host, static_cast<quint16>(m_port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    m_connectionActive = m_socket->waitForConnected(CONNECT_WAIT_MS);
    if (m_loginActive && m_pingRate >= 1)
        m_pingTimer->start(m_pingRate * 1000);
}

void V2_Client::beginAttempt()
{
    m_attemptHost = m_host;
    m_attemptPort = m_port;
    m_attemptAddress.clear();
    // A pin set between attempts is for the server of the next one,
    // whatever order the host, port and pin were set in.
    if (!m_expectedFingerprint.isEmpty() && !m_pinBound) {
        m_pinBound = true;
        m_pinHost = m_host;
        m_pinPort = m_port;
    }
}

void V2_Client::disconnectSocket()
{
    m_socket->disconnectFromHost();
    m_pingTimer->stop();
    m_connectionActive = false;
    m_loginActive = false;
}

void V2_Client::disconnectFromtHost()
{
    m_socket->disconnect();
}

void V2_Client::checkConnection()
{
    const auto state = m_socket->state();
    if (m_active && state == QAbstractSocket::UnconnectedState) {
        beginAttempt();
        if (m_ssl)
            m_socket->connectToHostEncrypted(m_host, static_cast<quint16>(m_port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
        else
            m_socket->connectToHost(m_host, static_cast<quint16>(m_port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    }
    if (!m_active && state != QAbstractSocket::UnconnectedState)
        m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::ConnectedState && m_timeout >= 1 && QDateTime::currentSecsSinceEpoch() - m_lastReceived > m_timeout) {
        qDebug() << "[V2] No data from" << m_host << "for more than" << m_timeout << "s: disconnecting";
        m_socket->disconnectFromHost();
    }
}

void V2_Client::socketStateChanged(QAbstractSocket::SocketState socketState)
{
    if (socketState == QAbstractSocket::UnconnectedState) {
        m_pingTimer->stop();
        m_connectionActive = false;
        m_loginActive = false;
        m_connectionRx = 0;
        m_lineBuffer.clear();
        m_loggedSslErrors.clear();
        emit onDisconnected();
    }
    emit onStateChanged();
}

void V2_Client::socketConnected()
{
    // Qt emits this right after the state change, whose slots may have
    // ended the attempt already.
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    // Here rather than on the state change: a TLS socket knows the peer's
    // address only now (the handshake has not ended yet).
    m_attemptAddress = m_socket->peerAddress();
    m_lastReceived = QDateTime::currentSecsSinceEpoch();
    m_loggedSslErrors.clear();
    // The mirror of the last connection stays on screen (stale) until
    // this one's first data line replaces it.
    m_firstLineReplacesMirror = true;
    // First, so that the pin is in place whatever onConnected's slots do.
    emit pinWanted();
    emit onConnected();
    // Over TLS the password waits until the server's certificate is accepted.
    if (!m_ssl)
        sendData(getLoginData());
}

void V2_Client::socketError(QAbstractSocket::SocketError socketError)
{
    qDebug() << "[V2] Client socket error" << socketError << m_socket->errorString();
    emit errorReceived(QStringLiteral("Client socket error"));
}

void V2_Client::setExpectedFingerprint(const QByteArray& sha256Hex)
{
    m_expectedFingerprint = sha256Hex.toLower();
    // Set during an attempt, the pin is that attempt's server's; set
    // between attempts, it is the next attempt's (bound in beginAttempt).
    m_pinBound = !m_expectedFingerprint.isEmpty() && m_socket->state() != QAbstractSocket::UnconnectedState;
    if (m_pinBound) {
        m_pinHost = m_attemptHost;
        m_pinPort = m_attemptPort;
    }
}

QByteArray V2_Client::expectedFingerprint() const
{
    return m_expectedFingerprint;
}

QByteArray V2_Client::fingerprintOf(const QSslCertificate& certificate)
{
    return certificate.isNull() ? QByteArray() : certificate.digest(QCryptographicHash::Sha256).toHex();
}

namespace {

QString subjectOf(const QSslCertificate& certificate)
{
    QStringList parts;
    for (const QByteArray& attribute : certificate.subjectInfoAttributes())
        parts.append(QString::fromLatin1(attribute) + QLatin1Char('=') + certificate.subjectInfo(attribute).join(QLatin1Char(',')));
    return parts.join(QStringLiteral(", "));
}

} // namespace

bool V2_Client::certificateRefused()
{
    if (m_expectedFingerprint.isEmpty())
        return false;
    const QSslCertificate certificate = m_socket->peerCertificate();
    const QByteArray fingerprint = fingerprintOf(certificate);
    if (m_pinHost != m_attemptHost || m_pinPort != m_attemptPort) {
        // The pin was used for another server: it is not dropped silently
        // (any certificate would then pass), and not applied to a server
        // it was never meant for either.
        const QString error = QStringLiteral("Refusing %1:%2: the certificate pinned is that of %3:%4; set a pin for this server or clear it")
                                  .arg(m_attemptHost, QString::number(m_attemptPort), m_pinHost, QString::number(m_pinPort));
        qWarning().noquote() << "[V2]" << error;
        emit errorReceived(error);
    } else if (fingerprint == m_expectedFingerprint) {
        return false;
    } else {
        qDebug() << "[V2] Refusing the certificate of" << m_attemptHost << ": it is not the one trusted before";
    }
    emit certificateRejected(fingerprint, subjectOf(certificate));
    m_socket->abort();
    return true;
}

void V2_Client::socketEncrypted()
{
    if (certificateRefused())
        return;
    const QSslCertificate certificate = m_socket->peerCertificate();
    emit certificateAccepted(fingerprintOf(certificate), subjectOf(certificate));
    sendData(getLoginData());
}

void V2_Client::sslErrors(QList<QSslError> errors)
{
    if (!m_expectedFingerprint.isEmpty()) {
        // A pinned server: its own certificate is trusted whatever the errors
        // (timing servers use self-signed pairs); any other is refused.
        if (!certificateRefused())
            m_socket->ignoreSslErrors(errors);
        return;
    }
    // Servers ship self-signed pairs: every TLS error is accepted, but each
    // kind is logged once per connection so that it stays visible.
    for (const QSslError& error : qAsConst(errors)) {
        if (!m_loggedSslErrors.contains(error.error())) {
            m_loggedSslErrors.insert(error.error());
            qDebug() << "[V2] Ignoring TLS error from" << m_host << ":" << error.errorString();
        }
    }
    m_socket->ignoreSslErrors(errors);
}

void V2_Client::sendPing()
{
    if (m_pingRate != -1)
        sendData(V2_message::pingLine());
}
