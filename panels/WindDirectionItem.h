#pragma once

#include <QGraphicsObject>
#include <QPixmap>

class V2DataProvider;

// A compass with an arrow showing where the wind goes.
class WindDirectionItem final : public QGraphicsObject
{
    Q_OBJECT
    Q_DISABLE_COPY(WindDirectionItem)

public:
    explicit WindDirectionItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~WindDirectionItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;
    // The arrow's rotation: the wind's direction (where it comes from) + 180 degrees.
    int arrowRotation() const;

public slots:
    void repaint();

private:
    V2DataProvider* m_provider;
    QPixmap m_arrow;
};
