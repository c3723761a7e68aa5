#include "HumidityItem.h"

#include "V2DataProvider.h"

HumidityItem::HumidityItem(V2DataProvider* provider, QGraphicsItem* parent)
    : MeteoGraphItem(provider, QStringLiteral("HUMIDITY"), false, parent)
{
}

HumidityItem::~HumidityItem() = default;

float HumidityItem::read(const QString& key) const
{
    return provider()->getSampleHumidity(key);
}
