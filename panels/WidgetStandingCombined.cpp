#include "WidgetStandingCombined.h"

#include "AppSettings.h"
#include "ModelStandingCombined.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QString kWidthKey = QStringLiteral("stcomb_%1");
const QString kHeaderStateKey = QStringLiteral("stcomb_hHeaderState");

} // namespace

WidgetStandingCombined::WidgetStandingCombined(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_model(new ModelStandingCombined(provider, this))
{
    PanelRegistry::place(this, PanelRegistry::StandingCombined);
    m_model->updateSkin(AppSettings::skin());
    m_table = addTable(m_model, {kWidthKey, kHeaderStateKey, false}, QStringLiteral("tableViewCombined"));
    connect(this, &ToolWindow::updateSkin, m_model, &ModelStandingCombined::updateSkin);
    connect(m_model, &QAbstractItemModel::modelReset, this, &WidgetStandingCombined::updateColumns);
    connect(provider, &V2DataProvider::combinedInfo, this, &WidgetStandingCombined::updateColumns);
    updateColumns();
}

WidgetStandingCombined::~WidgetStandingCombined() = default;

ModelStandingCombined* WidgetStandingCombined::model() const
{
    return m_model;
}

QTableView* WidgetStandingCombined::table() const
{
    return m_table;
}

void WidgetStandingCombined::updateColumns()
{
    const bool shown = m_model->showsSessionTimes();
    for (int column = ModelStandingCombined::FirstSession; column < m_model->columnCount(); ++column)
        m_table->setColumnHidden(column, !shown);
}
