#include "WidgetMeteo.h"

#include "MeteoGraphicsView.h"

#include <QLayout>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("view_meteo");
const QRect kDefaultGeometry(100, 100, 200, 200);
constexpr bool kDefaultShow = false;

} // namespace

WidgetMeteo::WidgetMeteo(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_view(new MeteoGraphicsView(provider, contentWidget()))
{
    setGroupName(kGroup);
    m_view->setObjectName(QStringLiteral("graphicsView"));
    contentWidget()->layout()->addWidget(m_view);
    connect(this, &WidgetMeteo::useUSAunits, m_view, &MeteoGraphicsView::useUSAunits);
}

WidgetMeteo::~WidgetMeteo() = default;

void WidgetMeteo::loadWidgetGeometry(QSettings& settings)
{
    loadGroupGeometry(settings, kDefaultGeometry, kDefaultShow);
}

void WidgetMeteo::setUsaUnits(bool on)
{
    emit useUSAunits(on);
}

MeteoGraphicsView* WidgetMeteo::view() const
{
    return m_view;
}
