#include "WidgetMeteo.h"

#include "MeteoGraphicsView.h"
#include "PanelRegistry.h"

#include <QLayout>
#include <QSettings>

WidgetMeteo::WidgetMeteo(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_view(new MeteoGraphicsView(provider, contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::Meteo);
    m_view->setObjectName(QStringLiteral("graphicsView"));
    contentWidget()->layout()->addWidget(m_view);
    connect(this, &WidgetMeteo::useUSAunits, m_view, &MeteoGraphicsView::useUSAunits);
}

WidgetMeteo::~WidgetMeteo() = default;

void WidgetMeteo::setUsaUnits(bool on)
{
    emit useUSAunits(on);
}

MeteoGraphicsView* WidgetMeteo::view() const
{
    return m_view;
}
