#pragma once

#include "MeteoGraphItem.h"

// The air temperature of the last two hours.
class AirTempItem final : public MeteoGraphItem
{
    Q_OBJECT
    Q_DISABLE_COPY(AirTempItem)

public:
    explicit AirTempItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~AirTempItem() override;

protected:
    float read(const QString& key) const override;
    float imperial(float value) const override;
};
