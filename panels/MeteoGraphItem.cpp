#include "MeteoGraphItem.h"

#include "V2DataProvider.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

#include <algorithm>

namespace {

constexpr double kWidth = 150.0;
constexpr double kHeight = 85.0;
// Two hours of one sample a minute fill the width.
constexpr int kWindowSamples = 120;

} // namespace

MeteoGraphItem::MeteoGraphItem(V2DataProvider* provider, const QString& title, bool fromMinimum, QGraphicsItem* parent)
    : QGraphicsObject(parent)
    , m_provider(provider)
    , m_title(title)
    , m_fromMinimum(fromMinimum)
{
    connect(provider, &V2DataProvider::weather, this, &MeteoGraphItem::refresh);
    connect(provider, &V2DataProvider::cleanAll, this, &MeteoGraphItem::cleanAll);
}

MeteoGraphItem::~MeteoGraphItem() = default;

V2DataProvider* MeteoGraphItem::provider() const
{
    return m_provider;
}

float MeteoGraphItem::imperial(float value) const
{
    return value;
}

const QVector<float>& MeteoGraphItem::values() const
{
    return m_values;
}

QString MeteoGraphItem::title() const
{
    return m_title;
}

void MeteoGraphItem::refresh()
{
    m_values.clear();
    for (const QString& key : m_provider->getWeatherSampleKeys()) {
        const float value = read(key);
        m_values.append(m_usaUnits ? imperial(value) : value);
    }
    repaint();
}

void MeteoGraphItem::repaint()
{
    update();
}

void MeteoGraphItem::setUsaUnits(bool checked)
{
    m_usaUnits = checked;
    refresh();
}

void MeteoGraphItem::cleanAll()
{
    // What the tree holds now: a login reads the weather channel before the
    // session's, whose new session would otherwise blank the graphs until
    // the next weather line.
    refresh();
}

QPair<float, float> MeteoGraphItem::scaleRange() const
{
    if (m_values.isEmpty())
        return {0.0f, 0.0f};
    const auto range = std::minmax_element(m_values.cbegin(), m_values.cend());
    // A steady value still draws, across the middle.
    if (m_fromMinimum && *range.first == *range.second)
        return {*range.first - 1.0f, *range.second + 1.0f};
    return {m_fromMinimum ? *range.first : 0.0f, *range.second};
}

QRectF MeteoGraphItem::boundingRect() const
{
    return QRectF(0, 0, kWidth + 45, kHeight + 25);
}

void MeteoGraphItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing, true);
    if (option->state & QStyle::State_Selected) {
        painter->setPen(Qt::blue);
        painter->drawRect(boundingRect());
    }
    const QPair<float, float> range = scaleRange();
    const double span = double(range.second) - double(range.first);
    painter->save();
    painter->translate(40, kHeight + 10);
    // Nothing to scale by (no sample, or all at the bottom): axes only.
    if (span > 0 && m_values.size() > 1) {
        const double scale = kHeight / span;
        const double step = kWidth / kWindowSamples;
        QVector<QPointF> points;
        points.reserve(m_values.size());
        for (int i = 0; i < m_values.size(); ++i)
            points.append(QPointF(i * step, -(double(m_values.at(i)) - range.first) * scale));
        painter->setPen(QPen(Qt::yellow, 1.1));
        painter->drawPolyline(points.constData(), points.size());
    }
    painter->setPen(QPen(Qt::white, 1.1));
    painter->rotate(-90);
    painter->drawText(QRectF(0, -40, kHeight, 12), Qt::AlignCenter, m_title);
    painter->rotate(90);
    painter->drawLine(QPointF(0, 0), QPointF(0, -kHeight));
    painter->drawLine(QPointF(0, 0), QPointF(kWidth, 0));
    const QString top = span > 0 ? QString::number(double(range.second), 'f', 1) : QStringLiteral("0");
    const QString bottom = m_fromMinimum && span > 0 ? QString::number(double(range.first), 'f', 1) : QStringLiteral("0");
    painter->drawText(QRectF(-37, -kHeight - 6, 35, 12), Qt::AlignRight | Qt::AlignVCenter, top);
    painter->drawText(QRectF(-37, -6, 35, 12), Qt::AlignRight | Qt::AlignVCenter, bottom);
    painter->drawText(QRectF(0, 2, kWidth, 12), Qt::AlignCenter, QStringLiteral("Period 2 hours"));
    painter->restore();
}
