#include "V2_Publication.h"

V2_Publication::V2_Publication(const V2_Data* tree)
    : m_tree(tree ? V2_Data(tree) : V2_Data(QStringLiteral("ROOT")))
{
}

const V2_Data& V2_Publication::tree() const
{
    return m_tree;
}

QByteArray V2_Publication::bodyFor(const QString& audience, const std::function<QByteArray(const V2_Data&)>& make) const
{
    std::shared_ptr<Body> body;
    {
        QMutexLocker locker(&m_lock);
        std::shared_ptr<Body>& slot = m_bodies[audience];
        if (!slot)
            slot = std::make_shared<Body>();
        body = slot;
    }
    // Only this audience waits while its body is made.
    QMutexLocker locker(&body->lock);
    if (!body->made) {
        body->bytes = make(m_tree);
        body->made = true;
    }
    return body->bytes;
}
