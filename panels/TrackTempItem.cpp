#include "TrackTempItem.h"

#include "ImperialUnits.h"
#include "V2DataProvider.h"

TrackTempItem::TrackTempItem(V2DataProvider* provider, QGraphicsItem* parent)
    : MeteoGraphItem(provider, QStringLiteral("TRACK TEMP"), true, parent)
{
}

TrackTempItem::~TrackTempItem() = default;

float TrackTempItem::read(const QString& key) const
{
    return provider()->getSampleTrackTemperature(key);
}

float TrackTempItem::imperial(float value) const
{
    return ImperialUnits::fahrenheit(value);
}
