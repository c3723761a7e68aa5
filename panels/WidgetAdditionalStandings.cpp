#include "WidgetAdditionalStandings.h"

#include "AppSettings.h"
#include "ModelAdditionalStanding.h"
#include "V2DataProvider.h"

#include <QHBoxLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QString kGroup = QStringLiteral("view_additional_standings");
const QRect kDefaultGeometry(100, 100, 1200, 500);
constexpr bool kDefaultShow = false;
// Column widths per table: "addst_s1_%1" ... "addst_s4_%1", "addst_speed_%1".
const char* const kWidthKeys[WidgetAdditionalStandings::TableCount] = {"addst_s1_%1", "addst_s2_%1", "addst_s3_%1", "addst_s4_%1",
                                                                      "addst_speed_%1"};

} // namespace

WidgetAdditionalStandings::WidgetAdditionalStandings(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
{
    setGroupName(kGroup);
    const QString skin = AppSettings::skin();
    auto* row = new QHBoxLayout;
    for (int i = 0; i < TableCount; ++i) {
        m_models[i] = i == TopSpeedTable ? new ModelAdditionalStanding(provider, ModelAdditionalStanding::TopSpeed, 0, this)
                                         : new ModelAdditionalStanding(provider, ModelAdditionalStanding::SectorBest, i + 1, this);
        m_models[i]->updateSkin(skin);
        m_tables[i] = addTable(m_models[i], {QLatin1String(kWidthKeys[i]), QString(), false}, contentWidget(), QStringLiteral("tableView%1").arg(i));
        for (int column = 0; column < m_models[i]->columnCount(); ++column)
            m_tables[i]->setColumnHidden(column, !m_models[i]->hasColumn(column));
        connect(this, &ToolWindow::updateSkin, m_models[i], &ModelAdditionalStanding::updateSkin);
        row->addWidget(m_tables[i]);
    }
    static_cast<QBoxLayout*>(contentWidget()->layout())->addLayout(row);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetAdditionalStandings::updateSectors);
    updateSectors();
}

WidgetAdditionalStandings::~WidgetAdditionalStandings() = default;

void WidgetAdditionalStandings::loadWidgetGeometry(QSettings& settings)
{
    loadGroupGeometry(settings, kDefaultGeometry, kDefaultShow);
}

void WidgetAdditionalStandings::setUsaUnits(bool on)
{
    m_models[TopSpeedTable]->setUsaUnits(on);
}

ModelAdditionalStanding* WidgetAdditionalStandings::model(int table) const
{
    return m_models[table];
}

QTableView* WidgetAdditionalStandings::table(int table) const
{
    return m_tables[table];
}

void WidgetAdditionalStandings::updateSectors()
{
    m_tables[3]->setVisible(m_provider->getNumberOfSectors() == 4);
}
