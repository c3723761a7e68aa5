#include "WidgetTyres.h"

#include "AppSettings.h"
#include "ModelTyresSessionData.h"
#include "PanelRegistry.h"

#include <QLayout>
#include <QSettings>
#include <QTableView>

namespace {

// Widths are read under the column headers' own names; the panel never writes them.
const char* const kWidthKeys[] = {"Number", "Name", "Front Left", "Front Right", "Rear Left", "Rear Right"};

} // namespace

WidgetTyres::WidgetTyres(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_model(new ModelTyresSessionData(provider, this))
{
    PanelRegistry::place(this, PanelRegistry::Tyres);
    m_table = addTable(m_model, {QString(), QString(), true}, QStringLiteral("tableView"));
    applyStoredWidths();
}

WidgetTyres::~WidgetTyres() = default;

void WidgetTyres::textScaleChanged(qreal oldScale)
{
    TablePanel::textScaleChanged(oldScale);
    applyStoredWidths();
}

void WidgetTyres::applyStoredWidths()
{
    const auto settings = AppSettings::open();
    for (int column = 0; column < ModelTyresSessionData::ColumnCount; ++column) {
        const QVariant width = settings->value(QLatin1String(kWidthKeys[column]));
        if (width.isValid())
            m_table->setColumnWidth(column, qRound(width.toInt() * textScale()));
    }
}

ModelTyresSessionData* WidgetTyres::model() const
{
    return m_model;
}

QTableView* WidgetTyres::table() const
{
    return m_table;
}
