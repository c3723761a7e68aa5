#pragma once

#include <QColor>
#include <QGraphicsItem>
#include <QVector>

// The neutralised laps of the gap chart: a band over the whole height of
// the chart for each lap run under a safety car or a full-course yellow.
// Lap N's band spans from the end of lap N − 1 to the end of lap N
// (x from (N − 1) × lap width to N × lap width). Paints only the laps in view.
class GapChartShading final : public QGraphicsItem
{
public:
    enum Kind : quint8 {
        None = 0,
        FullCourseYellow = 1,
        SafetyCar = 2,
    };

    GapChartShading();
    ~GapChartShading() override;

    void setLapWidth(double width);
    // The chart's vertical extent in scene coordinates.
    void setExtent(double top, double bottom);
    void setDark(bool dark);
    // Returns whether the lap's kind changed.
    bool setKind(int lap, Kind kind);
    void clear();
    Kind kind(int lap) const;
    // The band of a neutralised lap; empty for another lap.
    QRectF band(int lap) const;
    QColor color(Kind kind) const;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    void updateBounds();

    QVector<Kind> m_kinds; // by lap number
    double m_lapWidth = 12.0;
    double m_top = 0.0;
    double m_bottom = 0.0;
    bool m_dark = true;
    int m_lastShaded = -1;
    QRectF m_bounds;
};
