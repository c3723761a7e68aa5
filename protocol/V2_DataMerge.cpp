#include "V2_Data.h"
#include "V2_RapidText.h"

using V2_RapidText::asciiInto;
using V2_RapidText::isAscii;

namespace {

const QString kIgnorePath = QStringLiteral("ignorePath");
const QString kLiveData = QStringLiteral("liveData");

bool isNullVariant(const QVariant& value)
{
    return !value.isValid() || value.userType() == QMetaType::Nullptr;
}

// Array elements are stored under their index, left-padded to four digits
// so that they sort in order up to 9999.
QString listKey(int index)
{
    return QString::number(index).rightJustified(4, QLatin1Char('0'));
}

QVariant scalarFromRapid(const rapidjson::Value& value)
{
    if (value.IsUint())
        return QVariant(value.GetUint());
    if (value.IsInt())
        return QVariant(value.GetInt());
    if (value.IsUint64())
        return QVariant(static_cast<quint64>(value.GetUint64()));
    if (value.IsInt64())
        return QVariant(static_cast<qint64>(value.GetInt64()));
    if (value.IsNumber())
        return QVariant(value.GetDouble());
    if (value.IsBool())
        return QVariant(value.GetBool());
    if (value.IsString())
        return QVariant(QString::fromUtf8(value.GetString(), static_cast<int>(value.GetStringLength())));
    return QVariant();
}

// Replaces a scalar in place; an unchanged value (most of every update) is
// left alone, which spares the string allocations.
void assignScalar(QVariant* target, const rapidjson::Value& value)
{
    const int type = target->userType();
    if (value.IsString() && type == QMetaType::QString) {
        const auto length = value.GetStringLength();
        const QString& current = *static_cast<const QString*>(target->constData());
        if (isAscii(value.GetString(), length) && current == QLatin1String(value.GetString(), static_cast<int>(length)))
            return;
    } else if (value.IsUint() && type == QMetaType::UInt) {
        if (*static_cast<const uint*>(target->constData()) == value.GetUint())
            return;
    } else if (value.IsDouble() && type == QMetaType::Double) {
        if (*static_cast<const double*>(target->constData()) == value.GetDouble())
            return;
    }
    *target = scalarFromRapid(value);
}

} // namespace

// State shared by one merge from a parsed document: a scratch string for
// lookups, and the keys already made, so that the field names that repeat
// in every row are allocated once and shared.
struct V2_Data::MergeContext
{
    static constexpr int kSlots = 64;

    QString scratch;
    QString keys[kSlots];

    QString key(const char* name, int length, bool ascii)
    {
        if (!ascii)
            return QString::fromUtf8(name, length);
        uint hash = 2166136261u;
        for (int i = 0; i < length; ++i)
            hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
        QString& slot = keys[hash % kSlots];
        if (slot.size() == length && slot == QLatin1String(name, length))
            return slot;
        slot = QString::fromLatin1(name, length);
        return slot;
    }
};

// ---------------------------------------------------------------------------
// Reading parsed values

void V2_Data::insertData(const QString& key, const rapidjson::Value& value)
{
    if (value.IsNull() || value.IsObject() || value.IsArray())
        return;
    storeValue(key, scalarFromRapid(value));
}

// ---------------------------------------------------------------------------
// Merging

V2_Data* V2_Data::childForMerge(const QString& key)
{
    if (V2_Data* child = getInLevelV2_Data(key))
        return child;
    auto* child = new V2_Data(key);
    insertData(key, child);
    return child;
}

void V2_Data::recordDeleted(const QString& key, V2_Data* deleted) const
{
    if (deleted)
        deleted->getOrCreateDataPointer(getCalculatedPath())->insertData(key, DELETE_FIELD);
}

void V2_Data::fromQvariantMap(QMap<QString, QVariant>* map, V2_Data* deleted)
{
    if (map)
        mergeVariantMap(map, deleted, false);
}

void V2_Data::fromQvariantMapWithNull(QMap<QString, QVariant>* map, V2_Data* deleted)
{
    if (map)
        mergeVariantMap(map, deleted, true);
}

void V2_Data::mergeVariantMap(QMap<QString, QVariant>* map, V2_Data* deleted, bool withNull)
{
    // An object arriving for a list makes it an object, as the sender has it.
    m_list = false;
    const auto flag = map->constFind(kIgnorePath);
    if (flag != map->cend())
        setIgnorePath(withNull ? flag.value().toBool() : true);

    for (auto it = map->begin(); it != map->end(); ++it)
        mergeVariantMember(it.key(), it.value(), deleted, withNull);
}

void V2_Data::mergeVariantMember(const QString& key, QVariant& value, V2_Data* deleted, bool withNull)
{
    const int type = value.userType();
    if (type == QMetaType::QVariantMap) {
        QVariantMap object = value.toMap();
        childForMerge(key)->mergeVariantMap(&object, deleted, withNull);
    } else if (isNullVariant(value)) {
        recordDeleted(key, deleted);
        if (withNull)
            insertData(key, DELETE_FIELD);
        else
            deleteKey(key);
    } else if (type == QMetaType::QVariantList || type == QMetaType::QStringList) {
        V2_Data* child = childForMerge(key);
        child->setList(true);
        QVariantList elements = value.toList();
        for (int i = 0; i < elements.size(); ++i)
            child->mergeVariantMember(listKey(i), elements[i], deleted, true);
    } else if (key != kIgnorePath) {
        insertData(key, &value);
    }
}

void V2_Data::fromRapidJson(const rapidjson::Value& object, V2_Data* deleted)
{
    if (!object.IsObject())
        return;
    MergeContext context;
    context.scratch.reserve(64);
    mergeRapidObject(object, deleted, false, context);
}

void V2_Data::mergeRapidObject(const rapidjson::Value& object, V2_Data* deleted, bool withNull, MergeContext& context)
{
    // An object arriving for a list makes it an object, as the sender has it.
    m_list = false;
    const auto flag = object.FindMember("ignorePath");
    if (flag != object.MemberEnd())
        setIgnorePath(withNull ? scalarFromRapid(flag->value).toBool() : true);

    // A node filled from nothing receives its members in key order (servers
    // write them so): each key past the last one is appended without a search.
    const bool filling = m_datas->isEmpty();
    QString lastAppended;
    for (auto it = object.MemberBegin(); it != object.MemberEnd(); ++it) {
        const rapidjson::Value& value = it->value;
        const char* name = it->name.GetString();
        const int length = static_cast<int>(it->name.GetStringLength());
        // Looked up through the scratch string: no allocation for a key this node holds.
        const bool ascii = asciiInto(name, length, context.scratch);
        const bool appended = ascii && filling && !lastAppended.isNull() && lastAppended < context.scratch;
        const Map::iterator entry = ascii && !appended ? m_datas->find(context.scratch) : m_datas->end();

        if (entry == m_datas->end()) {
            const QString key = context.key(name, length, ascii);
            if (ascii || !m_datas->contains(key)) {
                const auto put = [this, appended, filling, &key, &lastAppended](QVariant* stored) {
                    if (appended)
                        m_datas->insert(m_datas->cend(), key, stored);
                    else
                        m_datas->insert(key, stored);
                    // Any other key of a filling node sorts before the last one.
                    if (filling && (appended || lastAppended.isNull()))
                        lastAppended = key;
                };
                if (value.IsObject()) {
                    auto* child = new V2_Data(key);
                    put(new QVariant(QVariant::fromValue(static_cast<void*>(child))));
                    child->setV2Parent(this);
                    child->mergeRapidObject(value, deleted, withNull, context);
                    continue;
                }
                if (!value.IsNull() && !value.IsArray()) {
                    if (key != kIgnorePath)
                        put(new QVariant(scalarFromRapid(value)));
                    continue;
                }
            }
            mergeRapidMember(key, value, deleted, withNull, context);
            continue;
        }
        V2_Data* child = nodeOf(entry.value());
        if (value.IsObject() && child) {
            child->mergeRapidObject(value, deleted, withNull, context);
        } else if (!child && !value.IsObject() && !value.IsArray() && !value.IsNull()) {
            if (entry.key() != kIgnorePath)
                assignScalar(entry.value(), value);
        } else {
            mergeRapidMember(entry.key(), value, deleted, withNull, context);
        }
    }
}

void V2_Data::mergeRapidMember(const QString& key, const rapidjson::Value& value, V2_Data* deleted, bool withNull, MergeContext& context)
{
    if (value.IsObject()) {
        childForMerge(key)->mergeRapidObject(value, deleted, withNull, context);
    } else if (value.IsNull()) {
        recordDeleted(key, deleted);
        if (withNull)
            insertData(key, DELETE_FIELD);
        else
            deleteKey(key);
    } else if (value.IsArray()) {
        V2_Data* child = childForMerge(key);
        child->setList(true);
        for (rapidjson::SizeType i = 0; i < value.Size(); ++i)
            child->mergeRapidMember(listKey(static_cast<int>(i)), value[i], deleted, true, context);
    } else if (key != kIgnorePath) {
        storeValue(key, scalarFromRapid(value));
    }
}

void V2_Data::appendData(const QString& key, QVariant* value)
{
    if (!value)
        return;
    V2_Data* incoming = nodeOf(value);
    V2_Data* existing = getInLevelV2_Data(key);

    if (existing) {
        if (!incoming && value->toString() == DELETE_FIELD) {
            deleteKey(key);
            return;
        }
        if (!incoming)
            return;
        existing->setList(incoming->m_list);
        existing->setIgnorePath(incoming->m_ignorePath);
        existing->appendEntriesOf(incoming);
        return;
    }

    if (incoming) {
        auto* node = new V2_Data(incoming->m_name);
        node->m_list = incoming->m_list;
        node->m_ignorePath = incoming->m_ignorePath;
        insertData(incoming->m_name, node);
        node->appendEntriesOf(incoming);
        return;
    }

    insertData(key, value);
}

void V2_Data::appendEntriesOf(V2_Data* incoming)
{
    // A "liveData" entry only announces the node: it is consumed, nothing merged.
    if (incoming->keyExists(kLiveData)) {
        incoming->deleteKey(kLiveData);
        return;
    }
    for (auto it = incoming->m_datas->cbegin(); it != incoming->m_datas->cend(); ++it)
        appendData(it.key(), it.value());
}
