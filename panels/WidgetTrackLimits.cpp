#include "WidgetTrackLimits.h"

#include "ModelTrackLimits.h"
#include "PanelRegistry.h"
#include "PanelTableView.h"
#include "TrackLimitHeader.h"
#include "TrackLimitSortProxyModel.h"
#include "V2DataProvider.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

const QString kWidthKey = QStringLiteral("tracklimit_col%1");

} // namespace

WidgetTrackLimits::WidgetTrackLimits(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_proxy(new TrackLimitSortProxyModel(this))
    , m_table(new PanelTableView(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::TrackLimits);
    rebuild();
    m_table->setObjectName(QStringLiteral("tableViewTrackLimits"));
    m_table->setHorizontalHeader(new TrackLimitHeader(m_table));
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ModelTrackLimits::Time, Qt::AscendingOrder);
    setUpTable(m_table, {kWidthKey, QString(), true});
    contentWidget()->layout()->addWidget(m_table);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetTrackLimits::rebuild);
    connect(provider, &V2DataProvider::sessionTrackLimits, this, &WidgetTrackLimits::rebuild);
}

WidgetTrackLimits::~WidgetTrackLimits() = default;

QTableView* WidgetTrackLimits::table() const
{
    return m_table;
}

ModelTrackLimits* WidgetTrackLimits::model() const
{
    return m_model;
}

void WidgetTrackLimits::rebuild()
{
    // A fresh model over the provider's current list; the view, its sort
    // and the user's widths stay.
    ModelTrackLimits* previous = m_model;
    m_model = new ModelTrackLimits(m_provider, this);
    m_proxy->setSourceModel(m_model);
    delete previous;
}
