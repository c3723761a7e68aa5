#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <QPainterPath>
#include <QPointF>
#include <QVector>

// One car's line in the lap chart: along its row while the position holds,
// stepping to the new row's level when it changes, with a small marker on
// pit laps. Its parent is the car's number label.
class LapChartItem final : public QGraphicsItem
{
public:
    // Lap number, position, pit flag (1 or 3: in the pit on that lap).
    struct LapRecord {
        int lap = 0;
        int position = 0;
        int pit = 0;
    };

    explicit LapChartItem(QGraphicsItem* parent = nullptr);
    ~LapChartItem() override;

    void setData(int startRow, const QVector<LapRecord>& laps);
    void setColor(const QColor& color);
    void setPenWidth(double width);
    void setShowPits(bool show);
    void setRowHeight(double height);
    void setLapWidth(double width);
    // The room the view keeps for the line, in the item's coordinates. A
    // new bounding rectangle repaints the whole line; while the line stays
    // inside this room, new data repaints only the part that changed.
    void setExtent(const QRectF& extent);
    // What the line and its markers cover, stroke included.
    QRectF drawnRect() const;

    QColor color() const;
    double penWidth() const;
    const QVector<QPointF>& points() const;
    const QPainterPath& markers() const;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    // Rebuilds the line; `changedOnly` repaints just what differs from the
    // line before, when the bounding rectangle stays.
    void rebuild(bool changedOnly = false);
    double margin() const;

    int m_startRow = 1;
    double m_rowHeight = 15.0;
    double m_lapWidth = 2.5;
    double m_penWidth = 1.0;
    QColor m_color = Qt::blue;
    bool m_showPits = true;
    QVector<LapRecord> m_laps;
    QVector<QPointF> m_points;
    QPainterPath m_markers;
    QVector<QRectF> m_markerRects;
    QRectF m_extent;
    QRectF m_drawn;
    QRectF m_bounds;
};
