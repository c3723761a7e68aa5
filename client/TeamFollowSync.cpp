#include "TeamFollowSync.h"

#include "ClientV2Controller.h"
#include "V2DataProvider.h"
#include "V2_Client.h"
#include "V2_Data.h"
#include "V2_message.h"

#include <QJsonObject>
#include <QtDebug>

namespace {

const QString kFollowPath = QStringLiteral("team.follow");
const QString kUploadName = QStringLiteral("follow");
const QString kUnknownChannel = QStringLiteral("Unknown channel");
const QString kUploadRefused = QStringLiteral("You are not allowed to send data");

} // namespace

const QString& TeamFollowSync::channel()
{
    static const QString name = QStringLiteral("team");
    return name;
}

TeamFollowSync::TeamFollowSync(V2DataProvider* provider, QObject* parent)
    : QObject(parent)
    , m_provider(provider)
    , m_client(provider->controller())
{
    connect(m_client, &V2_Client::onLoginDone, this, &TeamFollowSync::onLoginDone);
    connect(m_client, &V2_Client::onChannelJoin, this, &TeamFollowSync::onChannelJoin);
    connect(m_client, &V2_Client::onDisconnected, this, &TeamFollowSync::onDisconnected);
    connect(m_client, &V2_Client::onChannelChange, this, &TeamFollowSync::onChannelChange);
    connect(m_client, &V2_Client::errorReceived, this, &TeamFollowSync::onErrorReceived);
}

TeamFollowSync::~TeamFollowSync() = default;

void TeamFollowSync::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    // Switching it off and on is how the user asks again.
    m_refusedFor.clear();
    m_noChannelAt.clear();
    if (enabled) {
        setState(State::Waiting);
        if (live() && m_client->loginActive())
            join();
        return;
    }
    if (m_joined && live())
        m_client->leaveChannel(channel(), channel());
    m_joined = false;
    m_channel.clear();
    setState(State::Off);
}

bool TeamFollowSync::isEnabled() const
{
    return m_enabled;
}

TeamFollowSync::State TeamFollowSync::state() const
{
    return m_state;
}

QString TeamFollowSync::stateText() const
{
    switch (m_state) {
    case State::Off:
        return tr("Followed cars are not shared.");
    case State::Waiting:
        return tr("Followed cars will be shared once logged in.");
    case State::Sharing:
        return tr("Followed cars are shared with the other seats of the team.");
    case State::ReceiveOnly:
        return tr("This server does not accept uploads from this user: the team's followed cars are shown, yours are not shared.");
    case State::NoChannel:
        return tr("This server has no team channel: followed cars are not shared.");
    }
    return QString();
}

void TeamFollowSync::share(int panelId, const QString& car, const QColor& color)
{
    if (m_state != State::Sharing || panelId < 0)
        return;
    const Block block{car, color};
    const auto known = m_channel.constFind(panelId);
    // Nothing new for the channel: an empty block it does not name is empty for everyone.
    if (known != m_channel.cend() ? known.value() == block : car.isEmpty())
        return;
    upload(panelId, block);
}

QMap<int, TeamFollowSync::Block> TeamFollowSync::sharedBlocks() const
{
    return m_channel;
}

void TeamFollowSync::onLoginDone()
{
    if (!m_enabled)
        return;
    if (!m_noChannelAt.isEmpty() && m_noChannelAt == identity()) {
        setState(State::NoChannel);
        return;
    }
    join();
}

void TeamFollowSync::join()
{
    m_noChannelAt.clear();
    setState(State::Waiting);
    m_client->joinChannel(channel(), channel());
}

void TeamFollowSync::onChannelJoin(const QString& name)
{
    if (name != channel())
        return;
    if (!m_enabled || !live()) {
        // A confirmation after the user switched sharing off, or a replayed one.
        if (!m_enabled && live())
            m_client->leaveChannel(channel(), channel());
        return;
    }
    m_joined = true;
    const bool refused = !m_refusedFor.isEmpty() && m_refusedFor == identity();
    setState(refused ? State::ReceiveOnly : State::Sharing);
}

void TeamFollowSync::onDisconnected()
{
    m_joined = false;
    // The next join brings the channel's content afresh, to be taken over again.
    m_channel.clear();
    if (m_enabled && m_state != State::NoChannel)
        setState(State::Waiting);
}

void TeamFollowSync::onChannelChange(const QSet<QString>& keys)
{
    if (!m_joined || !live())
        return;
    bool touched = false;
    for (const QString& key : keys) {
        if (key == channel() || key.startsWith(channel() + QLatin1Char('.'))) {
            touched = true;
            break;
        }
    }
    const V2_Data* follow = touched ? m_client->getCurrentData()->getV2_Data(kFollowPath) : nullptr;
    if (!follow)
        return;
    for (auto it = follow->datas()->cbegin(); it != follow->datas()->cend(); ++it) {
        bool number = false;
        const int panelId = it.key().toInt(&number) - 1;
        const V2_Data* node = follow->getV2_Data(it.key());
        if (!number || panelId < 0 || !node)
            continue;
        const Block block{node->getString(QStringLiteral("car")).trimmed(), QColor(node->getString(QStringLiteral("color")))};
        const auto known = m_channel.constFind(panelId);
        if (known != m_channel.cend() && known.value() == block)
            continue;
        m_channel.insert(panelId, block);
        emit blockShared(panelId, block.car, block.color);
    }
}

void TeamFollowSync::onErrorReceived(const QString& line)
{
    // A replayed error is a recorded server's, not the one shared with.
    if (!m_enabled || !m_client->readingSocket())
        return;
    V2_message error(line);
    if (error.command() != QLatin1String("ERROR") || error.channel() != channel())
        return;
    const QString reason = error.jsonParams()->value(QStringLiteral("reason")).toString();
    if (reason == kUnknownChannel) {
        if (m_noChannelAt == identity())
            return;
        m_noChannelAt = identity();
        setState(State::NoChannel);
        qWarning().noquote() << "Team sharing:" << m_client->host() << "has no team channel; followed cars are not shared";
        emit notice(tr("This server has no team channel: followed cars are not shared."));
    } else if (reason == kUploadRefused) {
        if (m_refusedFor == identity())
            return;
        m_refusedFor = identity();
        if (m_joined)
            setState(State::ReceiveOnly);
        qWarning().noquote() << "Team sharing:" << m_client->host() << "refuses uploads from" << m_client->username()
                             << "; followed cars are no longer shared";
        emit notice(tr("This server does not accept uploads from this user: your followed cars are no longer shared."));
    }
}

void TeamFollowSync::upload(int panelId, const Block& block)
{
    // Kept as the channel's at once, so the same value is not sent twice and
    // a block changed back is sent again. The mirror keeps the block's older
    // value until the server publishes this upload back to every seat, this
    // one included: a team line arriving before that (another seat's
    // change, or our own older upload coming back) briefly puts the older
    // value back in the block, and this upload's echo then brings this one.
    m_channel.insert(panelId, block);
    const QJsonObject entry{
        {QStringLiteral("car"), block.car},
        {QStringLiteral("color"), block.color.isValid() ? block.color.name() : QString()},
        {QStringLiteral("seat"), m_client->username()},
    };
    QJsonObject data{{channel(), QJsonObject{{QStringLiteral("follow"), QJsonObject{{QString::number(panelId + 1), entry}}}}}};
    m_client->sendMessage(&data, kUploadName, channel(), kUploadName);
}

void TeamFollowSync::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

bool TeamFollowSync::live() const
{
    // Replayed lines are no team's: only a connected server is shared with.
    return m_client->socketState() == QAbstractSocket::ConnectedState;
}

QString TeamFollowSync::identity() const
{
    return QStringLiteral("%1:%2:%3").arg(m_client->host()).arg(m_client->port()).arg(m_client->username());
}
