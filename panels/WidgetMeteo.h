#pragma once

#include "ToolWindow.h"

class MeteoGraphicsView;
class V2DataProvider;

// The weather at the track now and over the last two hours.
class WidgetMeteo final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetMeteo)

public:
    WidgetMeteo(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetMeteo() override;

    void setUsaUnits(bool on) override;
    MeteoGraphicsView* view() const;

signals:
    void useUSAunits(bool);

private:
    MeteoGraphicsView* m_view;
};
