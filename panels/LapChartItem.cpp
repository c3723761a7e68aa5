#include "LapChartItem.h"

#include <QGraphicsSimpleTextItem>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <utility>

LapChartItem::LapChartItem(QGraphicsItem* parent)
    : QGraphicsItem(parent)
{
    // The part being painted reaches paint() as the option's exposed rectangle.
    setFlag(ItemUsesExtendedStyleOption, true);
}

LapChartItem::~LapChartItem() = default;

void LapChartItem::setData(int startRow, const QVector<LapRecord>& laps)
{
    const bool sameRow = startRow == m_startRow;
    m_startRow = startRow;
    m_laps = laps;
    rebuild(sameRow);
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

void LapChartItem::setExtent(const QRectF& extent)
{
    m_extent = extent;
    rebuild();
}

QRectF LapChartItem::drawnRect() const
{
    return m_drawn;
}

double LapChartItem::margin() const
{
    // Half a pen on every side, a selected line's included, and the
    // antialiased edge.
    return qMax(m_penWidth, 2.0) + 1.0;
}

namespace {

// The bounds of the points from `from` on; empty when there are none.
QRectF pointsFrom(const QVector<QPointF>& points, int from)
{
    QRectF rect;
    for (int i = qMax(from, 0); i < points.size(); ++i)
        rect |= QRectF(points.at(i), QSizeF(0.001, 0.001));
    return rect;
}

template <typename T>
int sharedPrefix(const QVector<T>& a, const QVector<T>& b)
{
    int i = 0;
    while (i < a.size() && i < b.size() && a.at(i) == b.at(i))
        ++i;
    return i;
}

} // namespace

void LapChartItem::rebuild(bool changedOnly)
{
    const QVector<QPointF> oldPoints = std::exchange(m_points, {});
    const QVector<QRectF> oldMarkers = std::exchange(m_markerRects, {});
    m_markers = QPainterPath();
    m_points.append(QPointF(0, 0));
    int previous = m_startRow;
    const int shift = !m_laps.isEmpty() && m_laps.first().lap == 0 ? 1 : 0;
    const auto y = [this](int position) { return (position - m_startRow) * m_rowHeight; };
    for (int i = 0; i < m_laps.size(); ++i) {
        const LapRecord& record = m_laps.at(i);
        const double lap = record.lap + shift;
        if (m_showPits && (record.pit == 1 || record.pit == 3)) {
            m_markerRects.append(QRectF(lap * m_lapWidth - 2, y(record.position) - 2, 4, 4));
            m_markers.addRoundedRect(m_markerRects.last(), 1, 1);
        }
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
    const QRectF drawn = m_markers.boundingRect() | pointsFrom(m_points, 0);
    const double m = margin();
    m_drawn = drawn.adjusted(-m, -m, m, m);
    const QRectF bounds = (drawn | m_extent).adjusted(-m, -m, m, m);
    if (!changedOnly || bounds != m_bounds) {
        prepareGeometryChange();
        m_bounds = bounds;
        return;
    }
    // The same room: the line from the last point the two lines share, and
    // the markers after the last they share, before and after.
    const int shared = sharedPrefix(oldPoints, m_points);
    const int markers = sharedPrefix(oldMarkers, m_markerRects);
    QRectF changed;
    if (shared < oldPoints.size() || shared < m_points.size())
        changed = pointsFrom(oldPoints, shared - 1) | pointsFrom(m_points, shared - 1);
    for (int i = markers; i < oldMarkers.size(); ++i)
        changed |= oldMarkers.at(i);
    for (int i = markers; i < m_markerRects.size(); ++i)
        changed |= m_markerRects.at(i);
    if (!changed.isNull())
        update(changed.adjusted(-m, -m, m, m));
}

QRectF LapChartItem::boundingRect() const
{
    return m_bounds;
}

void LapChartItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing, true);
    const bool selected = parentItem() && parentItem()->isSelected();
    const QColor color = selected ? QColor(Qt::white) : m_color;
    painter->setPen(QPen(color, selected ? 2.0 : m_penWidth, Qt::SolidLine));
    painter->setBrush(color);
    // Only what reaches the part being painted: a new lap repaints a few
    // pixels of a line that crosses the whole chart.
    const double m = margin();
    const QRectF exposed = option ? option->exposedRect : QRectF();
    const QRectF area = exposed.isEmpty() ? m_bounds : exposed.adjusted(-m, -m, m, m);
    if (area.contains(m_drawn)) {
        painter->drawPath(m_markers);
    } else {
        QPainterPath markers;
        for (const QRectF& marker : qAsConst(m_markerRects)) {
            if (marker.intersects(area))
                markers.addRoundedRect(marker, 1, 1);
        }
        painter->drawPath(markers);
    }
    // The segments that reach the area, with one more on either side so that
    // the ends and joins inside it are stroked as in the whole line.
    int first = -1;
    int last = -1;
    for (int i = 0; i + 1 < m_points.size(); ++i) {
        const QPointF& a = m_points.at(i);
        const QPointF& b = m_points.at(i + 1);
        const QRectF segment = QRectF(a, b).normalized().adjusted(-0.001, -0.001, 0.001, 0.001);
        if (segment.intersects(area)) {
            if (first < 0)
                first = i;
            last = i + 1;
        }
    }
    painter->setBrush(Qt::NoBrush);
    if (first >= 0) {
        first = qMax(first - 1, 0);
        last = qMin(last + 1, int(m_points.size()) - 1);
        painter->drawPolyline(m_points.constData() + first, last - first + 1);
    }
}
