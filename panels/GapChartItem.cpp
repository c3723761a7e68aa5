#include "GapChartItem.h"

#include "ToolWindow.h"

#include <QFont>
#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPitMark = 6.0;
// Room for the car number after the last point.
constexpr double kLabelRoom = 80.0;
constexpr double kMargin = 4.0;

QFont numberFont()
{
    QFont font(QStringLiteral("Segoe UI"));
    font.setPointSizeF(8 * ToolWindow::textScale());
    font.setBold(true);
    return font;
}

} // namespace

GapChartItem::GapChartItem(const QString& pNum, QGraphicsItem* parent)
    : QGraphicsItem(parent)
    , m_pNum(pNum)
{
    // The exposed rectangle tells paint which laps are in view.
    setFlag(QGraphicsItem::ItemUsesExtendedStyleOption, true);
}

GapChartItem::~GapChartItem() = default;

void GapChartItem::setScale(double lapWidth, double secondHeight)
{
    m_lapWidth = lapWidth;
    m_secondHeight = secondHeight;
    updateBounds();
}

void GapChartItem::setColor(const QColor& color, double penWidth)
{
    m_color = color;
    m_penWidth = penWidth;
    update();
}

GapChartItem::Point* GapChartItem::pointFor(int lap)
{
    if (lap < 0 || lap > MaxLap)
        return nullptr;
    if (lap >= m_points.size())
        m_points.resize(lap + 1);
    return &m_points[lap];
}

void GapChartItem::setGap(int lap, qint64 gapMs, bool lapped)
{
    Point* point = pointFor(lap);
    if (!point || (point->present && point->gap == gapMs && point->lapped == lapped))
        return;
    const bool first = m_firstLap < 0;
    point->gap = gapMs;
    point->lapped = lapped;
    point->present = true;
    m_minGap = first ? gapMs : std::min(m_minGap, gapMs);
    m_maxGap = first ? gapMs : std::max(m_maxGap, gapMs);
    m_firstLap = first ? lap : std::min(m_firstLap, lap);
    m_lastLap = std::max(m_lastLap, lap);
    // The extent only grows: a gap replaced by a smaller one leaves the
    // bounds a little large, which costs nothing, where shrinking would mean
    // walking every lap.
    updateBounds();
}

void GapChartItem::clearGap(int lap)
{
    if (lap < 0 || lap >= m_points.size() || !m_points.at(lap).present)
        return;
    m_points[lap].present = false;
    while (m_lastLap >= 0 && !m_points.at(m_lastLap).present)
        --m_lastLap;
    if (m_lastLap < 0)
        m_firstLap = -1;
    updateBounds();
}

void GapChartItem::setPitLaps(const QList<int>& laps)
{
    for (Point& point : m_points)
        point.pit = false;
    for (int lap : laps) {
        if (Point* point = pointFor(lap))
            point->pit = true;
    }
    ++m_revision;
    update();
}

void GapChartItem::setPitLap(int lap, bool pit)
{
    if (Point* point = pointFor(lap)) {
        if (point->pit != pit) {
            point->pit = pit;
            ++m_revision;
            update(pitMark(lap).adjusted(-1, -1, 1, 1));
        }
    }
}

QString GapChartItem::pNum() const
{
    return m_pNum;
}

QColor GapChartItem::color() const
{
    return m_color;
}

double GapChartItem::penWidth() const
{
    return m_penWidth;
}

bool GapChartItem::hasPoint(int lap) const
{
    return lap >= 0 && lap < m_points.size() && m_points.at(lap).present;
}

bool GapChartItem::isLapped(int lap) const
{
    return hasPoint(lap) && m_points.at(lap).lapped;
}

bool GapChartItem::isPitLap(int lap) const
{
    return lap >= 0 && lap < m_points.size() && m_points.at(lap).pit;
}

QPointF GapChartItem::pointAt(int lap) const
{
    const qint64 gap = hasPoint(lap) ? m_points.at(lap).gap : 0;
    return QPointF(lap * m_lapWidth, gap / 1000.0 * m_secondHeight);
}

QRectF GapChartItem::pitMark(int lap) const
{
    if (!hasPoint(lap) || !m_points.at(lap).pit)
        return QRectF();
    const QPointF at = pointAt(lap);
    return QRectF(at.x() - kPitMark / 2, at.y() - kPitMark / 2, kPitMark, kPitMark);
}

qint64 GapChartItem::minGap() const
{
    return m_minGap;
}

qint64 GapChartItem::maxGap() const
{
    return m_maxGap;
}

int GapChartItem::lastLap() const
{
    return m_lastLap;
}

int GapChartItem::revision() const
{
    return m_revision;
}

void GapChartItem::updateBounds()
{
    ++m_revision;
    prepareGeometryChange();
    if (m_lastLap < 0) {
        m_bounds = QRectF();
        return;
    }
    const QRectF drawn(QPointF(m_firstLap * m_lapWidth, m_minGap / 1000.0 * m_secondHeight),
                       QPointF(m_lastLap * m_lapWidth, m_maxGap / 1000.0 * m_secondHeight));
    const double margin = std::max(kPitMark, m_penWidth) / 2 + kMargin;
    m_bounds = drawn.adjusted(-margin, -margin - 8, margin + kLabelRoom, margin + 8);
}

QRectF GapChartItem::boundingRect() const
{
    return m_bounds;
}

void GapChartItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    if (m_lastLap < 0)
        return;
    // Only the laps in view (and one either side, for the segments crossing its edges).
    const QRectF exposed = option->exposedRect.isValid() ? option->exposedRect : m_bounds;
    const int from = std::max(m_firstLap, int(std::floor(exposed.left() / m_lapWidth)) - 1);
    const int to = std::min(m_lastLap, int(std::ceil(exposed.right() / m_lapWidth)) + 1);
    painter->setRenderHint(QPainter::Antialiasing, true);
    const QPen solid(m_color, m_penWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    QPen dotted(solid);
    dotted.setStyle(Qt::DotLine);
    QVector<QPointF> run;
    const auto flush = [&] {
        if (run.size() > 1) {
            painter->setPen(solid);
            painter->drawPolyline(run.constData(), run.size());
        }
        run.clear();
    };
    for (int lap = from; lap <= to; ++lap) {
        if (!hasPoint(lap)) {
            flush();
            continue;
        }
        const bool lapped = m_points.at(lap).lapped || (hasPoint(lap - 1) && m_points.at(lap - 1).lapped);
        if (lapped && hasPoint(lap - 1)) {
            // A segment touching a clipped gap: dotted, on its own (the run
            // so far ends at the previous lap's point).
            flush();
            painter->setPen(dotted);
            painter->drawLine(pointAt(lap - 1), pointAt(lap));
            run.append(pointAt(lap));
            continue;
        }
        run.append(pointAt(lap));
    }
    flush();
    painter->setPen(QPen(m_color, 1.0));
    painter->setBrush(m_color);
    for (int lap = from; lap <= to; ++lap) {
        if (isPitLap(lap) && hasPoint(lap))
            painter->drawRoundedRect(pitMark(lap), 1, 1);
    }
    painter->setBrush(Qt::NoBrush);
    if (m_lastLap >= from && m_lastLap <= to) {
        painter->setFont(numberFont());
        const QPointF end = pointAt(m_lastLap);
        // A clipped line says so where the eye ends up: its gap is not what the axis reads.
        const QString label = m_points.at(m_lastLap).lapped ? QStringLiteral("%1 lapped").arg(m_pNum.right(3)) : m_pNum.right(3);
        painter->drawText(QPointF(end.x() + 5, end.y() + 4), label);
    }
}
