#pragma once

#include "MeteoGraphItem.h"

// The track temperature of the last two hours.
class TrackTempItem final : public MeteoGraphItem
{
    Q_OBJECT
    Q_DISABLE_COPY(TrackTempItem)

public:
    explicit TrackTempItem(V2DataProvider* provider, QGraphicsItem* parent = nullptr);
    ~TrackTempItem() override;

protected:
    float read(const QString& key) const override;
    float imperial(float value) const override;
};
