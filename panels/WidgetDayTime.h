#pragma once

#include "ToolWindow.h"

#include <QTimer>

class ResizableQlabel;
class V2DataProvider;

// The track's time of day as a large clock.
class WidgetDayTime final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetDayTime)

public:
    WidgetDayTime(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetDayTime() override;

    ResizableQlabel* clockLabel() const;

public slots:
    void processUpdate();

private:
    V2DataProvider* m_provider;
    ResizableQlabel* m_label;
    QTimer m_timer;
};
