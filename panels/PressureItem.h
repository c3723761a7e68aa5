#pragma once

#include "MeteoGraphItem.h"

// The air pressure of the last two hours, scaled between its lowest and highest value.
class PressureItem final : public MeteoGraphItem
{
    Q_OBJECT
    Q_DISABLE_COPY(PressureItem)

public:
    explicit PressureItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~PressureItem() override;

protected:
    float read(const QString& key) const override;
    float imperial(float value) const override;
};
