#include "WidgetTrackPreview.h"

#include "PanelRegistry.h"
#include "TrackGraphicsView.h"

#include <QBoxLayout>

WidgetTrackPreview::WidgetTrackPreview(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_view(new TrackGraphicsView(provider, contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::TrackPreview);
    setWindowTitle(tr("Track Preview"));
    static_cast<QBoxLayout*>(contentWidget()->layout())->addWidget(m_view, 1);
}

WidgetTrackPreview::~WidgetTrackPreview() = default;

TrackGraphicsView* WidgetTrackPreview::view() const
{
    return m_view;
}
