#include "V2_Data.h"

#include <QDebug>
#include <QJsonDocument>

const QString V2_Data::DELETE_FIELD = QStringLiteral("[delete]");

// ---------------------------------------------------------------------------
// Construction and copying

V2_Data::V2_Data()
    : m_datas(&m_ownMap)
    , m_parent(nullptr)
    , m_ignorePath(false)
    , m_list(false)
{
}

V2_Data::V2_Data(const QString& name)
    : m_datas(&m_ownMap)
    , m_name(name)
    , m_calculatedPath(name)
    , m_parent(nullptr)
    , m_ignorePath(false)
    , m_list(false)
{
}

V2_Data::V2_Data(const V2_Data* other)
    : V2_Data()
{
    if (!other)
        return;
    m_ignorePath = other->m_ignorePath;
    m_list = other->m_list;
    *this = other;
}

V2_Data::V2_Data(const V2_Data& other)
    : V2_Data(&other)
{
}

V2_Data& V2_Data::operator=(const V2_Data& other)
{
    return *this = &other;
}

V2_Data& V2_Data::operator=(const V2_Data* other)
{
    if (!other || other == this)
        return *this;
    // Copy before clearing: other may live inside this very tree.
    V2_Data copy;
    copy.m_name = other->m_name;
    copy.m_parent = other->m_parent;
    // Read, never filled: the source may be a tree that several threads
    // copy at once (a publication shared by the server's connections).
    copy.m_calculatedPath = other->peekPath();
    copy.m_ignorePath = other->m_ignorePath;
    copy.m_list = other->m_list;
    copy.copyEntriesFrom(other);
    clearData();
    m_name = copy.m_name;
    m_parent = copy.m_parent;
    m_calculatedPath = copy.m_calculatedPath;
    m_pathKnown = true;
    m_ignorePath = copy.m_ignorePath;
    m_list = copy.m_list;
    m_datas->swap(*copy.m_datas);
    for (QVariant* value : qAsConst(*m_datas)) {
        if (V2_Data* child = nodeOf(value))
            child->setV2Parent(this);
    }
    return *this;
}

void V2_Data::copyEntriesFrom(const V2_Data* other)
{
    for (auto it = other->m_datas->cbegin(); it != other->m_datas->cend(); ++it) {
        if (const V2_Data* child = nodeOf(it.value())) {
            // The copy's path follows from its new parent: the child's own
            // path is neither needed nor worked out (which would write it).
            auto* copy = new V2_Data(child->m_name);
            copy->m_ignorePath = child->m_ignorePath;
            copy->m_list = child->m_list;
            copy->copyEntriesFrom(child);
            m_datas->insert(it.key(), new QVariant(QVariant::fromValue(static_cast<void*>(copy))));
            copy->setV2Parent(this);
        } else {
            m_datas->insert(it.key(), new QVariant(*it.value()));
        }
    }
}

V2_Data::~V2_Data()
{
    clearData();
    if (m_datas != &m_ownMap)
        delete m_datas;
}

bool V2_Data::isNumber(int type)
{
    switch (type) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

bool V2_Data::isDeleteMarker(const QVariant* value)
{
    return value->userType() == QMetaType::QString && *static_cast<const QString*>(value->constData()) == DELETE_FIELD;
}

bool V2_Data::holdsNode(const QVariant* value)
{
    return value && value->userType() == QMetaType::VoidStar;
}

V2_Data* V2_Data::nodeOf(const QVariant* value)
{
    return holdsNode(value) ? static_cast<V2_Data*>(value->value<void*>()) : nullptr;
}

// ---------------------------------------------------------------------------
// Lookup

V2_Data* V2_Data::getInLevelV2_Data(const QString& key) const
{
    const auto it = m_datas->constFind(key);
    return it == m_datas->cend() ? nullptr : nodeOf(it.value());
}

V2_Data* V2_Data::getV2_Data(const QString& path) const
{
    QString key;
    const V2_Data* owner = valueOwner(path, &key);
    return owner ? owner->getInLevelV2_Data(key) : nullptr;
}

V2_Data* V2_Data::getDataPointer(const QString& path)
{
    return getV2_Data(path);
}

V2_Data* V2_Data::getDataPointer(QStringList& parts)
{
    V2_Data* node = this;
    for (const QString& part : qAsConst(parts)) {
        node = node->getInLevelV2_Data(part);
        if (!node)
            return nullptr;
    }
    return node;
}

V2_Data* V2_Data::getSingleDataPointer(const QString& key)
{
    return getV2_Data(key);
}

V2_Data* V2_Data::getOrCreateDataPointer(const QString& path)
{
    if (path.isEmpty())
        return this;
    V2_Data* node = this;
    const QStringList parts = path.split(QLatin1Char('.'));
    for (const QString& part : parts) {
        V2_Data* child = node->getInLevelV2_Data(part);
        if (!child) {
            child = new V2_Data(part);
            node->insertData(part, child);
        }
        node = child;
    }
    return node;
}

V2_Data* V2_Data::getOrCreateSingleDataPointer(const QString& key)
{
    if (V2_Data* child = getV2_Data(key))
        return child;
    auto* child = new V2_Data(key);
    insertData(key, child);
    return child;
}

V2_Data* V2_Data::getOrCreateInLevelSingleDataPointer(const QString& key)
{
    if (V2_Data* child = getInLevelV2_Data(key))
        return child;
    auto* child = new V2_Data(key);
    insertData(key, child);
    return child;
}

bool V2_Data::keyExists(const QString& key) const
{
    return m_datas->contains(key);
}

V2_Data::Map* V2_Data::datas() const
{
    return m_datas;
}

void V2_Data::setDatas(Map* datas)
{
    m_datas = datas;
}

// ---------------------------------------------------------------------------
// Accessors and paths

QString V2_Data::getName() const
{
    return m_name;
}

void V2_Data::setName(const QString& name)
{
    if (m_name == name)
        return;
    m_name = name;
    // The paths below a root do not hold its name.
    if (!isRoot()) {
        m_pathKnown = true;
        forgetPath();
    }
}

QString V2_Data::getPath() const
{
    return getPathUnder(m_parent);
}

QString V2_Data::getCalculatedPath() const
{
    if (!m_pathKnown) {
        m_calculatedPath = getPathUnder(m_parent);
        m_pathKnown = true;
    }
    return m_calculatedPath;
}

QString V2_Data::peekPath() const
{
    if (m_pathKnown)
        return m_calculatedPath;
    if (!m_parent || m_parent->isRoot())
        return m_name;
    if (m_parent->m_ignorePath)
        return m_parent->peekPath();
    return m_parent->peekPath() + QLatin1Char('.') + m_name;
}

void V2_Data::setCalculatedPath(const QString& path)
{
    m_calculatedPath = path;
    m_pathKnown = true;
}

V2_Data* V2_Data::getV2Parent() const
{
    return m_parent;
}

void V2_Data::setV2Parent(V2_Data* parent)
{
    m_parent = parent;
    m_pathKnown = true;
    forgetPath();
}

void V2_Data::forgetPath()
{
    // Already unknown: so are the paths below (children are re-parented
    // where they point elsewhere, which only a copy leaves behind).
    if (!m_pathKnown)
        return;
    m_pathKnown = false;
    m_calculatedPath.clear();
    for (QVariant* value : qAsConst(*m_datas)) {
        if (V2_Data* child = nodeOf(value)) {
            if (child->m_parent != this)
                child->setV2Parent(this);
            else
                child->forgetPath();
        }
    }
}

QString V2_Data::getPathUnder(const V2_Data* parent) const
{
    if (!parent || parent->isRoot())
        return m_name;
    if (parent->m_ignorePath)
        return parent->getCalculatedPath();
    return parent->getCalculatedPath() + QLatin1Char('.') + m_name;
}

bool V2_Data::getIgnorePath() const
{
    return m_ignorePath;
}

void V2_Data::setIgnorePath(bool ignorePath)
{
    // Data lines repeat the flag on every update; an unchanged flag leaves
    // every path as it is, so the walk over the children is skipped.
    if (m_ignorePath == ignorePath)
        return;
    m_ignorePath = ignorePath;
    for (QVariant* value : qAsConst(*m_datas)) {
        if (V2_Data* child = nodeOf(value))
            child->setV2Parent(this);
    }
}

bool V2_Data::getList() const
{
    return m_list;
}

void V2_Data::setList(bool list)
{
    m_list = list;
}

bool V2_Data::isRoot() const
{
    return !m_parent && m_ignorePath;
}

void V2_Data::setRoot(bool)
{
    m_list = false;
    m_parent = nullptr;
    m_ignorePath = true;
    // Every child's path changes with the node's place, whatever the flag
    // was before: all of them are forgotten, and the root's own is empty.
    m_pathKnown = true;
    forgetPath();
    m_calculatedPath.clear();
    m_pathKnown = true;
}

bool V2_Data::isEmpty() const
{
    for (const QVariant* value : qAsConst(*m_datas)) {
        const V2_Data* child = nodeOf(value);
        if (!child || !child->isEmpty())
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Typed getters

const V2_Data* V2_Data::valueOwner(const QString& path, QString* lastKey) const
{
    const int lastDot = path.lastIndexOf(QLatin1Char('.'));
    if (lastDot < 0) {
        *lastKey = path;
        return this;
    }
    // The readers look paths up thousands of times a second: each part is
    // looked up over the path's own characters, not copied out of it.
    const V2_Data* node = this;
    QString part;
    int start = 0;
    while (node && start <= lastDot) {
        const int dot = path.indexOf(QLatin1Char('.'), start);
        part.setRawData(path.constData() + start, dot - start);
        node = node->getInLevelV2_Data(part);
        start = dot + 1;
    }
    lastKey->setRawData(path.constData() + lastDot + 1, path.size() - lastDot - 1);
    return node;
}

const QVariant* V2_Data::valueAt(const QString& path) const
{
    QString key;
    const V2_Data* node = valueOwner(path, &key);
    if (!node)
        return nullptr;
    const auto it = node->m_datas->constFind(key);
    return it == node->m_datas->cend() ? nullptr : it.value();
}

QString V2_Data::getString(const QString& path, const QString& defaultValue) const
{
    const QVariant* value = valueAt(path);
    if (!value)
        return defaultValue;
    return holdsNode(value) ? QString() : value->toString();
}

int V2_Data::getInt(const QString& path, int defaultValue) const
{
    const QVariant* value = valueAt(path);
    return value && isNumber(value->userType()) ? value->toInt() : defaultValue;
}

qint64 V2_Data::getLongLong(const QString& path, qint64 defaultValue) const
{
    const QVariant* value = valueAt(path);
    return value && isNumber(value->userType()) ? value->toLongLong() : defaultValue;
}

quint64 V2_Data::getULongLong(const QString& path, quint64 defaultValue) const
{
    const QVariant* value = valueAt(path);
    return value && isNumber(value->userType()) ? value->toULongLong() : defaultValue;
}

double V2_Data::getDouble(const QString& path, double defaultValue) const
{
    const QVariant* value = valueAt(path);
    return value && isNumber(value->userType()) ? value->toDouble() : defaultValue;
}

bool V2_Data::getBool(const QString& path, bool defaultValue) const
{
    const QVariant* value = valueAt(path);
    return value && value->userType() == QMetaType::Bool ? value->toBool() : defaultValue;
}

// ---------------------------------------------------------------------------
// Insertion

void V2_Data::storeValue(const QString& key, const QVariant& value)
{
    auto it = m_datas->find(key);
    if (it == m_datas->end()) {
        m_datas->insert(key, new QVariant(value));
        return;
    }
    delete nodeOf(it.value());
    *it.value() = value;
}

void V2_Data::insertData(const QString& key, unsigned short value)
{
    storeValue(key, QVariant(static_cast<int>(value)));
}

void V2_Data::insertData(const QString& key, int value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, unsigned int value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, double value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, const QString& value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, const char* value)
{
    storeValue(key, QVariant(QString::fromUtf8(value)));
}

void V2_Data::insertData(const QString& key, qint64 value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, quint64 value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, bool value)
{
    storeValue(key, QVariant(value));
}

void V2_Data::insertData(const QString& key, V2_Data* child)
{
    if (!child)
        return;
    auto it = m_datas->find(key);
    if (it != m_datas->end() && nodeOf(it.value()) == child)
        return;
    const QVariant holder = QVariant::fromValue(static_cast<void*>(child));
    if (it == m_datas->end()) {
        m_datas->insert(key, new QVariant(holder));
    } else {
        delete nodeOf(it.value());
        *it.value() = holder;
    }
    child->setV2Parent(this);
}

void V2_Data::insertData(V2_Data* child)
{
    if (child)
        insertData(child->getName(), child);
}

void V2_Data::insertData(const QString& key, QVariant* value)
{
    if (!value)
        return;
    if (V2_Data* child = nodeOf(value))
        insertData(key, child);
    else
        storeValue(key, *value);
}

// ---------------------------------------------------------------------------
// Deletion and clean-up

void V2_Data::deleteKey(const QString& key)
{
    auto it = m_datas->find(key);
    if (it == m_datas->end())
        return;
    QVariant* value = it.value();
    m_datas->erase(it);
    delete nodeOf(value);
    delete value;
}

void V2_Data::insertDeletedData(const QString& key)
{
    if (key.isEmpty()) {
        const QStringList keys = m_datas->keys();
        for (const QString& each : keys)
            insertDeletedData(each);
        return;
    }
    deleteKey(key);
    m_datas->insert(key, new QVariant(DELETE_FIELD));
}

bool V2_Data::isDeleted(const QString& path) const
{
    const QVariant* value = valueAt(path);
    return value && isDeleteMarker(value);
}

void V2_Data::clearData()
{
    for (QVariant* value : qAsConst(*m_datas)) {
        delete nodeOf(value);
        delete value;
    }
    m_datas->clear();
}

void V2_Data::clear()
{
    clearData();
    m_name.clear();
}

void V2_Data::clearEmptyData()
{
    for (auto it = m_datas->begin(); it != m_datas->end();) {
        V2_Data* child = nodeOf(it.value());
        if (child && child->isEmpty()) {
            delete child;
            delete it.value();
            it = m_datas->erase(it);
            continue;
        }
        if (child)
            child->clearEmptyData();
        ++it;
    }
}

void V2_Data::clearNulls()
{
    for (auto it = m_datas->begin(); it != m_datas->end();) {
        if (isDeleteMarker(it.value())) {
            delete it.value();
            it = m_datas->erase(it);
            continue;
        }
        if (V2_Data* child = nodeOf(it.value()))
            child->clearNulls();
        ++it;
    }
}

// ---------------------------------------------------------------------------
// Comparison

bool V2_Data::variantEquals(const QVariant* a, const QVariant* b)
{
    if (!a || !b)
        return a == b;
    if (a->userType() != b->userType())
        return false;
    if (holdsNode(a)) {
        const V2_Data* na = nodeOf(a);
        const V2_Data* nb = nodeOf(b);
        return na == nb || (na && nb && na->equals(nb));
    }
    return *a == *b;
}

bool V2_Data::equals(const V2_Data* other) const
{
    if (!other || other->m_datas->size() != m_datas->size())
        return false;
    for (auto it = other->m_datas->cbegin(); it != other->m_datas->cend(); ++it) {
        const auto mine = m_datas->constFind(it.key());
        if (mine == m_datas->cend() || !variantEquals(mine.value(), it.value()))
            return false;
    }
    return true;
}

V2_Data* V2_Data::difference(const V2_Data* other) const
{
    auto* result = new V2_Data(m_name);
    if (!other)
        return result;
    result->m_ignorePath = other->m_ignorePath;
    result->m_list = other->m_list;

    for (auto it = other->m_datas->cbegin(); it != other->m_datas->cend(); ++it) {
        const auto mine = m_datas->constFind(it.key());
        if (mine != m_datas->cend() && variantEquals(mine.value(), it.value())) {
            // A list goes out as an array, by position: an unchanged entry
            // still holds its place, or the entries after it would move.
            if (other->m_list) {
                if (const V2_Data* theirs = nodeOf(it.value())) {
                    auto* unchanged = new V2_Data(theirs->m_name);
                    unchanged->m_list = theirs->m_list;
                    result->insertData(it.key(), unchanged);
                } else {
                    result->storeValue(it.key(), *it.value());
                }
            }
            continue;
        }
        if (const V2_Data* theirs = nodeOf(it.value())) {
            const V2_Data* ours = mine != m_datas->cend() ? nodeOf(mine.value()) : nullptr;
            result->insertData(it.key(), ours ? ours->difference(theirs) : new V2_Data(theirs));
        } else {
            result->storeValue(it.key(), *it.value());
        }
    }
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        // The marker itself: insertDeletedData reads an empty key as "all".
        if (!other->m_datas->contains(it.key()))
            result->m_datas->insert(it.key(), new QVariant(DELETE_FIELD));
    }
    return result;
}
