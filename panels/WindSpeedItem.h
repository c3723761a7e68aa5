#pragma once

#include "MeteoGraphItem.h"

// The wind speed of the last two hours.
class WindSpeedItem final : public MeteoGraphItem
{
    Q_OBJECT
    Q_DISABLE_COPY(WindSpeedItem)

public:
    explicit WindSpeedItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~WindSpeedItem() override;

protected:
    float read(const QString& key) const override;
    float imperial(float value) const override;
};
