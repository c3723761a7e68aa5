#include "V2_Data.h"

#include <QDebug>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <cmath>
#include <limits>

namespace {

// The member name written for a key: the part after the first '#', if any.
QString outputName(const QString& key)
{
    const int hash = key.indexOf(QLatin1Char('#'));
    return hash < 0 ? key : key.mid(hash + 1);
}

// A JSON value for a scalar entry, or undefined for a type that is not written.
QJsonValue scalarJson(const QVariant* value)
{
    switch (value->userType()) {
    case QMetaType::QString:
        if (V2_Data::isDeleteMarker(value))
            return QJsonValue(QJsonValue::Null);
        return QJsonValue(value->toString());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return QJsonValue(value->toLongLong());
    case QMetaType::ULongLong: {
        // Past the signed range a value would turn negative, and read as a
        // number it would be one: it goes out as the nearest double. Within
        // 1 024 of 2^64 that double is 2^64, which no unsigned reader holds:
        // those, the all-bits-set "no time" among them, go out as ever, as
        // the negative number of the same bits (-1), which an unsigned
        // reader reads back as the same value.
        const quint64 number = value->toULongLong();
        if (number > quint64(std::numeric_limits<qint64>::max()) && static_cast<double>(number) < 18446744073709551616.0)
            return QJsonValue(static_cast<double>(number));
        return QJsonValue(static_cast<qint64>(number));
    }
    case QMetaType::Double:
        return QJsonValue(value->toDouble());
    case QMetaType::Bool:
        return QJsonValue(value->toBool());
    default:
        return QJsonValue(QJsonValue::Undefined);
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Output

QJsonObject V2_Data::getJson(const QString&, bool withIgnorePath) const
{
    QJsonObject object;
    if (withIgnorePath && m_ignorePath)
        object.insert(QStringLiteral("ignorePath"), true);
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        QJsonValue value;
        if (const V2_Data* child = nodeOf(it.value()))
            value = child->m_list ? QJsonValue(child->getJsonArray(it.key())) : QJsonValue(child->getJson(it.key(), withIgnorePath));
        else
            value = scalarJson(it.value());
        if (!value.isUndefined())
            object.insert(outputName(it.key()), value);
    }
    return object;
}

QJsonArray V2_Data::getJsonArray(const QString&) const
{
    QJsonArray array;
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        QJsonValue value;
        if (const V2_Data* child = nodeOf(it.value()))
            value = child->m_list ? QJsonValue(child->getJsonArray(it.key())) : QJsonValue(child->getJson(it.key(), false));
        else
            value = scalarJson(it.value());
        if (!value.isUndefined())
            array.append(value);
    }
    return array;
}

QJsonObject V2_Data::toJson(const QString& path, bool wrap) const
{
    if (path.isEmpty())
        return QJsonObject();
    const int dot = path.indexOf(QLatin1Char('.'));
    const QString first = dot < 0 ? path : path.left(dot);
    const V2_Data* child = getInLevelV2_Data(first);
    if (!child)
        return QJsonObject();
    if (dot >= 0)
        return child->toJson(path.mid(dot + 1), wrap);
    const QJsonObject json = child->getJson(first, false);
    if (!wrap)
        return json;
    QJsonObject wrapped;
    wrapped.insert(first, json);
    return wrapped;
}

QString V2_Data::getJsonString(bool withIgnorePath) const
{
    return fromJsonToString(getJson(QString(), withIgnorePath));
}

QString V2_Data::getJsonString(const QString& path, bool wrap) const
{
    return fromJsonToString(toJson(path, wrap));
}

QString V2_Data::fromJsonToString(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void V2_Data::getCompactData(QMap<QString, QVariant*>* out, const QString& prefix) const
{
    if (!out)
        return;
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        const QString key = prefix.isEmpty() ? it.key() : prefix + QLatin1Char('.') + it.key();
        if (const V2_Data* child = nodeOf(it.value()))
            child->getCompactData(out, key);
        else
            out->insert(key, it.value());
    }
}

QString V2_Data::getJsonCompactString(const QString& prefix) const
{
    QJsonObject out;
    writeCompact(out, prefix);
    return fromJsonToString(out);
}

void V2_Data::writeCompact(QJsonObject& out, const QString& prefix) const
{
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        const QString name = outputName(it.key());
        const QString key = prefix.isEmpty() ? name : prefix + QLatin1Char('.') + name;
        if (const V2_Data* child = nodeOf(it.value())) {
            child->writeCompact(out, key);
        } else if (!isDeleteMarker(it.value())) {
            const QJsonValue value = scalarJson(it.value());
            if (!value.isUndefined())
                out.insert(key, value);
        }
    }
}

namespace {

bool rapidWritable(const QVariant* value)
{
    switch (value->userType()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

void writeRapidScalar(V2_Data::RapidWriter& writer, const QVariant* value)
{
    switch (value->userType()) {
    case QMetaType::QString:
        if (V2_Data::isDeleteMarker(value)) {
            writer.Null();
        } else {
            const QByteArray utf8 = value->toString().toUtf8();
            writer.String(utf8.constData(), static_cast<rapidjson::SizeType>(utf8.size()));
        }
        break;
    case QMetaType::Bool:
        writer.Bool(value->toBool());
        break;
    case QMetaType::Int:
        writer.Int(value->toInt());
        break;
    case QMetaType::UInt:
        writer.Uint(value->toUInt());
        break;
    case QMetaType::LongLong:
        writer.Int64(value->toLongLong());
        break;
    case QMetaType::ULongLong:
        writer.Uint64(value->toULongLong());
        break;
    case QMetaType::Double:
        // rapidjson refuses NaN and infinity and would leave the member
        // without a value: null, as the Qt writer puts them.
        if (std::isfinite(value->toDouble()))
            writer.Double(value->toDouble());
        else
            writer.Null();
        break;
    default:
        break;
    }
}

bool written(const QVariant* value)
{
    return V2_Data::holdsNode(value) || rapidWritable(value);
}

// Keys of a node whose member name a later written key of the node gives
// too ("1#x" and "2#x" both write "x"): one member per name, the last in
// key order, as the Qt writer keeps it. Usually no key holds a '#'.
QSet<QString> shadowedKeys(const V2_Data::Map& entries)
{
    QSet<QString> shadowed;
    bool aliased = false;
    for (auto it = entries.cbegin(); it != entries.cend() && !aliased; ++it)
        aliased = it.key().contains(QLatin1Char('#'));
    if (!aliased)
        return shadowed;
    QHash<QString, QString> lastKeyOf;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (written(it.value()))
            lastKeyOf.insert(outputName(it.key()), it.key());
    }
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        if (written(it.value()) && lastKeyOf.value(outputName(it.key())) != it.key())
            shadowed.insert(it.key());
    }
    return shadowed;
}

void writeRapidKey(V2_Data::RapidWriter& writer, const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    writer.Key(utf8.constData(), static_cast<rapidjson::SizeType>(utf8.size()));
}

} // namespace

void V2_Data::getRapidJson(RapidWriter& writer) const
{
    writer.StartObject();
    const QSet<QString> shadowed = shadowedKeys(*m_datas);
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        if (!shadowed.isEmpty() && shadowed.contains(it.key()))
            continue;
        if (const V2_Data* child = nodeOf(it.value())) {
            writeRapidKey(writer, outputName(it.key()));
            child->getRapidJson(writer);
        } else if (rapidWritable(it.value())) {
            writeRapidKey(writer, outputName(it.key()));
            writeRapidScalar(writer, it.value());
        }
    }
    writer.EndObject();
}

void V2_Data::getRapidJson(RapidWriter& writer, const QString& path, bool wrap) const
{
    if (path.isEmpty())
        return;
    const QStringList parts = path.split(QLatin1Char('.'));
    const V2_Data* node = this;
    for (const QString& part : parts) {
        node = node->getInLevelV2_Data(part);
        if (!node)
            return;
    }
    if (!wrap) {
        node->getRapidJson(writer);
        return;
    }
    writer.StartObject();
    writeRapidKey(writer, parts.last());
    node->getRapidJson(writer);
    writer.EndObject();
}

namespace {

// Doubles as the Qt writer puts them, so that clients parse the same types
// as ever: integral values as integers, others in their shortest form.
void writeWireDouble(V2_Data::RapidWriter& writer, double value)
{
    if (!std::isfinite(value)) {
        writer.Null();
        return;
    }
    const bool integral = value == std::floor(value);
    if (integral && std::fabs(value) <= 9007199254740992.0) {
        writer.Int64(static_cast<int64_t>(value));
    } else if (integral && std::fabs(value) < 1e21) {
        // Rare: all the digits, without exponent.
        const QByteArray text = QJsonDocument(QJsonArray{ value }).toJson(QJsonDocument::Compact);
        writer.RawValue(text.constData() + 1, static_cast<size_t>(text.size() - 2), rapidjson::kNumberType);
    } else {
        writer.Double(value);
    }
}

} // namespace

QByteArray V2_Data::getJsonUtf8(bool withIgnorePath) const
{
    rapidjson::StringBuffer buffer;
    RapidWriter writer(buffer);
    writeWire(writer, false, withIgnorePath);
    return QByteArray(buffer.GetString(), static_cast<int>(buffer.GetSize()));
}

void V2_Data::writeWire(RapidWriter& writer, bool asArray, bool withIgnorePath) const
{
    if (asArray)
        writer.StartArray();
    else
        writer.StartObject();
    if (withIgnorePath && m_ignorePath && !asArray && !isRoot()) {
        writer.Key("ignorePath");
        writer.Bool(true);
    }
    const QSet<QString> shadowed = asArray ? QSet<QString>() : shadowedKeys(*m_datas);
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        const V2_Data* child = nodeOf(it.value());
        if (!child && !rapidWritable(it.value()))
            continue;
        if (!shadowed.isEmpty() && shadowed.contains(it.key()))
            continue;
        if (!asArray)
            writeRapidKey(writer, outputName(it.key()));
        if (child)
            child->writeWire(writer, child->m_list, withIgnorePath);
        else if (it.value()->userType() == QMetaType::Double)
            writeWireDouble(writer, it.value()->toDouble());
        else
            writeRapidScalar(writer, it.value());
    }
    if (asArray)
        writer.EndArray();
    else
        writer.EndObject();
}

// ---------------------------------------------------------------------------
// Debug dumps

namespace {

QString addressOf(const void* pointer)
{
    return QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(pointer), 16);
}

const QString kClosingLine = QStringLiteral("_____________________________________ ");
const QString kChildIndent = QStringLiteral("     ");

} // namespace

void V2_Data::print(const QString& indent) const
{
    QString header = indent + QStringLiteral("  V2_DATA - ") + m_name + (m_ignorePath ? QStringLiteral(" [IGNORE PATH] ") : QStringLiteral("[]"));
    if (!m_parent)
        header += QStringLiteral(" [ROOT CHANNEL]");
    header += addressOf(m_parent) + QStringLiteral(" . ") + getPath();
    qDebug().noquote() << header;
    qDebug().noquote() << indent + addressOf(this) + QStringLiteral(" address  ******************************");
    printEntries(indent, true, true);
}

void V2_Data::shortPrint(const QString& indent) const
{
    qDebug().noquote() << indent + QStringLiteral("  V2_DATA - ") + m_name + QStringLiteral(" parent ") + addressOf(m_parent) + QStringLiteral(" calcPath :")
            + getPath();
    printEntries(indent, false, true);
}

void V2_Data::shortShortPrint(const QString& indent) const
{
    qDebug().noquote() << indent + QStringLiteral("  V2_DATA - ") + m_name + QStringLiteral(" parent ") + addressOf(m_parent);
    printEntries(indent, false, false);
}

void V2_Data::printEntries(const QString& indent, bool full, bool withPath) const
{
    for (auto it = m_datas->cbegin(); it != m_datas->cend(); ++it) {
        const V2_Data* child = nodeOf(it.value());
        if (full) {
            qDebug().noquote() << indent + QStringLiteral("    Key : ") + it.key();
            if (child) {
                child->print(indent + kChildIndent);
            } else {
                qDebug().noquote() << indent + QStringLiteral("    Value : ") + it.value()->toString();
            }
        } else if (child) {
            qDebug().noquote() << indent + it.key() + QStringLiteral(" [V2]");
            if (withPath)
                child->shortPrint(indent + kChildIndent);
            else
                child->shortShortPrint(indent + kChildIndent);
        } else {
            qDebug().noquote() << indent + it.key() + QStringLiteral(" = ") + it.value()->toString();
        }
    }
    qDebug().noquote() << indent + kClosingLine;
}
