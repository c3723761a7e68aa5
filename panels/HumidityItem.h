#pragma once

#include "MeteoGraphItem.h"

// The humidity of the last two hours (per cent in any units).
class HumidityItem final : public MeteoGraphItem
{
    Q_OBJECT
    Q_DISABLE_COPY(HumidityItem)

public:
    explicit HumidityItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~HumidityItem() override;

protected:
    float read(const QString& key) const override;
};
