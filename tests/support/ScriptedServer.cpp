#include "ScriptedServer.h"

#include <QCryptographicHash>

#include "V2_message.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QTest>

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

ScriptedServer::ScriptedServer(bool tls, QObject* parent)
    : QTcpServer(parent)
    , m_tls(tls)
{
}

ScriptedServer::~ScriptedServer()
{
    if (m_client)
        m_client->abort();
}

quint16 ScriptedServer::start()
{
    return listen(QHostAddress::LocalHost, 0) ? serverPort() : 0;
}

void ScriptedServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    ++m_accepted;
    connect(socket, &QIODevice::readyRead, this, [this, socket] {
        if (socket == m_client)
            m_lines.feed(socket->readAll());
    });
    if (!m_tls) {
        m_ready.append(socket);
        return;
    }
    socket->setLocalCertificate(QSslCertificate(readFile(QStringLiteral(LANTERRA_TEST_TLS_DIR "/%1-cert.pem").arg(m_pair)), QSsl::Pem));
    socket->setPrivateKey(QSslKey(readFile(QStringLiteral(LANTERRA_TEST_TLS_DIR "/%1-key.pem").arg(m_pair)), QSsl::Rsa, QSsl::Pem));
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    connect(socket, &QSslSocket::encrypted, this, [this, socket] { m_ready.append(socket); });
    socket->startServerEncryption();
}

void ScriptedServer::usePair(const QString& name)
{
    m_pair = name;
}

QByteArray ScriptedServer::fingerprint(const QString& name)
{
    const QSslCertificate certificate(readFile(QStringLiteral(LANTERRA_TEST_TLS_DIR "/%1-cert.pem").arg(name)), QSsl::Pem);
    return certificate.digest(QCryptographicHash::Sha256).toHex();
}

bool ScriptedServer::waitForClient(int ms)
{
    if (!QTest::qWaitFor([this] { return !m_ready.isEmpty(); }, ms))
        return false;
    if (m_client)
        m_client->abort();
    m_client = m_ready.takeFirst();
    m_lines.clear();
    m_lines.feed(m_client->readAll());
    return true;
}

QByteArray ScriptedServer::nextLine(int ms)
{
    return m_lines.next(ms);
}

QByteArray ScriptedServer::nextLineStartingWith(const QByteArray& prefix, int ms)
{
    return m_lines.nextStartingWith(prefix, ms);
}

bool ScriptedServer::silentFor(int ms)
{
    return m_lines.silentFor(ms);
}

void ScriptedServer::send(const QByteArray& bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void ScriptedServer::sendLine(const QString& line)
{
    send(line.toUtf8() + "\r\n");
}

void ScriptedServer::sendInPieces(const QByteArray& bytes, const QList<int>& cuts)
{
    int from = 0;
    for (const int cut : cuts) {
        send(bytes.mid(from, cut - from));
        QTest::qWait(15);
        from = cut;
    }
    send(bytes.mid(from));
}

QByteArray ScriptedServer::acceptLogin(int pingRate, int timeout, bool withPingRate)
{
    const QByteArray login = nextLineStartingWith("LOGIN:");
    if (login.isEmpty())
        return login;
    QJsonObject reply;
    reply.insert(QStringLiteral("min_ver"), QStringLiteral("2.0.0"));
    reply.insert(QStringLiteral("name"), QStringLiteral("Scripted"));
    if (withPingRate)
        reply.insert(QStringLiteral("pingRate"), pingRate);
    reply.insert(QStringLiteral("timeout"), timeout);
    reply.insert(QStringLiteral("ver"), QStringLiteral("2.1.0"));
    sendLine(V2_message::line(QStringLiteral("LOGIN"), QStringLiteral("+"), QString(), QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact))));
    return login;
}

void ScriptedServer::closeClient()
{
    if (m_client)
        m_client->disconnectFromHost();
}

int ScriptedServer::accepted() const
{
    return m_accepted;
}

QSslSocket* ScriptedServer::client() const
{
    return m_client;
}
