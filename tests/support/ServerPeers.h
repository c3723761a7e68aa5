#pragma once

// Peers and log capture shared by the server tests that drive connections
// by hand: logins, strangers, slow readers and log lines.

#include "V2_ServerSocket.h"
#include "V2_message.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QStringList>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ServerPeers {

inline QByteArray loginLine(const char* user, const char* password = "pw")
{
    return V2_message::loginRequestLine(QLatin1String(user), QLatin1String(password), QStringLiteral("t"), QStringLiteral("1"), QStringLiteral("V2"),
                                        QStringLiteral("1.0.0"))
        .toUtf8();
}

// A plain TCP peer with blocking calls, for client threads that must not
// need an event loop (slow readers, the stress test's clients).
class BlockingPeer final
{
public:
    explicit BlockingPeer(quint16 port, int receiveBuffer = 0)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof(receiveBuffer));
        timeval wait{0, 200000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof(wait));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~BlockingPeer() { ::close(m_fd); }
    BlockingPeer(const BlockingPeer&) = delete;
    BlockingPeer& operator=(const BlockingPeer&) = delete;

    bool connected() const { return m_connected; }
    void send(const QByteArray& line) { (void)!::send(m_fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL); }
    // Reads up to n bytes; 0 when the peer closed, -1 on the read timeout.
    qint64 read(int n)
    {
        QByteArray buffer(n, Qt::Uninitialized);
        const qint64 got = ::recv(m_fd, buffer.data(), size_t(n), 0);
        if (got > 0)
            m_received += buffer.left(int(got));
        return got;
    }
    // Reads until a line starting with prefix arrived; false on close or after ms.
    bool waitFor(const QByteArray& prefix, int ms = 3000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            if (m_received.contains("\r\n" + prefix) || m_received.startsWith(prefix))
                return true;
            if (read(4096) == 0)
                return false;
        }
        return false;
    }

private:
    int m_fd;
    bool m_connected = false;
    QByteArray m_received;
};

inline QMutex g_logMutex;
inline QStringList g_log;

inline void captureLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    QMutexLocker locker(&g_logMutex);
    g_log.append(message);
}

inline QStringList logLinesWith(const QString& text)
{
    QMutexLocker locker(&g_logMutex);
    return g_log.filter(text);
}

// Captures the log from its construction to its end (emptied first).
struct LogCapture {
    LogCapture()
    {
        {
            QMutexLocker locker(&g_logMutex);
            g_log.clear();
        }
        previous = qInstallMessageHandler(captureLog);
    }
    ~LogCapture() { qInstallMessageHandler(previous); }
    QtMessageHandler previous;
};

// Sanitizer builds run several times slower.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr qint64 kSlowdown = 3;
#else
constexpr qint64 kSlowdown = 1;
#endif

// Holds a login at one stage until released (or for maxMs at most).
struct LoginPause {
    explicit LoginPause(V2_ServerSocket::LoginStage stage, int maxMs = 1000)
    {
        V2_ServerSocket::setLoginHookForTests([this, stage, maxMs](V2_ServerSocket::LoginStage reached) {
            if (reached != stage)
                return;
            reachedStage.release();
            resume.tryAcquire(1, maxMs);
        });
    }
    ~LoginPause() { V2_ServerSocket::setLoginHookForTests(nullptr); }
    QSemaphore reachedStage;
    QSemaphore resume;
};

} // namespace ServerPeers
