#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The relay's messages over NATS. Every message is a header line
// "BASE SEQUENCE LIVE\n" and a body:
// - PREFIX.tree.ch.CHANNEL: what one upstream line changed in CHANNEL (wire
//   JSON, null for a deletion), SEQUENCE counting every change message of
//   the base across all channels;
// - PREFIX.tree.rest: the part of a change outside every channel;
// - PREFIX.tree.base: no body, the base and the last SEQUENCE sent, once a
//   second and whenever the base or LIVE changes;
// - replies to PREFIX.snapshot requests (whose body is the asker's request
//   number): the whole tree (wire JSON, zlib), standing at SEQUENCE, in one
//   or more parts whose body starts with "INDEX COUNT REQUEST\n" (a long
//   race's tree exceeds NATS' max_payload even compressed; REQUEST lets the
//   asker tell the answer to its latest request from a late one).
// All tree subjects share one subscription, so an edge sees them in the
// order the origin sent them. LIVE is 0 while the origin has lost its
// upstream.
namespace NatsWire {

struct Header
{
    QByteArray base;
    quint64 sequence = 0;
    bool live = true;
};

QByteArray changeSubject(const QString& prefix, const QString& channel);
QByteArray restSubject(const QString& prefix);
QByteArray baseSubject(const QString& prefix);
// Every subject above.
QByteArray treeSubjects(const QString& prefix);
QByteArray snapshotSubject(const QString& prefix);

// A new base id: random, so that a restarted origin never repeats one.
QByteArray newBase();

QByteArray encode(const Header& header, const QByteArray& body);
// The compressed tree cut into parts of at most partBytes, for request.
QList<QByteArray> snapshotParts(const QByteArray& compressed, int partBytes, quint64 request);
// One part's place, request and data; false for a malformed one.
bool decodePart(const QByteArray& body, int* index, int* count, quint64* request, QByteArray* data);
// False for a message that is none of the relay's.
bool decode(const QByteArray& message, Header* header, QByteArray* body);

} // namespace NatsWire
