#include "LapChartItem.h"

#include <QGraphicsSimpleTextItem>
#include <QPainter>

LapChartItem::LapChartItem(QGraphicsItem* parent)
    : QGraphicsItem(parent)
{
}

LapChartItem::~LapChartItem() = default;

void LapChartItem::setData(int startRow, const QVector<LapRecord>& laps)
{
    m_startRow = startRow;
    m_laps = laps;
    rebuild();
}

void LapChartItem::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void LapChartItem::setPenWidth(double width)
{
    m_penWidth = width;
    rebuild();
}

void LapChartItem::setShowPits(bool show)
{
    m_showPits = show;
    rebuild();
}

void LapChartItem::setRowHeight(double height)
{
    m_rowHeight = height;
    rebuild();
}

void LapChartItem::setLapWidth(double width)
{
    m_lapWidth = width;
    rebuild();
}

QColor LapChartItem::color() const
{
    return m_color;
}

double LapChartItem::penWidth() const
{
    return m_penWidth;
}

const QVector<QPointF>& LapChartItem::points() const
{
    return m_points;
}

const QPainterPath& LapChartItem::markers() const
{
    return m_markers;
}

void LapChartItem::rebuild()
{
    m_points.clear();
    m_markers = QPainterPath();
    m_points.append(QPointF(0, 0));
    int previous = m_startRow;
    const int shift = !m_laps.isEmpty() && m_laps.first().lap == 0 ? 1 : 0;
    const auto y = [this](int position) { return (position - m_startRow) * m_rowHeight; };
    for (int i = 0; i < m_laps.size(); ++i) {
        const LapRecord& record = m_laps.at(i);
        const double lap = record.lap + shift;
        if (m_showPits && (record.pit == 1 || record.pit == 3))
            m_markers.addRoundedRect(QRectF(lap * m_lapWidth - 2, y(record.position) - 2, 4, 4), 1, 1);
        if (record.position == previous) {
            if (i == m_laps.size() - 1)
                m_points.append(QPointF(lap * m_lapWidth, y(record.position)));
            continue;
        }
        const double x0 = (lap - 1) * m_lapWidth;
        const QPointF from(x0, y(previous));
        if (!qFuzzyCompare(from.x() + 1.0, m_points.last().x() + 1.0) || !qFuzzyCompare(from.y() + 1.0, m_points.last().y() + 1.0))
            m_points.append(from);
        m_points.append(QPointF(x0 + m_lapWidth * 0.5, y(record.position)));
        m_points.append(QPointF(x0 + m_lapWidth, y(record.position)));
        previous = record.position;
    }
    prepareGeometryChange();
    QRectF extent = m_markers.boundingRect();
    for (const QPointF& point : qAsConst(m_points))
        extent |= QRectF(point, QSizeF(0.001, 0.001));
    // Half a pen on every side so that the stroke is inside.
    const double margin = qMax(m_penWidth, 2.0);
    m_bounds = extent.adjusted(-margin, -margin, margin, margin);
}

QRectF LapChartItem::boundingRect() const
{
    return m_bounds;
}

void LapChartItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing, true);
    const bool selected = parentItem() && parentItem()->isSelected();
    const QColor color = selected ? QColor(Qt::white) : m_color;
    painter->setPen(QPen(color, selected ? 2.0 : m_penWidth, Qt::SolidLine));
    painter->setBrush(color);
    painter->drawPath(m_markers);
    painter->setBrush(Qt::NoBrush);
    painter->drawPolyline(m_points.constData(), m_points.size());
}
