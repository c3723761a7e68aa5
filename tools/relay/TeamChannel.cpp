#include "TeamChannel.h"

#include "V2_Data.h"
#include "V2_Server.h"
#include "V2_ServerSocket.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

const QString TeamChannel::CHANNEL = QStringLiteral("team");

namespace {

const QString kAlertRules = QStringLiteral("alertRules");
const QString kFollow = QStringLiteral("follow");
const QStringList kFollowFields = {QStringLiteral("car"), QStringLiteral("color"), QStringLiteral("seat")};
// A car number, a colour, a user name: anything longer is no follow entry.
constexpr int kMaxFieldLength = 64;
// Alert rules are a handful of thresholds; every seat gets them whole.
constexpr int kMaxAlertRulesBytes = 16 * 1024;

V2_Data* newRoot()
{
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    return root;
}

// The tree an upload carries: the upload line wraps it as JSON text under
// "data". False when "data" is no JSON object.
bool uploadedTree(const QVariantMap& parameters, QVariantMap* tree)
{
    const QVariant data = parameters.value(QStringLiteral("data"));
    if (data.type() == QVariant::String) {
        const QJsonDocument document = QJsonDocument::fromJson(data.toString().toUtf8());
        *tree = document.isObject() ? document.object().toVariantMap() : QVariantMap();
        return document.isObject();
    }
    if (data.type() == QVariant::Map) {
        *tree = data.toMap();
        return true;
    }
    if (parameters.contains(QStringLiteral("data")))
        return false;
    *tree = parameters;
    return true;
}

// A JSON null: deletes what it names.
bool isNull(const QVariant& value)
{
    return !value.isValid() || value.userType() == QMetaType::Nullptr;
}

bool isShortText(const QVariant& value)
{
    return value.type() == QVariant::String && value.toString().size() <= kMaxFieldLength;
}

// One follow block: car, color and seat as short texts (null deletes one).
QVariant acceptedBlock(const QString& block, const QVariant& value, QStringList* refused)
{
    if (isNull(value))
        return value;
    if (value.type() != QVariant::Map) {
        refused->append(QStringLiteral("team.follow.%1").arg(block));
        return QVariant();
    }
    const QVariantMap fields = value.toMap();
    QVariantMap accepted;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (kFollowFields.contains(it.key()) && (isNull(it.value()) || isShortText(it.value())))
            accepted.insert(it.key(), it.value());
        else
            refused->append(QStringLiteral("team.follow.%1.%2").arg(block, it.key()));
    }
    return accepted.isEmpty() ? QVariant() : QVariant(accepted);
}

// What an upload may change of the team node: team.follow.<block>.{car,
// color,seat}, the block a number of one or two digits, and team.alertRules
// as an object of bounded size. The rest is named in refused.
QVariantMap acceptedTeam(const QVariant& value, QStringList* refused)
{
    static const QRegularExpression blockNumber(QStringLiteral("^[0-9]{1,2}$"));
    QVariantMap accepted;
    if (value.type() != QVariant::Map) {
        refused->append(TeamChannel::CHANNEL);
        return accepted;
    }
    const QVariantMap team = value.toMap();
    for (auto it = team.cbegin(); it != team.cend(); ++it) {
        if (it.key() == kFollow && it.value().type() == QVariant::Map) {
            const QVariantMap blocks = it.value().toMap();
            QVariantMap follow;
            for (auto block = blocks.cbegin(); block != blocks.cend(); ++block) {
                if (!blockNumber.match(block.key()).hasMatch()) {
                    refused->append(QStringLiteral("team.follow.%1").arg(block.key()));
                    continue;
                }
                const QVariant entry = acceptedBlock(block.key(), block.value(), refused);
                if (entry.isValid() || isNull(block.value()))
                    follow.insert(block.key(), entry);
            }
            if (!follow.isEmpty())
                accepted.insert(kFollow, follow);
        } else if (it.key() == kAlertRules && it.value().type() == QVariant::Map
                   && QJsonDocument::fromVariant(it.value()).toJson(QJsonDocument::Compact).size() <= kMaxAlertRulesBytes) {
            accepted.insert(kAlertRules, it.value());
        } else {
            refused->append(QStringLiteral("team.") + it.key());
        }
    }
    return accepted;
}

} // namespace

TeamChannel::TeamChannel(V2_Server* server, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_tree(newRoot())
{
    connect(server, &V2_Server::onClientConnected, this, &TeamChannel::watchConnections);
}

TeamChannel::~TeamChannel() = default;

const V2_Data* TeamChannel::node() const
{
    return m_tree->getV2_Data(CHANNEL);
}

void TeamChannel::answerSnapshot(int descriptor)
{
    const V2_Data* team = node();
    if (!team || team->datas()->isEmpty())
        return;
    std::unique_ptr<V2_Data> snapshot(new V2_Data(m_tree.get()));
    snapshot->setRoot(true);
    m_server->sendV2Data(descriptor, snapshot.get());
}

void TeamChannel::watchConnections()
{
    // Each new connection, once: the unique connection makes repeats no-ops.
    const QMap<int, V2_ServerSocket*> clients = m_server->clients();
    for (V2_ServerSocket* socket : clients) {
        connect(socket, &V2_ServerSocket::dataReceived, this, &TeamChannel::uploadArrived,
                static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
        // A later connection may get the same descriptor: it is warned afresh.
        connect(socket, &V2_ServerSocket::onThreadFinished, this, &TeamChannel::forgetConnection, Qt::UniqueConnection);
    }
}

void TeamChannel::uploadArrived(QVariantMap* data, int descriptor, QString)
{
    // The parameters live only while the signal runs; the queue keeps the
    // connections' arrival order.
    const QVariantMap copy = data ? *data : QVariantMap();
    QMetaObject::invokeMethod(
        this,
        [this, copy, descriptor] {
            qDebug().noquote() << QStringLiteral("[relay] Upload from connection %1").arg(descriptor);
            applyUpload(copy, descriptor);
        },
        Qt::QueuedConnection);
}

void TeamChannel::forgetConnection(int descriptor)
{
    m_warned.remove(descriptor);
}

int TeamChannel::applyUpload(const QVariantMap& parameters, int descriptor)
{
    QVariantMap tree;
    QStringList refused;
    if (!uploadedTree(parameters, &tree))
        refused << QStringLiteral("data (no JSON object)");
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        if (it.key() != CHANNEL)
            refused << it.key();
    }
    const QVariantMap team = acceptedTeam(tree.value(CHANNEL, QVariantMap()), &refused);
    // Once per connection: a seat sending the same wrong line every second
    // must not fill the log.
    if (!refused.isEmpty() && !m_warned.contains(descriptor)) {
        m_warned.insert(descriptor);
        qWarning().noquote() << QStringLiteral("[relay] Upload from connection %1 partly or wholly ignored (not logged again for it): %2")
                                    .arg(descriptor)
                                    .arg(refused.join(QStringLiteral(", ")));
    }
    if (team.isEmpty())
        return refused.size();
    // Alert rules are taken as given: the old ones go first, at the seats too.
    if (team.contains(kAlertRules) && node() && node()->keyExists(kAlertRules)) {
        std::unique_ptr<V2_Data> removal(newRoot());
        removal->getOrCreateDataPointer(CHANNEL)->insertDeletedData(kAlertRules);
        m_tree->getV2_Data(CHANNEL)->deleteKey(kAlertRules);
        m_server->sendV2Data(removal.get());
    }
    QVariantMap accepted{{CHANNEL, team}};
    std::unique_ptr<V2_Data> change(newRoot());
    change->fromQvariantMapWithNull(&accepted, nullptr);
    m_tree->fromQvariantMap(&accepted, nullptr);
    m_server->sendV2Data(change.get());
    emit changed();
    return refused.size();
}
