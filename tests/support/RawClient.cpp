#include "RawClient.h"

#include "V2_message.h"

#include <QTest>

RawClient::RawClient(QObject* parent)
    : QObject(parent)
{
    connect(&m_socket, &QIODevice::readyRead, this, &RawClient::readLines);
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

void RawClient::readLines()
{
    m_buffer += m_socket.readAll();
    int end;
    while ((end = m_buffer.indexOf("\r\n")) >= 0) {
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 2);
        if (!line.isEmpty())
            m_lines.append(line);
    }
}

QByteArray RawClient::nextLine(int ms)
{
    if (!QTest::qWaitFor([this] { return !m_lines.isEmpty(); }, ms))
        return QByteArray();
    return m_lines.takeFirst();
}

bool RawClient::silentFor(int ms)
{
    QTest::qWait(ms);
    return m_lines.isEmpty();
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
