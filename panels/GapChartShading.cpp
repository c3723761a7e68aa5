#include "GapChartShading.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

GapChartShading::GapChartShading()
{
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
    // Under the lines.
    setZValue(-1.0);
}

GapChartShading::~GapChartShading() = default;

void GapChartShading::setLapWidth(double width)
{
    m_lapWidth = width;
    updateBounds();
}

void GapChartShading::setExtent(double top, double bottom)
{
    if (top == m_top && bottom == m_bottom)
        return;
    m_top = top;
    m_bottom = bottom;
    updateBounds();
}

void GapChartShading::setDark(bool dark)
{
    m_dark = dark;
    update();
}

bool GapChartShading::setKind(int lap, Kind kind)
{
    if (lap < 0 || (lap >= m_kinds.size() && kind == None))
        return false;
    if (lap >= m_kinds.size())
        m_kinds.resize(lap + 1);
    if (m_kinds.at(lap) == kind)
        return false;
    m_kinds[lap] = kind;
    if (kind != None && lap > m_lastShaded) {
        m_lastShaded = lap;
        updateBounds();
    }
    update(QRectF((lap - 1) * m_lapWidth, m_top, m_lapWidth, m_bottom - m_top));
    return true;
}

void GapChartShading::clear()
{
    m_kinds.clear();
    m_lastShaded = -1;
    updateBounds();
}

GapChartShading::Kind GapChartShading::kind(int lap) const
{
    return lap >= 0 && lap < m_kinds.size() ? m_kinds.at(lap) : None;
}

QRectF GapChartShading::band(int lap) const
{
    if (kind(lap) == None)
        return QRectF();
    return QRectF((lap - 1) * m_lapWidth, m_top, m_lapWidth, m_bottom - m_top);
}

QColor GapChartShading::color(Kind kind) const
{
    if (kind == SafetyCar)
        return m_dark ? QColor(255, 255, 255, 46) : QColor(0, 0, 0, 34);
    if (kind == FullCourseYellow)
        return m_dark ? QColor(255, 214, 0, 56) : QColor(240, 190, 0, 90);
    return QColor();
}

void GapChartShading::updateBounds()
{
    prepareGeometryChange();
    m_bounds = m_lastShaded < 0 ? QRectF() : QRectF(QPointF(-m_lapWidth, m_top), QPointF(m_lastShaded * m_lapWidth, m_bottom));
}

QRectF GapChartShading::boundingRect() const
{
    return m_bounds;
}

void GapChartShading::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    const QRectF exposed = option->exposedRect.isValid() ? option->exposedRect : m_bounds;
    const int from = std::max(0, int(std::floor(exposed.left() / m_lapWidth)));
    const int to = std::min(m_lastShaded, int(std::ceil(exposed.right() / m_lapWidth)) + 1);
    painter->setPen(Qt::NoPen);
    // Runs of one kind as one rectangle: no seams between neighbouring laps.
    int lap = from;
    while (lap <= to) {
        const Kind k = kind(lap);
        int end = lap;
        while (end + 1 <= to && kind(end + 1) == k)
            ++end;
        if (k != None) {
            painter->setBrush(color(k));
            painter->drawRect(QRectF(QPointF((lap - 1) * m_lapWidth, m_top), QPointF(end * m_lapWidth, m_bottom)));
        }
        lap = end + 1;
    }
}
