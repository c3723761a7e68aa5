#include "WidgetRaceControl.h"

#include "AppSettings.h"
#include "ModelRaceControlMessage.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QMenu>
#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QString kWidthKey = QStringLiteral("rcm_%1");
const QString kCleaningKey = QStringLiteral("rcm_cleaningOnSessionChange");

} // namespace

WidgetRaceControl::WidgetRaceControl(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_model(new ModelRaceControlMessage(provider, this))
    , m_autoScroll(new QCheckBox(tr("Auto scroll"), contentWidget()))
    , m_keep(new QAction(tr("Keep RC Messages after session changed"), this))
{
    PanelRegistry::place(this, PanelRegistry::RaceControl);
    m_model->setCleaning(AppSettings::open()->value(kCleaningKey, true).toBool());
    m_table = addTable(m_model, {kWidthKey, QString(), true}, QStringLiteral("tableView"));
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_autoScroll->setObjectName(QStringLiteral("checkBox_Scroll"));
    m_autoScroll->setChecked(true);
    contentWidget()->layout()->addWidget(m_autoScroll);

    m_keep->setCheckable(true);
    m_keep->setChecked(!m_model->cleaning());
    connect(m_keep, &QAction::toggled, this, &WidgetRaceControl::keepMessages);
    m_table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_table, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        auto* menu = new QMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(m_keep);
        menu->popup(m_table->viewport()->mapToGlobal(position));
    });
    connect(provider, &V2DataProvider::raceControlMessages, this, &WidgetRaceControl::followNewMessages);
    followNewMessages();
}

WidgetRaceControl::~WidgetRaceControl() = default;

void WidgetRaceControl::setNewestFirst(bool on)
{
    m_model->setNewestFirst(on);
    followNewMessages();
}

ModelRaceControlMessage* WidgetRaceControl::model() const
{
    return m_model;
}

QTableView* WidgetRaceControl::table() const
{
    return m_table;
}

QAction* WidgetRaceControl::keepAction() const
{
    return m_keep;
}

void WidgetRaceControl::followNewMessages()
{
    if (m_autoScroll->isChecked())
        followNewRows(m_table, m_model->newestFirst());
}

void WidgetRaceControl::keepMessages(bool keep)
{
    AppSettings::open()->setValue(kCleaningKey, !keep);
    m_model->setCleaning(!keep);
}
