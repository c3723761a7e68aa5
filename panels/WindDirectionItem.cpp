#include "WindDirectionItem.h"

#include "V2DataProvider.h"

#include <QIcon>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

namespace {

const QPointF kCentre(39.5, 29.5);

} // namespace

WindDirectionItem::WindDirectionItem(V2DataProvider* provider, QGraphicsItem* parent)
    : QGraphicsObject(parent)
    , m_provider(provider)
    , m_arrow(QIcon(QStringLiteral(":/icons/windArrow")).pixmap(30, 30))
{
    connect(provider, &V2DataProvider::weather, this, &WindDirectionItem::repaint);
}

WindDirectionItem::~WindDirectionItem() = default;

void WindDirectionItem::repaint()
{
    update();
}

int WindDirectionItem::arrowRotation() const
{
    return m_provider->getCurrentWindDirection() + 180;
}

QRectF WindDirectionItem::boundingRect() const
{
    return QRectF(0, 0, 80, 60);
}

void WindDirectionItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    painter->setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter->setPen(Qt::green);
    const struct {
        const char* letter;
        QPointF at;
    } letters[] = {{"N", {33, 0}}, {"W", {10, 22}}, {"E", {54, 22}}, {"S", {32, 43}}};
    for (const auto& letter : letters)
        painter->drawText(QRectF(letter.at, QSizeF(15, 15)), Qt::AlignCenter, QLatin1String(letter.letter));
    painter->save();
    painter->translate(kCentre);
    painter->rotate(arrowRotation());
    painter->drawPixmap(QRectF(-15, -15, 30, 30), m_arrow, m_arrow.rect());
    painter->restore();
    if (option->state & QStyle::State_Selected) {
        painter->setPen(Qt::blue);
        painter->drawRect(boundingRect());
    }
}
