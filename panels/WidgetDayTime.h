#pragma once

#include "ToolWindow.h"

#include <QElapsedTimer>
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
    // The last tick, on the track's clock and on a steady one: a replay
    // faster than real time is told by the track running ahead.
    qint64 m_lastTrackMs = 0;
    QElapsedTimer m_sinceLastTick;
};
