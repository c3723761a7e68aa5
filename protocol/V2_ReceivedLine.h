#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <rapidjson/document.h>

#include <memory>

class V2_Data;

// A received data line read straight from its parsed document, for the
// client's hot path: the updated keys and the line's own deletions are
// worked out without first building the tree that the line alone makes,
// and that tree is built only when somebody asks for it. Only "plain"
// documents are read this way (objects only, every key ASCII and written
// in ascending order, as servers write them), because for those the
// document and the tree hold the same entries in the same order.
class V2_ReceivedLine final
{
public:
    // The line, when its document can be read in place of its tree; none otherwise.
    static std::unique_ptr<V2_ReceivedLine> read(std::shared_ptr<const rapidjson::Document> document);

    // What V2_Client::addKeysUpdated gives for the line's tree against
    // current, with the same nodes created in current. With deleted, the
    // line's null members are recorded there under the tree's own paths,
    // as building the tree would record them.
    void addKeysUpdated(V2_Data* current, QSet<QString>& keys, V2_Data* deleted) const;
    // The top-level keys of the line's tree.
    void addTopLevelKeys(QSet<QString>& keys) const;

    // The keys of the tree's node at a dotted path (none when it has no such node).
    QStringList keysAt(const QString& path) const;
    bool hasNode(const QString& path) const;

    // The line's tree, a new root owned by the caller.
    V2_Data* buildTree() const;

private:
    struct Walk;
    V2_ReceivedLine(std::shared_ptr<const rapidjson::Document> document, bool hasNull);
    const rapidjson::Value* nodeAt(const QString& path) const;

    std::shared_ptr<const rapidjson::Document> m_document;
    bool m_hasNull;
};
