#include "WindSpeedItem.h"

#include "ImperialUnits.h"
#include "V2DataProvider.h"

WindSpeedItem::WindSpeedItem(V2DataProvider* provider, QGraphicsItem* parent)
    : MeteoGraphItem(provider, QStringLiteral("WIND SPEED"), false, parent)
{
}

WindSpeedItem::~WindSpeedItem() = default;

float WindSpeedItem::read(const QString& key) const
{
    return provider()->getSampleWindSpeed(key);
}

float WindSpeedItem::imperial(float value) const
{
    return ImperialUnits::milesPerHour(value);
}
