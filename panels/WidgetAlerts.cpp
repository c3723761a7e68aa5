#include "WidgetAlerts.h"

#include "AppSettings.h"
#include "ModelTeamAlerts.h"
#include "PanelRegistry.h"
#include "TeamAlertEngine.h"
#include "V2DataProvider.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QPushButton>
#include <QTableView>

namespace {

const QString kWidthKey = QStringLiteral("alerts_%1");
const QString kHeaderStateKey = QStringLiteral("alerts_hHeaderState");

} // namespace

WidgetAlerts::WidgetAlerts(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_model(new ModelTeamAlerts(provider, AppSettings::skin(), this))
    , m_acknowledgeAll(new QPushButton(tr("Acknowledge all"), contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::Alerts);
    m_table = addTable(m_model, {kWidthKey, kHeaderStateKey}, QStringLiteral("tableViewAlerts"));
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setToolTip(tr("Double-click an alert to acknowledge it"));
    connect(m_table, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) { m_model->acknowledge(index.row()); });

    m_acknowledgeAll->setObjectName(QStringLiteral("pushButtonAcknowledgeAll"));
    connect(m_acknowledgeAll, &QPushButton::clicked, m_model, &ModelTeamAlerts::acknowledgeAll);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addStretch();
    bar->addWidget(m_acknowledgeAll);
    static_cast<QBoxLayout*>(contentWidget()->layout())->addLayout(bar);

    connect(this, &ToolWindow::updateSkin, m_model, &ModelTeamAlerts::updateSkin);
    TeamAlertEngine* alerts = provider->teamAlerts();
    connect(alerts, &TeamAlertEngine::alertRaised, this, &WidgetAlerts::showCount);
    connect(alerts, &TeamAlertEngine::acknowledgedChanged, this, &WidgetAlerts::showCount);
    connect(alerts, &TeamAlertEngine::cleared, this, &WidgetAlerts::showCount);
    showCount();
}

WidgetAlerts::~WidgetAlerts() = default;

ModelTeamAlerts* WidgetAlerts::model() const
{
    return m_model;
}

QTableView* WidgetAlerts::table() const
{
    return m_table;
}

QPushButton* WidgetAlerts::acknowledgeAllButton() const
{
    return m_acknowledgeAll;
}

void WidgetAlerts::showCount()
{
    m_acknowledgeAll->setEnabled(m_provider->teamAlerts()->unacknowledgedCount() > 0);
}
