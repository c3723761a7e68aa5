#include "WidgetTrackPreview.h"

#include "TrackGraphicsView.h"

#include <QBoxLayout>

namespace {

const QString kGroup = QStringLiteral("view_trackpreview");
const QRect kDefaultGeometry(725, 26, 378, 566);
constexpr bool kDefaultShow = false;

} // namespace

WidgetTrackPreview::WidgetTrackPreview(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_view(new TrackGraphicsView(provider, contentWidget()))
{
    setGroupName(kGroup);
    setWindowTitle(tr("Track Preview"));
    m_view->setFont(panelFont());
    static_cast<QBoxLayout*>(contentWidget()->layout())->addWidget(m_view, 1);
}

WidgetTrackPreview::~WidgetTrackPreview() = default;

void WidgetTrackPreview::loadWidgetGeometry(QSettings& settings)
{
    loadGroupGeometry(settings, kDefaultGeometry, kDefaultShow);
}

TrackGraphicsView* WidgetTrackPreview::view() const
{
    return m_view;
}
