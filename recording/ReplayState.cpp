#include "ReplayState.h"

#include "LanterraChannels.h"
#include "V2_Data.h"
#include "V2_message.h"

namespace {

std::unique_ptr<V2_Data> newRoot()
{
    std::unique_ptr<V2_Data> root(new V2_Data(QStringLiteral("ROOT")));
    root->setRoot(true);
    return root;
}

// The deletions that empty the given channels (and every top-level key
// outside them), as published when a recorded connection starts again.
std::unique_ptr<V2_Data> emptying(const V2_Data* tree, const QStringList& channels)
{
    std::unique_ptr<V2_Data> change = newRoot();
    QStringList covered;
    for (const QString& channel : channels) {
        if (!tree->getV2_Data(channel))
            continue;
        const int dot = channel.lastIndexOf(QLatin1Char('.'));
        V2_Data* parent = dot < 0 ? change.get() : change->getOrCreateDataPointer(channel.left(dot));
        parent->insertData(channel.mid(dot + 1), V2_Data::DELETE_FIELD);
        covered.append(channel.section(QLatin1Char('.'), 0, 0));
    }
    for (auto it = tree->datas()->cbegin(); it != tree->datas()->cend(); ++it) {
        if (!covered.contains(it.key()))
            change->insertData(it.key(), V2_Data::DELETE_FIELD);
    }
    return change;
}

} // namespace

ReplayState::ReplayState()
    : m_tree(newRoot())
{
}

ReplayState::~ReplayState() = default;

const V2_Data* ReplayState::tree() const
{
    return m_tree.get();
}

std::unique_ptr<V2_Data> ReplayState::takeTree()
{
    std::unique_ptr<V2_Data> tree = std::move(m_tree);
    m_tree = newRoot();
    return tree;
}

std::unique_ptr<V2_Data> ReplayState::apply(const QByteArray& line)
{
    return applyLine(line, true);
}

void ReplayState::applyQuietly(const QByteArray& line)
{
    applyLine(line, false);
}

std::unique_ptr<V2_Data> ReplayState::applyLine(const QByteArray& line, bool withChange)
{
    // Only two words change the tree; the test on the prefix spares parsing the rest.
    const bool data = line.startsWith("JSON:");
    if (!data && !line.startsWith("LOGIN:"))
        return nullptr;
    V2_message message;
    if (!message.parseMessage(line))
        return nullptr;
    if (message.command() == QLatin1String("LOGIN")) {
        // The recorded client lost its tree with the connection before this reply.
        std::unique_ptr<V2_Data> change = withChange && !m_tree->datas()->isEmpty() ? emptying(m_tree.get(), lanterraChannels()) : nullptr;
        m_tree = newRoot();
        return change;
    }
    if (message.command() != QLatin1String("JSON"))
        return nullptr;
    std::unique_ptr<V2_Data> change;
    if (withChange) {
        change = newRoot();
        change->fromQvariantMapWithNull(message.jsonParams(), nullptr);
        if (change->datas()->isEmpty())
            change.reset();
    }
    if (const rapidjson::Document* document = message.rapidJsonDocument())
        m_tree->fromRapidJson(*document, nullptr);
    else
        m_tree->fromQvariantMap(message.jsonParams(), nullptr);
    return change;
}

std::unique_ptr<V2_Data> ReplayState::snapshot(const QString& channel) const
{
    const V2_Data* node = m_tree->getV2_Data(channel);
    if (!node)
        return nullptr;
    std::unique_ptr<V2_Data> wrapped = newRoot();
    const int dot = channel.lastIndexOf(QLatin1Char('.'));
    V2_Data* parent = dot < 0 ? wrapped.get() : wrapped->getOrCreateDataPointer(channel.left(dot));
    parent->insertData(channel.mid(dot + 1), new V2_Data(node));
    return wrapped;
}

QByteArray ReplayState::treeLine(const V2_Data* tree)
{
    return "JSON:0::" + tree->getJsonUtf8(true);
}
