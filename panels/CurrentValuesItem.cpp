#include "CurrentValuesItem.h"

#include "ImperialUnits.h"
#include "V2DataProvider.h"

#include <QPainter>
#include <QStyleOptionGraphicsItem>

namespace {

struct Row {
    const char* title;
    QColor color;
};
const Row kRows[5] = {
    {"TRACK TEMP", Qt::yellow}, {"AIR TEMP", Qt::magenta}, {"WIND SPEED", Qt::green}, {"HUMIDITY", Qt::lightGray}, {"PRESSURE", Qt::darkYellow},
};

} // namespace

CurrentValuesItem::CurrentValuesItem(V2DataProvider* provider, QGraphicsItem* parent)
    : QGraphicsObject(parent)
    , m_provider(provider)
{
    connect(provider, &V2DataProvider::weather, this, &CurrentValuesItem::refresh);
    refresh();
}

CurrentValuesItem::~CurrentValuesItem() = default;

void CurrentValuesItem::refresh()
{
    m_values[0] = m_provider->getCurrentTrackTemperature();
    m_values[1] = m_provider->getCurrentAmbientTemperature();
    m_values[2] = m_provider->getCurrentWindSpeed();
    m_values[3] = m_provider->getCurrentHumidity();
    m_values[4] = m_provider->getCurrentPressure();
    repaint();
}

void CurrentValuesItem::repaint()
{
    update();
}

void CurrentValuesItem::setUsaUnits(bool checked)
{
    m_usaUnits = checked;
    repaint();
}

QStringList CurrentValuesItem::texts() const
{
    const auto one = [](float value) { return QString::number(double(value), 'f', 1); };
    const bool us = m_usaUnits;
    return {
        one(us ? ImperialUnits::fahrenheit(m_values[0]) : m_values[0]) + (us ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C")),
        one(us ? ImperialUnits::fahrenheit(m_values[1]) : m_values[1]) + (us ? QStringLiteral("\u00B0F") : QStringLiteral("\u00B0C")),
        QStringLiteral("%1 ").arg(one(us ? ImperialUnits::milesPerHour(m_values[2]) : m_values[2])) + (us ? QStringLiteral("Mph") : QStringLiteral("Kph")),
        QStringLiteral("%1%").arg(int(m_values[3])),
        QStringLiteral("%1 ").arg(one(us ? ImperialUnits::inchesOfMercury(m_values[4]) : m_values[4])) + (us ? QStringLiteral("In") : QStringLiteral("mBar")),
    };
}

QRectF CurrentValuesItem::boundingRect() const
{
    return QRectF(0, 0, 150, 66);
}

void CurrentValuesItem::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    const QStringList values = texts();
    for (int i = 0; i < 5; ++i) {
        painter->setPen(kRows[i].color);
        painter->drawText(QPointF(4, 12 * (i + 1)), QLatin1String(kRows[i].title));
        painter->drawText(QPointF(80, 12 * (i + 1)), values.at(i));
    }
    if (option->state & QStyle::State_Selected) {
        painter->setPen(Qt::blue);
        painter->drawRect(boundingRect());
    }
}
