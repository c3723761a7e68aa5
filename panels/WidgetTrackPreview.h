#pragma once

#include "ToolWindow.h"

class TrackGraphicsView;
class V2DataProvider;

// The track preview panel: the timing loops as one strip of sectors.
class WidgetTrackPreview final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetTrackPreview)

public:
    WidgetTrackPreview(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetTrackPreview() override;

    TrackGraphicsView* view() const;

private:
    TrackGraphicsView* m_view;
};
