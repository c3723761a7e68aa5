#include "NatsWire.h"

#include <QList>
#include <QRandomGenerator>

#include <algorithm>

namespace NatsWire {

QByteArray changeSubject(const QString& prefix, const QString& channel)
{
    return (prefix + QStringLiteral(".tree.ch.") + channel).toUtf8();
}

QByteArray restSubject(const QString& prefix)
{
    return (prefix + QStringLiteral(".tree.rest")).toUtf8();
}

QByteArray baseSubject(const QString& prefix)
{
    return (prefix + QStringLiteral(".tree.base")).toUtf8();
}

QByteArray treeSubjects(const QString& prefix)
{
    return (prefix + QStringLiteral(".tree.>")).toUtf8();
}

QByteArray snapshotSubject(const QString& prefix)
{
    return (prefix + QStringLiteral(".snapshot")).toUtf8();
}

QByteArray newBase()
{
    return QByteArray::number(QRandomGenerator::system()->generate64(), 16);
}

QByteArray encode(const Header& header, const QByteArray& body)
{
    QByteArray message;
    message.reserve(header.base.size() + body.size() + 24);
    message.append(header.base).append(' ').append(QByteArray::number(header.sequence)).append(header.live ? " 1\n" : " 0\n").append(body);
    return message;
}

QList<QByteArray> snapshotParts(const QByteArray& compressed, int partBytes, quint64 request)
{
    const int count = std::max(1, static_cast<int>((compressed.size() + partBytes - 1) / partBytes));
    QList<QByteArray> parts;
    for (int index = 0; index < count; ++index)
        parts << QByteArray::number(index) + ' ' + QByteArray::number(count) + ' ' + QByteArray::number(request) + '\n'
                + compressed.mid(index * partBytes, partBytes);
    return parts;
}

bool decodePart(const QByteArray& body, int* index, int* count, quint64* request, QByteArray* data)
{
    const int end = body.indexOf('\n');
    if (end < 0)
        return false;
    const QList<QByteArray> fields = body.left(end).split(' ');
    bool indexOk = false;
    bool countOk = false;
    bool requestOk = false;
    if (fields.size() != 3)
        return false;
    *index = fields.at(0).toInt(&indexOk);
    *count = fields.at(1).toInt(&countOk);
    *request = fields.at(2).toULongLong(&requestOk);
    if (!indexOk || !countOk || !requestOk || *count < 1 || *index < 0 || *index >= *count)
        return false;
    *data = body.mid(end + 1);
    return true;
}

bool decode(const QByteArray& message, Header* header, QByteArray* body)
{
    const int end = message.indexOf('\n');
    if (end < 0)
        return false;
    const QList<QByteArray> fields = message.left(end).split(' ');
    if (fields.size() != 3 || fields.at(0).isEmpty() || (fields.at(2) != "0" && fields.at(2) != "1"))
        return false;
    bool ok = false;
    header->sequence = fields.at(1).toULongLong(&ok);
    if (!ok)
        return false;
    header->base = fields.at(0);
    header->live = fields.at(2) == "1";
    *body = message.mid(end + 1);
    return true;
}

} // namespace NatsWire
