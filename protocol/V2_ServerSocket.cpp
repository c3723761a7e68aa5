#include "V2_ServerSocket.h"

#include "TsanAnnotations.h"
#include "UserProfileReadLock.h"
#include "V2_Data.h"
#include "V2_MessageHandler.h"
#include "V2_Profile.h"
#include "V2_Publication.h"
#include "V2_Server.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QAbstractEventDispatcher>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QHash>
#include <QDebug>
#include <QElapsedTimer>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace {

const QString kHandlerName = QStringLiteral("PEX Skyhaul Protocol V2");
const QByteArray kLineEnd = "\r\n";
// The whole of the last writes on closing, however slowly the peer reads.
constexpr int kCloseFlushMs = 2000;
// A connection not logged in reads this far ahead of its peer at most, and
// answers this many lines a turn: its requests are a few short lines.
constexpr qint64 kNotLoggedReadBuffer = 64 * 1024;
constexpr int kNotLoggedLinesPerTurn = 64;
// How often a LOGIN waiting for room to hold its answer is tried again.
constexpr qint64 kDeferredLoginRetryMs = 50;
// Before login every line is a LOGIN, or refused: a name, a password, an
// application and versions fit in far less.
constexpr qint64 kLoginLineBytes = 4 * 1024;
// A connection not logged in is owed a few short lines on closing; its
// last bytes are written in slices, so that the server can cut them short.
constexpr int kNotLoggedCloseFlushMs = 250;
constexpr int kCloseFlushSliceMs = 25;

// Set by tests while connection threads run; unset, a login pays one load.
std::function<void(V2_ServerSocket::LoginStage)> g_loginHook;
std::atomic<bool> g_loginHookSet{false};
QMutex g_loginHookMutex;

std::atomic<uint> g_testStackSize{0};

void atLoginStage(V2_ServerSocket::LoginStage stage)
{
    if (!g_loginHookSet)
        return;
    std::function<void(V2_ServerSocket::LoginStage)> hook;
    {
        QMutexLocker locker(&g_loginHookMutex);
        hook = g_loginHook;
    }
    // Called unlocked: a hook may hold this thread until the test lets it go.
    if (hook)
        hook(stage);
}

// TLS 1.2 suites with forward secrecy and authenticated encryption only
// (ECDHE with AES-GCM or ChaCha20-Poly1305): CBC suites are open to
// padding-oracle timing attacks. TLS 1.3 has only such suites; they stay.
QList<QSslCipher> serverCiphers()
{
    static const QList<QSslCipher> ciphers = [] {
        QList<QSslCipher> chosen;
        for (const QSslCipher& cipher : QSslConfiguration::supportedCiphers()) {
            const QString name = cipher.name();
            if (cipher.protocol() == QSsl::TlsV1_3 || name.startsWith(QLatin1String("TLS_"))
                || (name.startsWith(QLatin1String("ECDHE-")) && (name.contains(QLatin1String("-GCM-")) || name.contains(QLatin1String("CHACHA20")))))
                chosen << cipher;
        }
        return chosen;
    }();
    return ciphers;
}

} // namespace

void V2_ServerSocket::setLoginHookForTests(std::function<void(LoginStage)> hook)
{
    QMutexLocker locker(&g_loginHookMutex);
    g_loginHookSet = bool(hook);
    g_loginHook = std::move(hook);
}

void V2_ServerSocket::setThreadStackSizeForTests(uint bytes)
{
    g_testStackSize = bytes;
}

V2_ServerSocket::V2_ServerSocket(int descriptor, V2_Server* server, QObject* parent)
    : QThread(parent)
    , m_socketDescriptor(descriptor)
    , m_server(server)
    , m_handler(new V2_MessageHandler(kHandlerName))
    , m_notLoggedSince(clockMs())
{
    m_handler->setVersion(server->version(), server->subVersion(), server->revision());
    m_handler->setMinimumVersion(server->minVersion(), server->minSubVersion(), server->minRevision());
    m_handler->setPingRate(server->pingRate());
    m_handler->setPingTimeout(server->timeout());
    if (const uint stack = g_testStackSize)
        setStackSize(stack);
}

V2_ServerSocket::~V2_ServerSocket()
{
    // A connection that never ran lets go of its user here.
    if (V2_User* user = m_handler->user()) {
        if (user->release())
            user->deleteLater();
    }
    delete m_handler;
}

// ---------------------------------------------------------------------------
// Thread body

void V2_ServerSocket::run()
{
    m_running = true;
    m_socket = new QSslSocket;
    if (!m_socket->setSocketDescriptor(m_socketDescriptor, QAbstractSocket::ConnectedState, QIODevice::ReadWrite)) {
        qDebug() << "[V2] Could not adopt socket descriptor" << m_socketDescriptor;
        // Not taken over, so still ours to close.
        closeDescriptor(m_socketDescriptor);
        m_running = false;
    } else {
        if (m_server->ssl()) {
            m_socket->setLocalCertificate(m_server->tlsCertificate());
            m_socket->setPrivateKey(m_server->tlsPrivateKey());
            m_socket->setPeerVerifyMode(QSslSocket::VerifyNone);
            QSslConfiguration tls = m_socket->sslConfiguration();
            tls.setCiphers(serverCiphers());
            m_socket->setSslConfiguration(tls);
            m_socket->startServerEncryption();
        }
        connect(m_socket, &QAbstractSocket::disconnected, this, &V2_ServerSocket::doDisconnect, Qt::DirectConnection);
        connect(m_handler, &V2_MessageHandler::onJoin, this, &V2_ServerSocket::join, Qt::DirectConnection);
        connect(m_handler, &V2_MessageHandler::onCMD, this, &V2_ServerSocket::cmd, Qt::DirectConnection);
        connect(m_socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this, &V2_ServerSocket::sslErrors, Qt::DirectConnection);
        m_connected = true;
        m_lastActivity.start();
    }

    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    {
        QMutexLocker locker(&m_wakeMutex);
        m_dispatcher = dispatcher;
    }
    // Ends a wait when the inactivity limit may have passed.
    QTimer limitCheck;
    limitCheck.setSingleShot(true);
    while (m_running) {
        // An eviction before this thread set m_connected still counts.
        if (!m_connected || m_disconnectRequested)
            break;
        if (V2_User* released = m_releaseRequested.exchange(nullptr)) {
            QMutexLocker locker(&m_loginMutex);
            if (m_handler->user() == released)
                bindUser(nullptr);
        }
        const bool delivered = deliverPublications();
        const bool received = receiveData();
        const bool wrote = sendData();
        const bool busy = delivered || received || wrote;
        if (dispatcher) {
            // Idle, the thread sleeps until the socket has bytes or has
            // written them, the server queues something (wake), or the
            // limit check is due; never a fixed poll.
            if (!busy) {
                const qint64 untilCheck = msUntilLimitCheck();
                if (untilCheck >= 0)
                    limitCheck.start(int(std::min<qint64>(untilCheck, 1 << 30)));
            }
            dispatcher->processEvents(busy ? QEventLoop::AllEvents : QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        m_running = timeoutCheckOk();
    }
    m_pastLastTurn = true;
    const bool wasLogged = m_handler->logged();
    // A LOGIN still waiting for room to hold its answer when a time limit
    // ends the connection is told so: its password was never read, and the
    // client must not take the close for a network fault.
    if (m_deferredLogin && !m_disconnectRequested) {
        m_deferredLogin->setError(QStringLiteral("Too late to log in"), QString());
        sendErrorMessage(m_deferredLogin.get());
        m_deferredLogin.reset();
        sendData();
    }

    {
        QMutexLocker locker(&m_wakeMutex);
        m_dispatcher = nullptr;
    }
    stop();
    {
        QMutexLocker locker(&m_loginMutex);
        bindUser(nullptr);
    }
    disconnect(m_socket, nullptr, this, nullptr);
    disconnect(m_handler, nullptr, this, nullptr);
    flushOnClose(wasLogged);
    m_socket->close();
    delete m_socket;
    m_socket = nullptr;
    // A blocking call into the server's thread (see TsanAnnotations.h).
    TsanAnnotations::release(m_server);
    emit onThreadFinished(m_socketDescriptor);
    TsanAnnotations::acquire(m_server);
    // The server deletes this object after waiting for the thread.
    TsanAnnotations::release(this);
}

void V2_ServerSocket::flushOnClose(bool wasLogged)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    // What the last turn wrote (a refusal, say) still reaches the client,
    // within one deadline for all of it: a peer reading a trickle must not
    // hold the thread. The server cuts it short (doDisconnect) when closing
    // connections keep newcomers out.
    m_flushing = true;
    const QDeadlineTimer deadline(wasLogged ? kCloseFlushMs : kNotLoggedCloseFlushMs);
    while (unsentBytes() > 0 && !deadline.hasExpired() && !m_disconnectRequested && m_socket->state() == QAbstractSocket::ConnectedState) {
        QElapsedTimer slice;
        slice.start();
        const int ms = int(std::min<qint64>(kCloseFlushSliceMs, std::max<qint64>(1, deadline.remainingTime())));
        // A failure before the slice's end is the socket's, not the peer's slowness.
        if (!m_socket->waitForBytesWritten(ms) && slice.elapsed() < ms)
            break;
    }
    // A server going away, or one that needs the room, does not wait for its readers.
    if (m_disconnectRequested)
        m_socket->abort();
    else
        m_socket->disconnectFromHost();
}

qint64 V2_ServerSocket::msUntilLimitCheck() const
{
    qint64 until = -1;
    const int loginTimeout = m_server->loginTimeout();
    if (loginTimeout > 0 && !m_handler->logged())
        until = std::max<qint64>(0, loginTimeout * 1000LL - (clockMs() - m_notLoggedSince)) + 5;
    if (m_deferredLogin) {
        const qint64 retry = std::max<qint64>(0, kDeferredLoginRetryMs - m_deferredTried.elapsed()) + 1;
        until = until < 0 ? retry : std::min(until, retry);
    }
    const int timeout = m_server->timeout();
    if (timeout == 0)
        return until;
    const qint64 limit = (m_handler->logged() ? timeout : std::min(timeout, m_server->notLoggedTimeout())) * 1000LL;
    const qint64 inactivity = std::max<qint64>(0, limit - m_lastActivity.elapsed()) + 5;
    return until < 0 ? inactivity : std::min(until, inactivity);
}

void V2_ServerSocket::wake()
{
    // Thread-safe, and remembered: a wake before the wait ends the wait.
    QMutexLocker locker(&m_wakeMutex);
    if (m_dispatcher)
        m_dispatcher->wakeUp();
}

// ---------------------------------------------------------------------------
// Reading and requests

bool V2_ServerSocket::receiveData()
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    // Before login the socket holds little of what the peer sends, and a
    // turn answers only a few lines: the rest waits in the peer's system,
    // not in this server's memory, however long a refusal is held.
    const bool logged = m_handler->logged();
    const qint64 readBuffer = logged ? 0 : kNotLoggedReadBuffer;
    if (m_socket->readBufferSize() != readBuffer)
        m_socket->setReadBufferSize(readBuffer);
    const int maxLines = logged ? std::numeric_limits<int>::max() : kNotLoggedLinesPerTurn;
    if (m_deferredLogin) {
        // Kept parsed: only the room for its answer is tried again, now and
        // then; the socket's wake-ups meanwhile are no reason to.
        if (m_deferredTried.elapsed() < kDeferredLoginRetryMs)
            return false;
        m_deferredTried.restart();
        if (!answerLogin(m_deferredLogin.get(), m_deferredRequestId))
            return false;
        m_deferredLogin.reset();
        if (!m_connected)
            return true;
        // The lines that came after it.
        m_linesWaiting = true;
    }
    // Lines left from the last turn go first; nothing more is read meanwhile.
    if (!m_linesWaiting) {
        if (m_socket->bytesAvailable() <= 0)
            return false;
        appendInput(m_socket->readAll());
    }
    m_linesWaiting = handleLines(maxLines);
    // A LOGIN waiting for room is tried again after a short sleep, not at once.
    return !m_deferredLogin;
}

void V2_ServerSocket::receiveBytes(const QByteArray& bytes)
{
    appendInput(bytes);
    handleLines(std::numeric_limits<int>::max());
}

void V2_ServerSocket::appendInput(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    QMutexLocker locker(&m_inLock);
    m_inBuffer += bytes;
    // Before login only whole lines count: a peer dribbling bytes that
    // never end a line must not keep its connection.
    if (m_handler->logged())
        m_lastActivity.restart();
}

bool V2_ServerSocket::handleLines(int maxLines)
{
    m_inLock.lock();
    int start = 0;
    int end;
    QList<QByteArray> lines;
    while (lines.size() < maxLines && (end = m_inBuffer.indexOf(kLineEnd, start)) >= 0) {
        if (end > start)
            lines.append(m_inBuffer.mid(start, end - start));
        start = end + kLineEnd.size();
    }
    m_inBuffer.remove(0, start);
    bool linesLeft = lines.size() >= maxLines && m_inBuffer.contains(kLineEnd);
    // What follows the last line end, unless whole lines are still to come.
    const qint64 remainder = linesLeft ? 0 : m_inBuffer.size();
    m_inLock.unlock();
    if (!lines.isEmpty())
        m_lastActivity.restart();

    // Only uploads are long: every other request is a few hundred bytes,
    // and a longer line is refused before it is parsed.
    const auto lineCap = [this] {
        const qint64 general = m_server->maxLineBytes();
        if (!m_handler->logged())
            return std::min({general, m_server->maxNotLoggedLineBytes(), kLoginLineBytes});
        return mayUpload() ? general : std::min(general, m_server->maxNotLoggedLineBytes());
    };
    // The user's rights are read once a read, and again after a line that
    // logged in or out, not for every line.
    bool logged = m_handler->logged();
    qint64 cap = lineCap();
    qint64 overlong = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        if (line.size() > cap) {
            overlong = cap;
            break;
        }
        V2_message mes;
        if (!mes.parseMessage(line)) {
            sendErrorMessage(&mes);
        } else if (!processMessage(&mes)) {
            // A LOGIN waiting for room: kept as it is, and the lines after
            // it go back, to be read once it is answered.
            m_deferredLogin.reset(new V2_message(mes));
            m_deferredTried.start();
            QByteArray back;
            for (int k = i + 1; k < lines.size(); ++k)
                back += lines.at(k) + kLineEnd;
            m_inLock.lock();
            m_inBuffer.prepend(back);
            m_inLock.unlock();
            linesLeft = true;
            break;
        }
        if (m_handler->logged() != logged) {
            logged = m_handler->logged();
            cap = lineCap();
        }
        // Answers to a peer that does not read them must not pile up either.
        if (!m_connected && m_socket)
            break;
        if (dropIfBacklogged())
            return false;
    }
    requestSnapshots();
    if (!overlong && !m_deferredLogin && remainder > cap)
        overlong = cap;
    if (overlong) {
        m_inLock.lock();
        m_inBuffer.clear();
        m_inLock.unlock();
        const QString reason = QStringLiteral("Line longer than %1 bytes").arg(overlong);
        qDebug().noquote() << "[V2]" << reason << "from ip" << peerAddress() << ": connection closed";
        V2_message refusal;
        refusal.setError(reason, QString());
        sendErrorMessage(&refusal);
        m_connected = false;
        return false;
    }
    return linesLeft && m_connected;
}

bool V2_ServerSocket::processMessage(V2_message* mes)
{
    using Handler = void (V2_ServerSocket::*)(V2_message*);
    // Every request but LOGIN needs a logged-in client.
    static const QHash<QString, Handler> loggedRequests = {
        {QStringLiteral("JOIN"), &V2_ServerSocket::joinChannel},
        {QStringLiteral("LEAVE"), &V2_ServerSocket::leaveChannel},
        {QStringLiteral("PING"), &V2_ServerSocket::ping},
        {QStringLiteral("ACK"), &V2_ServerSocket::ignore},
        {QStringLiteral("JSON"), &V2_ServerSocket::upload},
        {QStringLiteral("ERROR"), &V2_ServerSocket::ignore},
        {QStringLiteral("CMD"), &V2_ServerSocket::command},
        {QStringLiteral("REPLY"), &V2_ServerSocket::ignore},
        {QStringLiteral("TIME"), &V2_ServerSocket::time},
    };
    if (mes->command() == QLatin1String("LOGIN"))
        return login(mes);
    const Handler handler = m_handler->logged() ? loggedRequests.value(mes->command()) : nullptr;
    if (handler) {
        (this->*handler)(mes);
        return true;
    }
    mes->setError(QStringLiteral("Unknown command"), QString());
    sendErrorMessage(mes);
    return true;
}

void V2_ServerSocket::ping(V2_message* mes)
{
    // Acknowledgements do not advance the message counter.
    appendOut(V2_message::ackLine(mes->id()).toUtf8() + kLineEnd);
    m_lastActivity.restart();
}

void V2_ServerSocket::time(V2_message*)
{
    appendOut(V2_message::timeReplyLine(QString::number(m_messageCounter++), QDateTime::currentMSecsSinceEpoch()).toUtf8() + kLineEnd);
}

void V2_ServerSocket::ignore(V2_message*)
{
}

bool V2_ServerSocket::login(V2_message* mes)
{
    const QString requestId = mes->id();
    mes->setId(requestId + QLatin1Char('+'));
    if (!m_handler->ok_LOGIN(mes)) {
        sendErrorMessage(mes);
        return true;
    }
    if (m_handler->logged()) {
        mes->setError(QStringLiteral("User already logged"), QString());
        sendErrorMessage(mes);
        return true;
    }
    return answerLogin(mes, requestId);
}

bool V2_ServerSocket::answerLogin(V2_message* mes, const QString& requestId)
{
    const QMap<QString, QVariant>* params = mes->jsonParams();
    const QString userName = params->value(QStringLiteral("user")).toString().simplified();
    const QString password = params->value(QStringLiteral("password")).toString().simplified();
    // While this address and account is being guessed at, every answer is
    // held alike, a right password's too: else a guesser would know a guess
    // wrong as soon as no acceptance came, and try the next.
    atLoginStage(LoginStage::Reserving);
    const qint64 hold = reserveAnswerHold(userName);
    if (hold == kNoRoomToHold) {
        // Left waiting, its password unseen, until room frees: the
        // connection stays an ordinary one waiting to log in.
        m_deferredRequestId = requestId;
        return false;
    }
    if (hold == kTooLateToHold) {
        mes->setError(QStringLiteral("Too late to log in"), QString());
        sendErrorMessage(mes);
        m_connected = false;
        return true;
    }
    // The held answer keeps its room until it is sent, or its user bound.
    struct HoldRelease {
        V2_ServerSocket* connection;
        ~HoldRelease() { connection->releaseAnswerHold(); }
    } release{this};
    qint64 stillToHold = hold;
    if (hold > 0 && passwordRight(userName, password)) {
        holdAnswer(hold);
        stillToHold = 0;
        if (m_disconnectRequested || m_socket->state() != QAbstractSocket::ConnectedState)
            return true;
    }
    QMutexLocker binding(&m_loginMutex);
    // A stopped connection may still hold the user of its last login.
    bindUser(nullptr);
    // Looked up and locked in one step: a user the application deletes
    // meanwhile is either bound here first (its deletion then logs this
    // connection out) or found marked as removed.
    V2_User* user = m_server->findAndLockUser(userName);
    atLoginStage(LoginStage::UserFound);
    if (!user || user->isRemoved() || user->pass() != password) {
        if (user)
            user->writeUnlock();
        binding.unlock();
        mes->setError(QStringLiteral("user or password not valid"), QString());
        logRefusedLogin(mes, userName, noteRefusedLogin(loginRefusalKey(userName), hold));
        // Nothing more is read meanwhile.
        holdAnswer(stillToHold);
        // A hold cut short (evicted, the peer or the server gone) ends in
        // silence, as an acceptance's does: a refusal sent then would tell
        // a guess wrong at once.
        if (hold > 0 && (m_disconnectRequested || m_socket->state() != QAbstractSocket::ConnectedState))
            return true;
        sendErrorMessage(mes);
        return true;
    }

    const int current = user->currentNumberOfConnections();
    if (current >= user->maxConnections()) {
        mes->setError(QStringLiteral("Maximum number of connections reached (%1).").arg(current), QString());
        qDebug().noquote() << "[V2] Connection rejected :user " + userName + " from ip " + peerAddress() + ": Maximum number of connections reached "
                + QString::number(current);
        sendErrorMessage(mes);
        m_connected = false;
        user->writeUnlock();
        return true;
    }
    bindUser(user);
    m_loginName = user->user();
    user->setCurrentNumberOfConnections(current + 1);
    m_loginCounted = true;
    atLoginStage(LoginStage::Binding);
    m_appName = params->value(QStringLiteral("app")).toString();
    m_appVersion = params->value(QStringLiteral("app_ver")).toString();
    qDebug().noquote() << "[V2] Connection accepted for user " + userName + " from ip " + peerAddress() + ": connections = " + QString::number(current + 1);
    m_handler->setLogged(true);
    QString reply = m_handler->loginReplyLine(requestId);
    sendMessage(reply);
    m_lastActivity.restart();
    emit onLogged();
    user->writeUnlock();
    return true;
}

void V2_ServerSocket::joinChannel(V2_message* mes)
{
    mes->setId(mes->id() + QLatin1Char('+'));
    if (!joinAllowedByRate()) {
        mes->setError(QStringLiteral("Too many JOIN requests"), QString());
        sendErrorMessage(mes);
        logChannelRequest(QStringLiteral("JOIN error channel"), mes);
    } else if (m_handler->ok_JOIN(mes)) {
        sendMessage(mes);
        logChannelRequest(QStringLiteral("joined channel"), mes);
    } else {
        sendErrorMessage(mes);
        logChannelRequest(QStringLiteral("JOIN error channel"), mes);
    }
}

void V2_ServerSocket::leaveChannel(V2_message* mes)
{
    mes->setId(mes->id() + QLatin1Char('+'));
    if (!m_handler->ok_LEAVE(mes)) {
        sendErrorMessage(mes);
        return;
    }
    // Its snapshot, if not yet asked for, is of no use any more.
    m_pendingSnapshots.removeAll(mes->channel());
    sendMessage(mes);
    logChannelRequest(QStringLiteral("left channel"), mes);
}

void V2_ServerSocket::upload(V2_message* mes)
{
    if (mayUpload()) {
        m_lastActivity.restart();
        emit dataReceived(mes->jsonParams(), m_socketDescriptor, championship());
        return;
    }
    mes->setError(QStringLiteral("You are not allowed to send data"), QString());
    mes->setId(mes->id() + QLatin1Char('+'));
    sendErrorMessage(mes);
}

void V2_ServerSocket::command(V2_message* mes)
{
    // An allowed command has reached the application through onCMD already.
    if (m_handler->ok_CMD(mes))
        return;
    mes->setId(mes->id() + QLatin1Char('+'));
    sendErrorMessage(mes);
}

void V2_ServerSocket::join(QString channel)
{
    // Asked for once the lines of this read are answered: a LEAVE among
    // them drops it, and joining again asks once.
    if (!m_pendingSnapshots.contains(channel))
        m_pendingSnapshots.append(channel);
}

void V2_ServerSocket::cmd(V2_message* mes)
{
    TsanAnnotations::release(m_server);
    emit onCommandReceived(mes, m_socketDescriptor);
    TsanAnnotations::acquire(m_server);
}

void V2_ServerSocket::sslErrors(QList<QSslError> errors)
{
    m_socket->ignoreSslErrors(errors);
}

// ---------------------------------------------------------------------------
// Logging out

void V2_ServerSocket::stop()
{
    QMutexLocker locker(&m_loginMutex);
    stopLocked();
    // A sleeping connection measures its wait against the limits of a
    // connection that is not logged in.
    wake();
}

void V2_ServerSocket::stopLocked()
{
    // The user's lock before anything changes: a login of this user that is
    // under way finishes first, and is then undone as a whole.
    V2_User* user = m_handler->user();
    if (user)
        user->writeLock();
    // A logged-out client gets a fresh time to log in again.
    if (m_handler->logged() && !m_handler->fullAccess())
        m_notLoggedSince = clockMs();
    m_handler->setLogged(false);
    if (m_loginCounted.exchange(false) && user) {
        const int count = user->currentNumberOfConnections() - 1;
        user->setCurrentNumberOfConnections(count);
        qDebug().noquote() << "[V2] Leaving user " + user->name() + " so number of connections is " + QString::number(count);
    }
    if (user)
        user->writeUnlock();
}

void V2_ServerSocket::releaseUser(V2_User* user)
{
    QMutexLocker locker(&m_loginMutex);
    if (!user || m_handler->user() != user)
        return;
    stopLocked();
    m_releaseRequested = user;
    wake();
}

void V2_ServerSocket::bindUser(V2_User* user)
{
    V2_User* previous = m_handler->user();
    if (previous == user)
        return;
    if (!user)
        m_loginName.clear();
    if (user)
        user->hold();
    m_handler->setUser(user);
    if (previous && previous->release())
        previous->deleteLater();
}

void V2_ServerSocket::doDisconnect()
{
    m_disconnectRequested = true;
    m_connected = false;
    wake();
}

// ---------------------------------------------------------------------------
// Settings and accessors

void V2_ServerSocket::setFullAccess()
{
    QMutexLocker locker(&m_loginMutex);
    m_handler->setFullAccess(true);
    bindUser(m_server->findUser(QStringLiteral("FULL_ACCESS")));
    if (V2_User* user = m_handler->user()) {
        user->readLock();
        m_loginName = user->user();
        user->readUnlock();
    }
    m_handler->setLogged(true);
}

void V2_ServerSocket::setPingRate(int pingRate)
{
    m_handler->setPingRate(pingRate);
}

void V2_ServerSocket::setPingTimeout(int timeout)
{
    m_handler->setPingTimeout(timeout);
    // A sleeping connection measures its wait against the new limit.
    wake();
}

int V2_ServerSocket::socketDescriptor() const
{
    return m_socketDescriptor;
}

void V2_ServerSocket::setSocketDescriptor(int descriptor)
{
    m_socketDescriptor = descriptor;
}

QSslSocket* V2_ServerSocket::socket() const
{
    return m_socket;
}

void V2_ServerSocket::setSocket(QSslSocket* socket)
{
    m_socket = socket;
}

bool V2_ServerSocket::isConnected() const
{
    return m_connected;
}

bool V2_ServerSocket::logged() const
{
    return m_handler->logged();
}

V2_User* V2_ServerSocket::user() const
{
    return m_handler->user();
}

QMap<QString, V2_User*>* V2_ServerSocket::users() const
{
    return m_server->users();
}

QMap<QString, V2_Profile*>* V2_ServerSocket::profiles() const
{
    return m_server->profiles();
}

QString V2_ServerSocket::appName() const
{
    return m_appName;
}

QString V2_ServerSocket::appVersion() const
{
    return m_appVersion;
}

V2_MessageHandler* V2_ServerSocket::handler() const
{
    return m_handler;
}

QString V2_ServerSocket::championship() const
{
    UserProfileReadLock locked(m_handler->user());
    return locked.profile() ? locked.profile()->getChampionshipSubscribed() : QString();
}

QString V2_ServerSocket::userName() const
{
    // A copy: the server's thread may rename the user meanwhile.
    return m_loginName;
}

QString V2_ServerSocket::peerAddress() const
{
    return m_socket ? m_socket->peerAddress().toString() : QString();
}
