#include "WidgetStandingFastestLap.h"

#include "AppSettings.h"
#include "ModelAdditionalStanding.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QString kGroup = QStringLiteral("view_standing_fastest_lap");
const QRect kDefaultGeometry(100, 100, 460, 500);
constexpr bool kDefaultShow = false;
const QString kWidthKey = QStringLiteral("stfl_%1");

} // namespace

WidgetStandingFastestLap::WidgetStandingFastestLap(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_model(new ModelAdditionalStanding(provider, ModelAdditionalStanding::FastestLap, 0, this))
{
    setGroupName(kGroup);
    m_model->updateSkin(AppSettings::skin());
    m_table = addTable(m_model, {kWidthKey, QString(), false}, contentWidget(), QStringLiteral("tableViewFastestLap"));
    contentWidget()->layout()->addWidget(m_table);
    connect(this, &ToolWindow::updateSkin, m_model, &ModelAdditionalStanding::updateSkin);
}

WidgetStandingFastestLap::~WidgetStandingFastestLap() = default;

void WidgetStandingFastestLap::loadWidgetGeometry(QSettings& settings)
{
    loadGroupGeometry(settings, kDefaultGeometry, kDefaultShow);
}

ModelAdditionalStanding* WidgetStandingFastestLap::model() const
{
    return m_model;
}

QTableView* WidgetStandingFastestLap::table() const
{
    return m_table;
}
