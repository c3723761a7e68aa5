#pragma once

#include "WidgetPits.h"

// Every pit exit of the session with the length of the stop, newest at the bottom.
class WidgetPitOut final : public WidgetPits
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetPitOut)

public:
    WidgetPitOut(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetPitOut() override;
};
