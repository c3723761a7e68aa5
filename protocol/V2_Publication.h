#pragma once

#include "V2_Data.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

// One tree published by the server, shared by every connection it is
// queued on. Connections of the same audience (the same profile and joined
// channels) receive the same bytes: the first of them to get there filters
// and serialises the tree, the others wait for it and share the result.
class V2_Publication final
{
public:
    explicit V2_Publication(const V2_Data* tree);
    V2_Publication(const V2_Publication&) = delete;
    V2_Publication& operator=(const V2_Publication&) = delete;

    // Read-only from here on; every connection's thread reads it.
    const V2_Data& tree() const;
    // The line body for an audience, made by make(tree()) once.
    QByteArray bodyFor(const QString& audience, const std::function<QByteArray(const V2_Data&)>& make) const;

private:
    struct Body
    {
        QMutex lock;
        bool made = false;
        QByteArray bytes;
    };

    const V2_Data m_tree;
    mutable QMutex m_lock;
    mutable QHash<QString, std::shared_ptr<Body>> m_bodies;
};
