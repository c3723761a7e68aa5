#include "RawClient.h"

#include "V2_message.h"

#include <QTest>

RawClient::RawClient(QObject* parent)
    : QObject(parent)
{
    connect(&m_socket, &QIODevice::readyRead, this, [this] { m_lines.feed(m_socket.readAll()); });
    connect(&m_socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this, [this] { m_socket.ignoreSslErrors(); });
}

bool RawClient::connectTo(quint16 port, bool tls, int ms)
{
    if (tls) {
        m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        return QTest::qWaitFor([this] { return m_socket.isEncrypted(); }, ms);
    }
    m_socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, ms);
}

void RawClient::sendLine(const QByteArray& line)
{
    sendRaw(line + "\r\n");
}

void RawClient::sendRaw(const QByteArray& bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
}

QByteArray RawClient::nextLine(int ms)
{
    return m_lines.next(ms);
}

bool RawClient::silentFor(int ms)
{
    return m_lines.silentFor(ms);
}

bool RawClient::login(const QString& user, const QString& password, int ms)
{
    sendLine(V2_message::loginRequestLine(user, password, QStringLiteral("raw"), QStringLiteral("1"), QStringLiteral("V2"), QStringLiteral("1.0.0")).toUtf8());
    return nextLine(ms).startsWith("LOGIN:");
}

bool RawClient::waitForDisconnected(int ms)
{
    return QTest::qWaitFor([this] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
}

bool RawClient::isConnected() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

QSslSocket& RawClient::socket()
{
    return m_socket;
}
