// A connection's output: the publications queued for it, filtered and
// serialised once per audience, and the lines it writes.
#include "V2_ServerSocket.h"

#include "UserProfileReadLock.h"
#include "V2_Data.h"
#include "V2_MessageHandler.h"
#include "V2_Profile.h"
#include "V2_Publication.h"
#include "V2_User.h"
#include "V2_message.h"

#include <QDebug>
#include <QSslSocket>

namespace {

const QByteArray kLineEnd = "\r\n";

} // namespace

void V2_ServerSocket::sendV2_Data(const V2_Data* data)
{
    if (data)
        queuePublication(std::make_shared<const V2_Publication>(data));
}

void V2_ServerSocket::queuePublication(const std::shared_ptr<const V2_Publication>& publication)
{
    if (!m_handler->logged() || m_handler->subscribedChannelsCount() == 0)
        return;
    const V2_Data::Map* entries = publication->tree().datas();
    if (entries->size() == 1 && !m_handler->subscriptionContains(entries->firstKey()))
        return;
    m_incomingLock.lock();
    m_incomingQueue.append(publication);
    m_incomingLock.unlock();
    wake();
}

QString V2_ServerSocket::audienceKey(const V2_Profile* profile) const
{
    // Everything the filter reads: full access or not, the profile (full
    // access still applies its record filters) and the joined channels.
    QStringList channels = m_handler->subscribedChannels();
    channels.sort();
    QString access = m_handler->fullAccess() ? QStringLiteral("*") : QString();
    if (profile)
        access += QString::number(profile->revision());
    return access + QLatin1Char('\n') + channels.join(QLatin1Char('\n'));
}

bool V2_ServerSocket::deliverPublications()
{
    QList<std::shared_ptr<const V2_Publication>> queue;
    m_incomingLock.lock();
    queue.swap(m_incomingQueue);
    m_incomingLock.unlock();

    for (const std::shared_ptr<const V2_Publication>& publication : qAsConst(queue)) {
        // A logged-out connection may have lost its user: it receives nothing.
        if (!m_handler->logged())
            continue;
        QByteArray body;
        {
            UserProfileReadLock locked(m_handler->user());
            V2_Profile* profile = locked.profile();
            body = publication->bodyFor(audienceKey(profile), [this, profile](const V2_Data& tree) {
                V2_Data filtered(&tree);
                filterNode(&filtered, profile);
                filtered.clearEmptyData();
                return filtered.datas()->isEmpty() ? QByteArray() : filtered.getJsonUtf8();
            });
        }
        if (body.isEmpty())
            continue;
        appendOut("JSON:" + QByteArray::number(m_messageCounter++) + "::" + body + kLineEnd + kLineEnd);
    }
    return !queue.isEmpty();
}

void V2_ServerSocket::filterNode(V2_Data* node, const V2_Profile* profile)
{
    const QString path = node->getCalculatedPath();
    const QStringList keys = node->datas()->keys();
    for (const QString& key : keys) {
        if (V2_Data* child = node->getV2_Data(key)) {
            const QString childPath = child->getCalculatedPath();
            const bool accepted = !profile || profile->profileFilterAccepted(child);
            if (!m_handler->subscriptionContains(childPath) || !m_handler->userProfileKeyValid(childPath) || !accepted) {
                node->deleteKey(key);
            } else if (profile && profile->keyList()->value(childPath) == 1) {
                filterNode(child, profile);
            } else if (m_handler->hasSubscriptionToPath(childPath) && !(profile && profile->hasProfileFilters(child))) {
                continue;
            } else {
                filterNode(child, profile);
            }
            continue;
        }
        QString fullKey;
        const int hash = key.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            fullKey = path + QLatin1Char('.') + key.left(hash);
        else if (!path.isEmpty() && !node->getIgnorePath())
            fullKey = path + QLatin1Char('.') + key;
        else if (path.isEmpty())
            fullKey = key;
        else
            fullKey = path;
        if (!m_handler->subscriptionContains(fullKey) || !m_handler->userProfileKeyValid(fullKey))
            node->deleteKey(key);
    }
}

bool V2_ServerSocket::sendData()
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState) {
        m_outLock.lock();
        m_outBuffer.clear();
        m_outLock.unlock();
        return false;
    }
    m_outLock.lock();
    if (m_outBuffer.isEmpty()) {
        m_outLock.unlock();
        return false;
    }
    m_socket->write(m_outBuffer);
    m_socket->flush();
    m_outBuffer.clear();
    m_outLock.unlock();
    dropIfBacklogged();
    return true;
}

// ---------------------------------------------------------------------------
// Writing

void V2_ServerSocket::appendOut(const QByteArray& bytes)
{
    m_outLock.lock();
    m_outBuffer += bytes;
    m_outLock.unlock();
    wake();
}

void V2_ServerSocket::sendMessage(QString& line)
{
    appendOut(line.toUtf8() + kLineEnd);
    ++m_messageCounter;
}

void V2_ServerSocket::sendMessage(V2_message* mes)
{
    appendOut(mes->toString().toUtf8() + kLineEnd);
    ++m_messageCounter;
}

void V2_ServerSocket::sendErrorMessage(V2_message* mes)
{
    if (mes->id().isEmpty() || mes->id() == QLatin1String("+"))
        mes->setId(QString::number(m_messageCounter));
    appendOut(mes->errorMessageString().toUtf8() + kLineEnd);
    ++m_messageCounter;
}

QByteArray V2_ServerSocket::takeOutput()
{
    m_outLock.lock();
    QByteArray output;
    output.swap(m_outBuffer);
    m_outLock.unlock();
    return output;
}

void V2_ServerSocket::debugdata(QString text)
{
    appendOut(text.toUtf8());
}
