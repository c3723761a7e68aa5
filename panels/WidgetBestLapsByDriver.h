#pragma once

#include "TablePanel.h"

class V2DataProvider;

// Each driver's laps, best lap and average of his valid laps, car by car.
class WidgetBestLapsByDriver final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetBestLapsByDriver)

public:
    explicit WidgetBestLapsByDriver(V2DataProvider* provider, QWidget* parent = nullptr);
};
