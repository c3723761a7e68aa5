#include "TeamChannel.h"

#include "V2_Data.h"
#include "V2_Server.h"
#include "V2_ServerSocket.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>

const QString TeamChannel::CHANNEL = QStringLiteral("team");

namespace {

const QString kAlertRules = QStringLiteral("alertRules");

V2_Data* newRoot()
{
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    return root;
}

// The tree an upload carries: the upload line wraps it as JSON text under "data".
QVariantMap uploadedTree(const QVariantMap& parameters)
{
    const QVariant data = parameters.value(QStringLiteral("data"));
    if (data.type() == QVariant::String) {
        const QJsonDocument document = QJsonDocument::fromJson(data.toString().toUtf8());
        return document.isObject() ? document.object().toVariantMap() : QVariantMap();
    }
    if (data.type() == QVariant::Map)
        return data.toMap();
    return parameters;
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
    for (V2_ServerSocket* socket : clients)
        connect(socket, &V2_ServerSocket::dataReceived, this, &TeamChannel::uploadArrived,
                static_cast<Qt::ConnectionType>(Qt::DirectConnection | Qt::UniqueConnection));
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
            applyUpload(copy);
        },
        Qt::QueuedConnection);
}

void TeamChannel::applyUpload(const QVariantMap& parameters)
{
    QVariantMap tree = uploadedTree(parameters);
    for (auto it = tree.begin(); it != tree.end();) {
        if (it.key() == CHANNEL && it.value().type() == QVariant::Map) {
            ++it;
            continue;
        }
        qWarning().noquote() << QStringLiteral("[relay] Upload outside the team channel ignored: \"%1\"").arg(it.key());
        it = tree.erase(it);
    }
    if (tree.isEmpty())
        return;
    QVariantMap team = tree.value(CHANNEL).toMap();
    // Alert rules are taken as given: the old ones go first, at the seats too.
    if (team.contains(kAlertRules) && node() && node()->keyExists(kAlertRules)) {
        std::unique_ptr<V2_Data> removal(newRoot());
        removal->getOrCreateDataPointer(CHANNEL)->insertDeletedData(kAlertRules);
        m_tree->getV2_Data(CHANNEL)->deleteKey(kAlertRules);
        m_server->sendV2Data(removal.get());
    }
    std::unique_ptr<V2_Data> change(newRoot());
    change->fromQvariantMapWithNull(&tree, nullptr);
    m_tree->fromQvariantMap(&tree, nullptr);
    m_server->sendV2Data(change.get());
    emit changed();
}
