#include "V2_ReceivedLine.h"

#include "V2_Data.h"
#include "V2_RapidText.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace {

using Value = rapidjson::Value;

bool isIgnorePath(const Value& name)
{
    return name.GetStringLength() == 10 && std::memcmp(name.GetString(), "ignorePath", 10) == 0;
}

// a < b as the tree orders its keys (for ASCII, byte order).
bool precedes(const Value& a, const Value& b)
{
    const rapidjson::SizeType length = std::min(a.GetStringLength(), b.GetStringLength());
    const int order = std::memcmp(a.GetString(), b.GetString(), length);
    return order < 0 || (order == 0 && a.GetStringLength() < b.GetStringLength());
}

bool plain(const Value& object, bool* hasNull)
{
    const Value* previous = nullptr;
    for (auto it = object.MemberBegin(); it != object.MemberEnd(); ++it) {
        if (!V2_RapidText::isAscii(it->name.GetString(), it->name.GetStringLength()) || (previous && !precedes(*previous, it->name)))
            return false;
        previous = &it->name;
        const Value& value = it->value;
        if (value.IsArray() || (value.IsObject() && !plain(value, hasNull)))
            return false;
        if (value.IsNull())
            *hasNull = true;
    }
    return true;
}

bool hasIgnorePath(const Value& object)
{
    for (auto it = object.MemberBegin(); it != object.MemberEnd(); ++it) {
        if (isIgnorePath(it->name))
            return true;
    }
    return false;
}

// Members that the line's tree keeps: nodes, and scalars other than the flag.
bool isKept(const Value& name, const Value& value)
{
    return value.IsObject() || (!value.IsNull() && !isIgnorePath(name));
}

QString keyOf(const Value& name)
{
    return QString::fromLatin1(name.GetString(), static_cast<int>(name.GetStringLength()));
}

// Field names already keyed under one path: the rows below a node that
// ignores its path share that path, and mostly the same fields, so each
// field's key is built once. Names point into the document.
struct NameSet
{
    static constexpr int kSlots = 64;
    const char* names[kSlots] = {};
    rapidjson::SizeType lengths[kSlots] = {};
    int used = 0;
    bool pathAdded = false;

    // False when the name was there already.
    bool insert(const char* name, rapidjson::SizeType length)
    {
        // Past three quarters full every name counts as new: the key set
        // itself still keeps each key once.
        if (used >= kSlots * 3 / 4)
            return true;
        uint hash = 2166136261u;
        for (rapidjson::SizeType i = 0; i < length; ++i)
            hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
        for (uint slot = hash % kSlots;; slot = (slot + 1) % kSlots) {
            if (!names[slot]) {
                names[slot] = name;
                lengths[slot] = length;
                ++used;
                return true;
            }
            if (lengths[slot] == length && std::memcmp(names[slot], name, length) == 0)
                return false;
        }
    }
};

// path + "." + name (name alone below the root), in one allocation.
QString joined(const QString& path, bool root, const Value& name)
{
    const int length = static_cast<int>(name.GetStringLength());
    const int prefix = root ? 0 : path.size() + 1;
    QString key(prefix + length, Qt::Uninitialized);
    QChar* out = key.data();
    if (!root) {
        std::memcpy(out, path.constData(), sizeof(QChar) * static_cast<size_t>(path.size()));
        out[path.size()] = QLatin1Char('.');
    }
    const char* text = name.GetString();
    for (int i = 0; i < length; ++i)
        out[prefix + i] = QLatin1Char(text[i]);
    return key;
}

} // namespace

// One walk over the document beside the mirror, by the rules of
// V2_Client::addKeysUpdated: a node's path follows the tree's path rules
// (a child of the root is its name; the children of a node that ignores
// its path share that node's path).
struct V2_ReceivedLine::Walk
{
    QSet<QString>* keys;
    V2_Data* deleted;
    bool hasNull;
    QString scratch;

    // A plain document's name, widened into the reused buffer for lookups.
    const QString& lookupKey(const Value& name)
    {
        V2_RapidText::asciiInto(name.GetString(), static_cast<int>(name.GetStringLength()), scratch);
        return scratch;
    }

    // current is the mirror's node at the same place; none below a node
    // that the mirror lacks, where only deletions are looked for. shared
    // holds the names keyed under path so far, when siblings share it.
    void node(const Value& object, V2_Data* current, const QString& path, bool root, NameSet* shared)
    {
        const bool ignore = hasIgnorePath(object);
        std::optional<NameSet> rows;
        NameSet* named = shared;
        if (ignore && !root && current && !named)
            named = &rows.emplace();
        const auto addKey = [&](const Value& name, const QString* built) {
            if (!named || named->insert(name.GetString(), name.GetStringLength()))
                keys->insert(built ? *built : joined(path, root, name));
        };
        bool anyNode = false;
        for (auto it = object.MemberBegin(); it != object.MemberEnd(); ++it) {
            const Value& value = it->value;
            if (value.IsNull()) {
                if (deleted)
                    deleted->getOrCreateDataPointer(path)->insertData(keyOf(it->name), V2_Data::DELETE_FIELD);
                continue;
            }
            const bool isNode = value.IsObject();
            if (!isNode) {
                if (current && !isIgnorePath(it->name))
                    addKey(it->name, nullptr);
                continue;
            }
            anyNode = anyNode || current;
            V2_Data* child = current ? current->getInLevelV2_Data(lookupKey(it->name)) : nullptr;
            if (child || !current) {
                // Rows below a node that ignores its path share its path.
                if (child || hasNull)
                    node(value, child, ignore && !root ? path : joined(path, root, it->name), false, ignore && !root ? named : nullptr);
                continue;
            }
            const QString key = joined(path, root, it->name);
            current->getOrCreateDataPointer(scratch);
            if (deleted && hasNull)
                node(value, nullptr, ignore && !root ? path : key, false, nullptr);
            addKey(it->name, &key);
        }
        if (current && !anyNode && !root && !(shared && std::exchange(shared->pathAdded, true)))
            keys->insert(path);
    }
};

V2_ReceivedLine::V2_ReceivedLine(std::shared_ptr<const rapidjson::Document> document, bool hasNull)
    : m_document(std::move(document))
    , m_hasNull(hasNull)
{
}

std::unique_ptr<V2_ReceivedLine> V2_ReceivedLine::read(std::shared_ptr<const rapidjson::Document> document)
{
    bool hasNull = false;
    if (!document || !document->IsObject() || !plain(*document, &hasNull))
        return nullptr;
    return std::unique_ptr<V2_ReceivedLine>(new V2_ReceivedLine(std::move(document), hasNull));
}

void V2_ReceivedLine::addKeysUpdated(V2_Data* current, QSet<QString>& keys, V2_Data* deleted) const
{
    Walk walk{&keys, deleted, m_hasNull, QString()};
    // The root's path is empty: its deletions are kept at the top.
    walk.node(*m_document, current, QString(), true, nullptr);
}

void V2_ReceivedLine::addTopLevelKeys(QSet<QString>& keys) const
{
    for (auto it = m_document->MemberBegin(); it != m_document->MemberEnd(); ++it) {
        if (isKept(it->name, it->value))
            keys.insert(keyOf(it->name));
    }
}

const rapidjson::Value* V2_ReceivedLine::nodeAt(const QString& path) const
{
    const Value* node = m_document.get();
    for (const QStringRef& part : path.splitRef(QLatin1Char('.'))) {
        const Value* next = nullptr;
        for (auto it = node->MemberBegin(); it != node->MemberEnd(); ++it) {
            if (part == QLatin1String(it->name.GetString(), static_cast<int>(it->name.GetStringLength()))) {
                next = &it->value;
                break;
            }
        }
        if (!next || !next->IsObject())
            return nullptr;
        node = next;
    }
    return node;
}

QStringList V2_ReceivedLine::keysAt(const QString& path) const
{
    QStringList keys;
    if (const Value* node = nodeAt(path)) {
        for (auto it = node->MemberBegin(); it != node->MemberEnd(); ++it) {
            if (isKept(it->name, it->value))
                keys.append(keyOf(it->name));
        }
    }
    return keys;
}

bool V2_ReceivedLine::hasNode(const QString& path) const
{
    return nodeAt(path) != nullptr;
}

V2_Data* V2_ReceivedLine::buildTree() const
{
    auto* root = new V2_Data(QStringLiteral("ROOT"));
    root->setRoot(true);
    root->fromRapidJson(*m_document, nullptr);
    return root;
}
