// V2_ServerSocket: its guards against peers that pile up work — the time
// of logins and the answers to refused ones, the output a peer leaves
// unread, the rate of JOINs and their snapshot requests, and the log lines
// a peer can cause.
#include "V2_ServerSocket.h"

#include "LogThrottle.h"
#include "LoginRefusals.h"
#include "TsanAnnotations.h"
#include "UserProfileReadLock.h"
#include "V2_MessageHandler.h"
#include "V2_Profile.h"
#include "V2_Server.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QDebug>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kLoggedNameChars = 64;
// How much of a refused login line the log shows.
constexpr int kLoggedLineChars = 300;
constexpr qint64 kJoinWindowMs = 60 * 1000;
// A held answer is sent at least this long before the time to log in runs
// out, and a fresh connection's hold is this much shorter still.
constexpr qint64 kRefusalMarginMs = 500;

QString shortened(const QString& text)
{
    return LogThrottle::shortened(text, kLoggedNameChars);
}

} // namespace

bool V2_ServerSocket::loginTimeOver() const
{
    // A fixed time to log in, which no amount of talking extends.
    const int loginTimeout = m_server->loginTimeout();
    return loginTimeout > 0 && !m_handler->logged() && clockMs() - m_notLoggedSince > loginTimeout * 1000LL;
}

bool V2_ServerSocket::timeoutCheckOk() const
{
    if (loginTimeOver())
        return false;
    const int timeout = m_server->timeout();
    if (timeout == 0)
        return true;
    const qint64 idle = m_lastActivity.elapsed();
    if (!m_handler->logged() && idle > m_server->notLoggedTimeout() * 1000LL)
        return false;
    return idle <= timeout * 1000LL;
}

qint64 V2_ServerSocket::clockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString V2_ServerSocket::noteRefusedLogin(const QString& key, qint64 hold)
{
    QString consequence;
    if (m_socket) {
        const int forKey = m_server->loginRefusals()->refused(key);
        consequence = QStringLiteral("%1 refused for this name from this ip").arg(forKey);
        if (hold > 0)
            consequence += QStringLiteral(", answered after %1 s").arg(hold / 1000.0);
    }
    const QString closing = countRefusal();
    if (!closing.isEmpty())
        consequence += (consequence.isEmpty() ? QString() : QStringLiteral("; ")) + closing;
    return consequence;
}

QString V2_ServerSocket::countRefusal()
{
    const int maxRefused = m_server->maxRefusedLogins();
    if (++m_refusedLogins < maxRefused || maxRefused <= 0)
        return QString();
    m_connected = false;
    return QStringLiteral("connection closed after %1 refused logins").arg(m_refusedLogins);
}

QString V2_ServerSocket::loginRefusalKey(const QString& userName) const
{
    // Per account, so that guesses at one account do not slow the answers
    // to another's from the same address; names of no account share one
    // key, so that trying many names is slowed as one and costs one record.
    const QString account = m_server->findUser(userName) ? userName : QString();
    return peerAddress() + QLatin1Char('/') + account;
}

qint64 V2_ServerSocket::reserveAnswerHold(const QString& userName)
{
    if (!m_socket)
        return 0;
    LoginRefusals* refusals = m_server->loginRefusals();
    qint64 hold = refusals->delayAfter(refusals->refusals(loginRefusalKey(userName)), m_server->maxRefusedLogins());
    if (hold <= 0)
        return 0;
    const int loginTimeout = m_server->loginTimeout();
    if (loginTimeout > 0) {
        // A fresh connection's answer always comes within its time to log
        // in; one that has used that time up is answered, whatever its
        // password, that it is too late: never at once with a real answer.
        const qint64 answerBy = loginTimeout * 1000LL - kRefusalMarginMs;
        hold = std::min(hold, answerBy - kRefusalMarginMs);
        if (hold <= 0 || clockMs() - m_notLoggedSince + hold > answerBy)
            return kTooLateToHold;
    }
    // Held answers are never evicted, so they have a bound of their own,
    // and one address may take only a share of it.
    const int cap = std::max(1, m_server->maxNotLoggedConnections());
    // Kept: the socket forgets its peer's address once the peer has left.
    m_heldFor = peerAddress();
    if (!refusals->tryHoldAnswer(m_heldFor, cap, std::max(1, cap / 4)))
        return kNoRoomToHold;
    m_answerHeld = true;
    return hold;
}

void V2_ServerSocket::releaseAnswerHold()
{
    if (m_answerHeld.exchange(false))
        m_server->loginRefusals()->answerReleased(m_heldFor);
}

bool V2_ServerSocket::passwordRight(const QString& userName, const QString& password)
{
    V2_User* user = m_server->findAndLockUser(userName);
    const bool right = user && !user->isRemoved() && user->pass() == password;
    if (user)
        user->writeUnlock();
    return right;
}

void V2_ServerSocket::holdAnswer(qint64 ms)
{
    if (!m_socket || ms <= 0)
        return;
    // This thread serves only this peer: it waits here, running its own
    // events so that the peer's leaving or the server's going is noticed
    // (both wake it), and reading no more than the socket's small buffer
    // before login holds.
    const QDeadlineTimer until(ms);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    QTimer tick;
    tick.setSingleShot(true);
    while (!until.hasExpired() && !m_disconnectRequested && m_socket->state() == QAbstractSocket::ConnectedState) {
        const int remaining = int(std::max<qint64>(1, until.remainingTime()));
        if (dispatcher) {
            tick.start(remaining);
            dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else {
            QThread::msleep(ulong(std::min(remaining, 50)));
        }
    }
    // The peer's inactivity is measured from the answer.
    m_lastActivity.restart();
}

bool V2_ServerSocket::joinAllowedByRate()
{
    // Each JOIN costs a snapshot of the application's thread.
    const int allowed = m_server->maxJoinsPerMinute();
    if (allowed <= 0)
        return true;
    if (!m_joinWindow.isValid() || m_joinWindow.elapsed() >= kJoinWindowMs) {
        m_joinWindow.start();
        m_joinsInWindow = 0;
    }
    return m_joinsInWindow++ < allowed;
}

void V2_ServerSocket::logChannelRequest(const QString& text, V2_message* mes)
{
    // A client may send these as fast as it likes: a few lines a second,
    // with its channel text cut short.
    static LogThrottle throttle(10);
    int suppressed = 0;
    if (!throttle.allow(&suppressed))
        return;
    QString line = "[V2] User " + shortened(userName()) + " " + text + " " + shortened(mes->channel()) + " from IP " + peerAddress();
    if (!mes->isValid())
        line += " error " + shortened(mes->reason());
    if (suppressed > 0)
        line += QStringLiteral(" (%1 more channel requests not logged)").arg(suppressed);
    qDebug().noquote() << line;
}

void V2_ServerSocket::requestSnapshots()
{
    QStringList channels;
    channels.swap(m_pendingSnapshots);
    for (const QString& channel : qAsConst(channels)) {
        if (!m_handler->logged())
            return;
        const QString champ = championship();
        // A blocking call into the server's thread (see TsanAnnotations.h).
        TsanAnnotations::release(m_server);
        if (champ.isEmpty())
            emit onSnapshotRequest(m_socketDescriptor, channel);
        else
            emit onSnapshotRequest(m_socketDescriptor, channel, champ);
        TsanAnnotations::acquire(m_server);
    }
}

bool V2_ServerSocket::mayUpload() const
{
    UserProfileReadLock locked(m_handler->user());
    // Full access without a profile is unrestricted, uploads included.
    return locked.profile() ? locked.profile()->isAllowedToSendData() : m_handler->fullAccess();
}

qint64 V2_ServerSocket::unsentBytes() const
{
    return m_socket ? m_socket->bytesToWrite() + m_socket->encryptedBytesToWrite() : 0;
}

bool V2_ServerSocket::dropIfBacklogged()
{
    // A client that stops reading must not make the server's memory grow;
    // one that has not logged in is owed a few short answers at most.
    if (!m_socket)
        return false;
    const qint64 cap = m_handler->logged() ? m_server->maxPendingOutput() : std::min(m_server->maxPendingOutput(), m_server->maxNotLoggedPendingOutput());
    m_outLock.lock();
    const qint64 pending = m_outBuffer.size() + unsentBytes();
    m_outLock.unlock();
    if (pending <= cap)
        return false;
    static LogThrottle throttle(5);
    int suppressed = 0;
    if (throttle.allow(&suppressed))
        qDebug().noquote() << "[V2] Client " + shortened(userName()) + " from ip " + peerAddress() + " does not read: " + QString::number(pending)
                + " bytes unwritten, connection dropped" + (suppressed > 0 ? QStringLiteral(" (%1 more dropped)").arg(suppressed) : QString());
    m_socket->abort();
    m_connected = false;
    return true;
}

void V2_ServerSocket::evict()
{
    m_evicted = true;
    doDisconnect();
}

void V2_ServerSocket::closeDescriptor(qintptr descriptor)
{
#ifdef Q_OS_WIN
    ::closesocket(SOCKET(descriptor));
#else
    ::close(int(descriptor));
#endif
}

bool V2_ServerSocket::holdsAnswer() const
{
    return m_answerHeld;
}

bool V2_ServerSocket::isFlushing() const
{
    return m_flushing;
}

bool V2_ServerSocket::isClosing() const
{
    return m_evicted || m_pastLastTurn;
}

qint64 V2_ServerSocket::notLoggedSince() const
{
    return m_notLoggedSince;
}

void V2_ServerSocket::logRefusedLogin(V2_message* mes, const QString& userName, const QString& consequence)
{
    // Anyone may try: a few lines a second at most, each of them short, and
    // never the password that came with it.
    static LogThrottle throttle(5);
    int suppressed = 0;
    if (!throttle.allow(&suppressed))
        return;
    V2_message shown(mes->messageString());
    shown.insertJson(QStringLiteral("password"), QStringLiteral("***"));
    const QString text = LogThrottle::shortened(shown.toString(), kLoggedLineChars);
    QString line = "[V2] Password mistmatch user " + userName.left(kLoggedNameChars) + " msg " + text + " from ip " + peerAddress();
    if (!consequence.isEmpty())
        line += QStringLiteral(" (%1)").arg(consequence);
    if (suppressed > 0)
        line += QStringLiteral(" (%1 more refused logins not logged)").arg(suppressed);
    qDebug().noquote() << line;
}
