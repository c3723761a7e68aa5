#include "RelayTree.h"

#include "V2_Data.h"

#include <QStringList>

namespace RelayTree {

V2_Data* newRoot()
{
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    return root;
}

void addDeletions(V2_Data* change, const V2_Data* deleted)
{
    for (auto it = deleted->datas()->cbegin(); it != deleted->datas()->cend(); ++it) {
        if (const V2_Data* child = deleted->getInLevelV2_Data(it.key())) {
            V2_Data* target = change->getInLevelV2_Data(it.key());
            if (!target) {
                if (change->keyExists(it.key()))
                    continue;
                target = change->getOrCreateSingleDataPointer(it.key());
            }
            addDeletions(target, child);
        } else if (V2_Data::isDeleteMarker(it.value())) {
            change->insertDeletedData(it.key());
        }
    }
}

void restorePathFlags(V2_Data* node)
{
    static const QString member = QStringLiteral("ignorePath");
    if (node->getIgnorePath() && !node->isRoot() && !node->datas()->contains(member))
        node->insertData(member, true);
    for (auto it = node->datas()->cbegin(); it != node->datas()->cend(); ++it) {
        if (V2_Data* child = V2_Data::nodeOf(it.value()))
            restorePathFlags(child);
    }
}

V2_Data* channelCopy(const V2_Data* source, const QString& channel)
{
    const V2_Data* node = source->getV2_Data(channel);
    if (!node)
        return nullptr;
    V2_Data* snapshot = newRoot();
    const QStringList parts = channel.split(QLatin1Char('.'));
    V2_Data* parent = parts.size() > 1 ? snapshot->getOrCreateDataPointer(parts.mid(0, parts.size() - 1).join(QLatin1Char('.'))) : snapshot;
    parent->insertData(parts.last(), new V2_Data(node));
    restorePathFlags(snapshot);
    return snapshot;
}

} // namespace RelayTree
