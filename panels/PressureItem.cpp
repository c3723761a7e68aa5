#include "PressureItem.h"

#include "ImperialUnits.h"
#include "V2DataProvider.h"

PressureItem::PressureItem(V2DataProvider* provider, QGraphicsItem* parent)
    : MeteoGraphItem(provider, QStringLiteral("PRESSURE"), true, parent)
{
}

PressureItem::~PressureItem() = default;

float PressureItem::read(const QString& key) const
{
    return provider()->getSamplePressure(key);
}

float PressureItem::imperial(float value) const
{
    return ImperialUnits::inchesOfMercury(value);
}
