#include "WidgetClassResults.h"

#include "AppSettings.h"
#include "ModelSessionStandingBySector.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QHeaderView>
#include <QLabel>
#include <QScrollArea>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// One set of widths for every class table.
const QString kWidthKey = QStringLiteral("classres_%1");
// One header state too: the columns the user shows or hides in one table go for all.
const QString kHeaderStateKey = QStringLiteral("classres_hHeaderState");
using Columns = ModelSessionStandingBySector;
const int kShownColumns[] = {Columns::Position, Columns::Number, Columns::Name,    Columns::Laps,
                             Columns::Gap,      Columns::Interval, Columns::LastLap, Columns::FastestLap};

// Each table as tall as its header and rows: the panel scrolls, not the tables.
// The header's hint, as its height is laid out only once shown.
void fitRows(QTableView* table, const QAbstractItemModel* model)
{
    table->setFixedHeight(table->horizontalHeader()->sizeHint().height() + ToolWindow::rowHeight() * model->rowCount() + 4);
}

} // namespace

WidgetClassResults::WidgetClassResults(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_tablesLayout(new QVBoxLayout)
{
    PanelRegistry::place(this, PanelRegistry::ClassResults);
    auto* area = new QScrollArea(contentWidget());
    area->setWidgetResizable(true);
    auto* inner = new QWidget(area);
    inner->setLayout(m_tablesLayout);
    m_tablesLayout->addStretch();
    area->setWidget(inner);
    contentWidget()->layout()->addWidget(area);
    connect(provider, &V2DataProvider::sessionClasses, this, &WidgetClassResults::updateClasses);
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetClassResults::updateClasses);
    connect(provider, &V2DataProvider::standingsByClass, this, &WidgetClassResults::updateClasses);
    updateClasses();
}

WidgetClassResults::~WidgetClassResults() = default;

void WidgetClassResults::columnChoiceChanged(QTableView* view)
{
    saveHeader(view);
    for (const ClassTable& entry : qAsConst(m_classes)) {
        if (entry.table != view)
            restoreHeader(entry.table);
    }
}

QStringList WidgetClassResults::shownClasses() const
{
    QStringList names;
    for (const ClassTable& entry : m_classes)
        names.append(entry.name);
    return names;
}

QTableView* WidgetClassResults::table(int index) const
{
    return m_classes.at(index).table;
}

ModelSessionStandingBySector* WidgetClassResults::model(int index) const
{
    return m_classes.at(index).model;
}

void WidgetClassResults::textScaleChanged(qreal oldScale)
{
    TablePanel::textScaleChanged(oldScale);
    // Taller rows and header: each table fits its rows again.
    for (const ClassTable& entry : qAsConst(m_classes))
        fitRows(entry.table, entry.model);
}

void WidgetClassResults::updateClasses()
{
    const QStringList classes = m_provider->getClasses();
    if (classes == shownClasses()) {
        // The same classes: each table fits its rows again.
        for (const ClassTable& entry : qAsConst(m_classes))
            fitRows(entry.table, entry.model);
        return;
    }
    for (const ClassTable& entry : qAsConst(m_classes))
        delete entry.box;
    m_classes.clear();
    const QString skin = AppSettings::skin();
    for (const QString& name : classes) {
        ClassTable entry;
        entry.name = name;
        entry.box = new QWidget;
        auto* layout = new QVBoxLayout(entry.box);
        layout->setContentsMargins(0, 0, 0, 4);
        auto* title = new QLabel(name, entry.box);
        title->setObjectName(QStringLiteral("labelClass"));
        // Bold only: the size follows the panel's text size.
        QFont bold;
        bold.setBold(true);
        title->setFont(bold);
        entry.model = new ModelSessionStandingBySector(m_provider, skin, entry.box);
        entry.model->setClassType(name);
        // The compact columns until the user chooses others from the column menu.
        QList<int> hidden;
        for (int column = 0; column < entry.model->columnCount(); ++column) {
            if (std::find(std::begin(kShownColumns), std::end(kShownColumns), column) == std::end(kShownColumns))
                hidden.append(column);
        }
        entry.table = addTable(entry.model, {kWidthKey, kHeaderStateKey, false, hidden}, entry.box, QStringLiteral("tableViewClass"));
        entry.table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        connect(this, &ToolWindow::updateSkin, entry.model, &ModelSessionStanding::updateSkin);
        // Each table as tall as its rows: the panel scrolls, not the tables.
        const auto fit = [table = entry.table, model = entry.model] { fitRows(table, model); };
        connect(entry.model, &QAbstractItemModel::modelReset, entry.table, fit);
        connect(entry.model, &QAbstractItemModel::rowsInserted, entry.table, fit);
        fit();
        layout->addWidget(title);
        layout->addWidget(entry.table);
        m_tablesLayout->insertWidget(m_tablesLayout->count() - 1, entry.box);
        m_classes.append(entry);
    }
}
