#include "AirTempItem.h"

#include "ImperialUnits.h"
#include "V2DataProvider.h"

AirTempItem::AirTempItem(V2DataProvider* provider, QGraphicsItem* parent)
    : MeteoGraphItem(provider, QStringLiteral("AIR TEMP"), true, parent)
{
}

AirTempItem::~AirTempItem() = default;

float AirTempItem::read(const QString& key) const
{
    return provider()->getSampleAmbientTemperature(key);
}

float AirTempItem::imperial(float value) const
{
    return ImperialUnits::fahrenheit(value);
}
