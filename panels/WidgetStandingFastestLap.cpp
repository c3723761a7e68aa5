#include "WidgetStandingFastestLap.h"

#include "AppSettings.h"
#include "ModelAdditionalStanding.h"
#include "PanelRegistry.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QString kWidthKey = QStringLiteral("stfl_%1");

} // namespace

WidgetStandingFastestLap::WidgetStandingFastestLap(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_model(new ModelAdditionalStanding(provider, ModelAdditionalStanding::FastestLap, 0, this))
{
    PanelRegistry::place(this, PanelRegistry::StandingFastestLap);
    m_model->updateSkin(AppSettings::skin());
    m_table = addTable(m_model, {kWidthKey, QString(), false}, QStringLiteral("tableViewFastestLap"));
    connect(this, &ToolWindow::updateSkin, m_model, &ModelAdditionalStanding::updateSkin);
}

WidgetStandingFastestLap::~WidgetStandingFastestLap() = default;

ModelAdditionalStanding* WidgetStandingFastestLap::model() const
{
    return m_model;
}

QTableView* WidgetStandingFastestLap::table() const
{
    return m_table;
}
