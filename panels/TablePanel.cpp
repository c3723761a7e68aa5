#include "TablePanel.h"

#include "AppSettings.h"
#include "CoalescedTableModel.h"
#include "ColumnTable.h"
#include "PanelTableView.h"

#include <QAbstractProxyModel>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QSet>
#include <QSignalBlocker>
#include <QSettings>
#include <QTableView>


namespace {

const char* const kWidthKeyProperty = "tableWidthKey";
const char* const kHeaderStateKeyProperty = "tableHeaderStateKey";
// Columns the data have not (hidden, not offered), and those of them the user had hidden.
const char* const kAbsentProperty = "tableAbsentColumns";
const char* const kUserHiddenProperty = "tableUserHiddenColumns";

QSet<int> columnSet(const QTableView* view, const char* property)
{
    const QList<int> list = view->property(property).value<QList<int>>();
    return QSet<int>(list.cbegin(), list.cend());
}

void setColumnSet(QTableView* view, const char* property, const QSet<int>& columns)
{
    view->setProperty(property, QVariant::fromValue(QList<int>(columns.cbegin(), columns.cend())));
}

QString widthKeyOf(const QTableView* view)
{
    return view->property(kWidthKeyProperty).toString();
}

QString headerStateKeyOf(const QTableView* view)
{
    return view->property(kHeaderStateKeyProperty).toString();
}

} // namespace

TablePanel::TablePanel(QWidget* parent, bool floating)
    : ToolWindow(parent, floating)
{
    connect(this, &ToolWindow::showingChanged, this, [this](bool showing) {
        for (QTableView* view : qAsConst(m_views)) {
            if (!view)
                continue;
            holdModel(view, !showing);
            // Colours that changed while held (a follow, the palette, a
            // flash) belong to rows whose data did not: paint them all once.
            if (showing)
                view->viewport()->update();
        }
    });
}

void TablePanel::holdModel(QTableView* view, bool held)
{
    QAbstractItemModel* model = view->model();
    while (auto* proxy = qobject_cast<QAbstractProxyModel*>(model))
        model = proxy->sourceModel();
    if (auto* coalesced = qobject_cast<CoalescedTableModel*>(model))
        coalesced->setHeld(held);
}

TablePanel::~TablePanel() = default;

QTableView* TablePanel::addTable(QAbstractItemModel* model, const TableKeys& keys, const QString& objectName)
{
    QTableView* view = addTable(model, keys, contentWidget(), objectName);
    contentWidget()->layout()->addWidget(view);
    return view;
}

QTableView* TablePanel::addTable(QAbstractItemModel* model, const TableKeys& keys, QWidget* parent, const QString& objectName)
{
    auto* view = new PanelTableView(parent);
    view->setObjectName(objectName);
    view->setModel(model);
    setUpTable(view, keys);
    for (int column : keys.hiddenColumns)
        view->setColumnHidden(column, true);
    if (!keys.headerStateKey.isEmpty())
        restoreHeader(view);
    return view;
}

void TablePanel::setUpTable(QTableView* view, const TableKeys& keys)
{
    view->setSelectionMode(QAbstractItemView::NoSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->setVisible(keys.rowNumbers);
    sizeToText(view);
    m_views.append(view);
    if (!isShowing())
        holdModel(view, true);
    QHeaderView* header = view->horizontalHeader();
    header->setHighlightSections(false);
    // The keys travel with the view, which may go before or after the panel.
    view->setProperty(kWidthKeyProperty, keys.widthKey);
    view->setProperty(kHeaderStateKeyProperty, keys.headerStateKey);

    setColumnWidths(view, 1);
    if (!keys.widthKey.isEmpty())
        connect(header, &QHeaderView::sectionResized, this, [this, view](int column, int, int width) { storeColumnWidth(view, column, width); });
    if (!keys.headerStateKey.isEmpty()) {
        header->setSectionsMovable(true);
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(header, &QHeaderView::sectionMoved, this, [this, view] { columnChoiceChanged(view); });
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& position) { popUpColumnMenu(view, position); });
    }
}

void TablePanel::storeColumnWidth(QTableView* view, int column, int width)
{
    // A hidden column reports width 0; its width before hiding is the one to keep.
    const QString key = widthKeyOf(view);
    if (m_fitting || width <= 0 || key.isEmpty())
        return;
    // Widths are kept at text size 1, so that they hold at every size.
    AppSettings::open()->setValue(key.arg(column), qRound(width / textScale()));
}

void TablePanel::sizeToText(QTableView* view)
{
    view->setFont(panelFont());
    view->verticalHeader()->setMinimumSectionSize(rowHeight());
    view->verticalHeader()->setDefaultSectionSize(rowHeight());
}

void TablePanel::setColumnWidths(QTableView* view, qreal ratio)
{
    // Stored widths and the model's defaults are at text size 1; a column
    // with neither (fitted to its contents) grows by the change of size.
    const QString widthKey = widthKeyOf(view);
    const QAbstractItemModel* model = view->model();
    const auto settings = AppSettings::open();
    const bool fitting = m_fitting;
    m_fitting = true;
    for (int column = 0; column < model->columnCount(); ++column) {
        const QVariant stored = widthKey.isEmpty() ? QVariant() : settings->value(widthKey.arg(column));
        const QVariant fallback = model->headerData(column, Qt::Horizontal, ColumnTable::DefaultWidthRole);
        if (stored.isValid() || fallback.isValid())
            view->horizontalHeader()->resizeSection(column, qRound((stored.isValid() ? stored.toInt() : fallback.toInt()) * textScale()));
        else if (ratio != 1 && !view->isColumnHidden(column))
            view->horizontalHeader()->resizeSection(column, qRound(view->columnWidth(column) * ratio));
    }
    m_fitting = fitting;
}

void TablePanel::textScaleChanged(qreal oldScale)
{
    ToolWindow::textScaleChanged(oldScale);
    for (QTableView* view : qAsConst(m_views)) {
        if (!view)
            continue;
        sizeToText(view);
        setColumnWidths(view, textScale() / oldScale);
    }
}

void TablePanel::restoreHeader(QTableView* view)
{
    const QByteArray state = AppSettings::open()->value(headerStateKeyOf(view)).toByteArray();
    if (!state.isEmpty()) {
        const bool fitting = m_fitting;
        m_fitting = true;
        view->horizontalHeader()->restoreState(state);
        m_fitting = fitting;
    }
    // The state holds pixels at the size it was saved at; stored and default
    // widths are at size 1 and are given again at the size in force.
    setColumnWidths(view, 1);
}

bool TablePanel::isFitting() const
{
    return m_fitting;
}

void TablePanel::saveHeader(QTableView* view)
{
    const QString key = headerStateKeyOf(view);
    if (key.isEmpty())
        return;
    // The state keeps the user's choices: absent columns are saved as he left them.
    const QSet<int> absent = columnSet(view, kAbsentProperty);
    const QSet<int> userHidden = columnSet(view, kUserHiddenProperty);
    QHeaderView* header = view->horizontalHeader();
    const QSignalBlocker blocker(header);
    for (int column : absent)
        header->setSectionHidden(column, userHidden.contains(column));
    AppSettings::open()->setValue(key, header->saveState());
    for (int column : absent)
        header->setSectionHidden(column, true);
}

void TablePanel::setAbsentColumns(QTableView* view, const QList<int>& columns)
{
    const QSet<int> absent(columns.cbegin(), columns.cend());
    const QSet<int> before = columnSet(view, kAbsentProperty);
    QSet<int> userHidden = columnSet(view, kUserHiddenProperty);
    for (int column : before) {
        if (!absent.contains(column)) {
            view->setColumnHidden(column, userHidden.contains(column));
            userHidden.remove(column);
        }
    }
    for (int column : absent) {
        if (!before.contains(column)) {
            if (view->isColumnHidden(column))
                userHidden.insert(column);
            view->setColumnHidden(column, true);
        }
    }
    setColumnSet(view, kAbsentProperty, absent);
    setColumnSet(view, kUserHiddenProperty, userHidden);
}

void TablePanel::fitColumns(QTableView* view)
{
    const QString widthKey = widthKeyOf(view);
    const auto settings = AppSettings::open();
    m_fitting = true;
    for (int column = 0; column < view->model()->columnCount(); ++column) {
        if (widthKey.isEmpty() || !settings->contains(widthKey.arg(column)))
            view->resizeColumnToContents(column);
    }
    m_fitting = false;
}

void TablePanel::followNewRows(QTableView* view, bool newestFirst)
{
    if (newestFirst)
        view->scrollToTop();
    else
        view->scrollToBottom();
}

bool TablePanel::offersColumn(const QTableView* view, int column) const
{
    return !columnSet(view, kAbsentProperty).contains(column);
}

void TablePanel::columnChoiceChanged(QTableView* view)
{
    saveHeader(view);
}

QMenu* TablePanel::columnMenu(QTableView* view)
{
    auto* menu = new QMenu(this);
    QMenu* columns = menu->addMenu(tr("Show/Hide columns"));
    const QAbstractItemModel* model = view->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!offersColumn(view, column))
            continue;
        QAction* action = columns->addAction(model->headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(!view->isColumnHidden(column));
        connect(action, &QAction::toggled, this, [this, view, column](bool visible) {
            view->setColumnHidden(column, !visible);
            columnChoiceChanged(view);
        });
    }
    return menu;
}

void TablePanel::popUpColumnMenu(QTableView* view, const QPoint& position)
{
    QMenu* menu = columnMenu(view);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view->viewport()->mapToGlobal(position));
}
