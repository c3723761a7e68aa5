#pragma once

#include "WidgetPits.h"

// Every pit entry of the session, newest at the bottom.
class WidgetPitIn final : public WidgetPits
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetPitIn)

public:
    WidgetPitIn(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetPitIn() override;
};
