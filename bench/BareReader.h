#pragma once

// The fan-out benches' bare TLS reader: logs in, joins timing.session,
// pings, and finds the publisher's "sentAt" stamp (wall time in µs) in each
// data line without parsing the JSON.
#include "V2_message.h"

#include <QObject>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTimer>

#include <cstdlib>
#include <ctime>
#include <functional>

inline qint64 wallMicros()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<qint64>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

class RawReader final : public QObject
{
public:
    RawReader(quint16 port, const QString& user, std::function<void()> joined, std::function<void(qint64)> sentAt)
        : m_joined(std::move(joined))
        , m_sentAt(std::move(sentAt))
    {
        m_socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        QObject::connect(&m_socket, &QSslSocket::encrypted, this, [this, user] {
            send(V2_message::loginRequestLine(user, QStringLiteral("bench"), QStringLiteral("bench"), QStringLiteral("1"), QStringLiteral("V2"),
                                              QStringLiteral("1.0.0")));
        });
        QObject::connect(&m_socket, &QSslSocket::readyRead, this, [this] { read(); });
        // The server turns away connections beyond its limit of ones not
        // logged in yet: try again a little later, as a V2_Client does.
        QObject::connect(&m_socket, &QSslSocket::disconnected, this, [this, port] {
            if (!m_hasJoined)
                QTimer::singleShot(200 + QRandomGenerator::global()->bounded(800), this,
                                   [this, port] { m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port); });
        });
        QObject::connect(&m_ping, &QTimer::timeout, this, [this] { send(V2_message::pingLine()); });
        m_ping.start(5000);
        m_socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    }

private:
    void send(const QString& line) { m_socket.write(line.toUtf8() + "\r\n"); }

    void read()
    {
        m_buffer += m_socket.readAll();
        int start = 0;
        for (int end = m_buffer.indexOf('\n'); end >= 0; end = m_buffer.indexOf('\n', start)) {
            const QByteArray line = m_buffer.mid(start, end - start);
            start = end + 1;
            if (line.startsWith("LOGIN:")) {
                send(V2_message::line(QStringLiteral("JOIN"), QStringLiteral("1"), QStringLiteral("timing.session")));
            } else if (line.startsWith("JOIN:")) {
                m_hasJoined = true;
                m_joined();
            } else if (line.startsWith("JSON:")) {
                const int at = line.indexOf("\"sentAt\":");
                if (at >= 0)
                    m_sentAt(std::atoll(line.constData() + at + 9));
            }
        }
        m_buffer.remove(0, start);
    }

    QSslSocket m_socket;
    QTimer m_ping;
    QByteArray m_buffer;
    bool m_hasJoined = false;
    std::function<void()> m_joined;
    std::function<void(qint64)> m_sentAt;
};
