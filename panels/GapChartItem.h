#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <QList>
#include <QString>
#include <QVector>

// One car's line in the gap chart: its gap to the reference car at the end
// of each lap, a mark on its pit-entry laps and its number after its last
// point. It keeps the gaps, not drawn points: a new lap sets one entry, a
// new scale changes no entry, and painting walks only the laps in view, so
// that neither costs more late in a long race. Scene coordinates: lap N at
// x = N × lap width, a gap of s seconds at y = s × second height (the
// reference on 0, cars behind it below).
class GapChartItem final : public QGraphicsItem
{
public:
    // No race runs this many laps: a larger lap number (a garbage key) is ignored.
    static constexpr int MaxLap = 10000;

    explicit GapChartItem(const QString& pNum, QGraphicsItem* parent = nullptr);
    ~GapChartItem() override;

    void setScale(double lapWidth, double secondHeight);
    void setColor(const QColor& color, double penWidth);
    // The gap at the end of `lap` in milliseconds. A lapped gap (a lap or
    // more) comes clipped to the lap and is drawn dotted.
    void setGap(int lap, qint64 gapMs, bool lapped);
    void clearGap(int lap);
    void setPitLaps(const QList<int>& laps);
    void setPitLap(int lap, bool pit);

    QString pNum() const;
    QColor color() const;
    double penWidth() const;
    bool hasPoint(int lap) const;
    bool isLapped(int lap) const;
    bool isPitLap(int lap) const;
    // Where lap's point is drawn (item and scene coordinates alike).
    QPointF pointAt(int lap) const;
    // The pit mark of a pit lap with a point; empty otherwise.
    QRectF pitMark(int lap) const;
    // The extent of the gaps drawn, in milliseconds; 0 and 0 without any.
    qint64 minGap() const;
    qint64 maxGap() const;
    int lastLap() const; // -1 without any
    // Counts the changes of what is drawn: a lap's update must change one item.
    int revision() const;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    struct Point
    {
        qint64 gap = 0;
        bool present = false;
        bool lapped = false;
        bool pit = false;
    };

    Point* pointFor(int lap);
    void updateBounds();

    QString m_pNum;
    double m_lapWidth = 12.0;
    double m_secondHeight = 4.0;
    double m_penWidth = 1.5;
    QColor m_color = Qt::blue;
    // Indexed by lap number.
    QVector<Point> m_points;
    qint64 m_minGap = 0;
    qint64 m_maxGap = 0;
    int m_firstLap = -1;
    int m_lastLap = -1;
    int m_revision = 0;
    QRectF m_bounds;
};
