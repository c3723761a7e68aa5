#include "WidgetStanding.h"

#include "AppSettings.h"
#include "ModelSessionStandingBySector.h"
#include "ModelSessionStandingPractice.h"
#include "PanelRegistry.h"
#include "RowFrameDelegate.h"
#include "V2DataProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScopedValueRollback>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QStackedWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// What each page keeps in the settings store, and its object names.
struct PageKeys {
    const char* page;
    const char* checkBox;
    const char* comboBox;
    const char* table;
    const char* widthKey; // "%1": the column number
    const char* headerStateKey;
    const char* teamKey;
};
const PageKeys kPageKeys[WidgetStanding::PageCount] = {
    {"pageRace", "checkBoxRace", "comboBoxRace", "tableViewRace", "st_%1", "st_hHeaderState", "st_showTeam"},
    {"pagePractice", "checkBoxPractice", "comboBoxPractice", "tableViewPractice", "stpr_%1", "stpr_hHeaderState", "stpr_showTeam"},
};

// Both models share these columns.
constexpr int kTeamColumn = ModelSessionStanding::TeamColumn;
constexpr int kS4Column = ModelSessionStanding::S4Column;

// How long a found car stays framed: long enough to find it on the screen, not
// so long that the frame reads as a mark of its own.
constexpr int kShownCarMs = 4000;

} // namespace

WidgetStanding::WidgetStanding(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_stack(new QStackedWidget(contentWidget()))
    , m_shownCarTimer(new QTimer(this))
{
    PanelRegistry::place(this, PanelRegistry::Standing);
    m_stack->setObjectName(QStringLiteral("stackedWidget"));
    contentWidget()->layout()->addWidget(m_stack);
    const QString skin = AppSettings::skin();
    m_pages[RacePage].model = new ModelSessionStandingBySector(provider, skin, this);
    m_pages[PracticePage].model = new ModelSessionStandingPractice(provider, skin, this);
    for (int page = 0; page < PageCount; ++page)
        buildPage(page);

    connect(provider, &V2DataProvider::trackInfo, this, &WidgetStanding::updateStack);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetStanding::updateCombos);
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetStanding::updateCombos);
    connect(m_pages[RacePage].combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &WidgetStanding::on_comboBoxRace_currentIndexChanged);
    connect(m_pages[PracticePage].combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &WidgetStanding::on_comboBoxPractice_currentIndexChanged);
    connect(m_pages[RacePage].team, &QCheckBox::stateChanged, this, &WidgetStanding::on_checkBoxRace_stateChanged);
    connect(m_pages[PracticePage].team, &QCheckBox::stateChanged, this, &WidgetStanding::on_checkBoxPractice_stateChanged);
    // The tables store their widths, order and hidden columns themselves.
    for (const PageParts& parts : m_pages) {
        connect(this, &ToolWindow::updateSkin, parts.model, &ModelSessionStanding::updateSkin);
        // The highlight stays on the car, not on its old row.
        const auto follow = [this] { markShownCar(false); };
        connect(parts.model, &QAbstractItemModel::modelReset, this, follow);
        connect(parts.model, &QAbstractItemModel::dataChanged, this, follow);
        connect(parts.model, &QAbstractItemModel::rowsInserted, this, follow);
        connect(parts.model, &QAbstractItemModel::rowsRemoved, this, follow);
        connect(parts.table, &QAbstractItemView::pressed, this, &WidgetStanding::forgetShownCar);
    }
    m_shownCarTimer->setObjectName(QStringLiteral("shownCarTimer"));
    m_shownCarTimer->setSingleShot(true);
    m_shownCarTimer->setInterval(kShownCarMs);
    connect(m_shownCarTimer, &QTimer::timeout, this, &WidgetStanding::forgetShownCar);
    // The same number in a new session is another car.
    connect(provider, &V2DataProvider::cleanAll, this, &WidgetStanding::forgetShownCar);
    connect(m_stack, &QStackedWidget::currentChanged, this, [this] { markShownCar(false); });
    updateStack();
    updateCombos();
    setHiddenColumnsFromSettings();
}

WidgetStanding::~WidgetStanding() = default;

void WidgetStanding::buildPage(int page)
{
    const PageKeys& keys = kPageKeys[page];
    PageParts& parts = m_pages[page];
    auto* widget = new QWidget(m_stack);
    widget->setObjectName(QLatin1String(keys.page));
    parts.team = new QCheckBox(tr("Show team"), widget);
    parts.team->setObjectName(QLatin1String(keys.checkBox));
    parts.combo = new QComboBox(widget);
    parts.combo->setObjectName(QLatin1String(keys.comboBox));
    parts.combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    parts.table = addTable(parts.model, {QLatin1String(keys.widthKey), QLatin1String(keys.headerStateKey)}, widget, QLatin1String(keys.table));
    parts.frame = new RowFrameDelegate(parts.table);
    parts.table->setItemDelegate(parts.frame);
    auto* bar = new QHBoxLayout;
    bar->addWidget(parts.team);
    bar->addStretch();
    bar->addWidget(new QLabel(tr("Filter :"), widget));
    bar->addWidget(parts.combo);
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(parts.table);
    m_stack->addWidget(widget);
}

int WidgetStanding::currentPage() const
{
    return m_stack->currentIndex();
}

QTableView* WidgetStanding::table(int page) const
{
    return m_pages[page].table;
}

QComboBox* WidgetStanding::combo(int page) const
{
    return m_pages[page].combo;
}

QCheckBox* WidgetStanding::teamBox(int page) const
{
    return m_pages[page].team;
}

ModelSessionStanding* WidgetStanding::model(int page) const
{
    return m_pages[page].model;
}

void WidgetStanding::updateStack()
{
    const int sectors = m_provider->getNumberOfSectors();
    for (const PageParts& parts : m_pages) {
        if (sectors == 4)
            parts.table->showColumn(kS4Column);
        else if (sectors == 3)
            parts.table->hideColumn(kS4Column);
    }
    m_stack->setCurrentIndex(m_provider->isRace() ? RacePage : PracticePage);
}

void WidgetStanding::updateCombos()
{
    const QStringList classes = m_provider->getClasses();
    for (const PageParts& parts : m_pages) {
        const QString remembered = parts.combo->currentText();
        {
            // Refilling is not a choice of the user's.
            const QSignalBlocker blocker(parts.combo);
            parts.combo->clear();
            parts.combo->addItem(tr("Overall"));
            parts.combo->addItems(classes);
        }
        const int index = parts.combo->findText(remembered);
        parts.combo->setCurrentIndex(index >= 0 ? index : 0);
        if (index < 0 && !remembered.isEmpty() && parts.model->classType() != QString())
            parts.model->setClassType(QString());
    }
}

bool WidgetStanding::showCar(const QString& car)
{
    m_shownCar = car;
    m_shownCarTimer->start();
    // A panel just opened may not have its rows yet: it scrolls once they come.
    m_scrollPending = true;
    return markShownCar(true);
}

QString WidgetStanding::shownCar() const
{
    return m_shownCar;
}

int WidgetStanding::shownRow(int page) const
{
    return m_pages[page].frame->row();
}

void WidgetStanding::forgetShownCar()
{
    m_shownCarTimer->stop();
    m_shownCar.clear();
    m_scrollPending = false;
    markShownCar(false);
}

bool WidgetStanding::markShownCar(bool scroll)
{
    // Rebuilding the rows below announces them, which calls this again.
    if (m_marking)
        return false;
    const QScopedValueRollback<bool> marking(m_marking, true);
    const bool asked = scroll;
    scroll = scroll || m_scrollPending;
    const int page = currentPage();
    PageParts& parts = m_pages[page];
    int row = m_shownCar.isEmpty() ? -1 : parts.model->rowOfCar(m_shownCar);
    if (row < 0 && asked && !m_shownCar.isEmpty()) {
        // A model has no rows before the first standings notification (none
        // comes in a paused replay), and a class filter may hide the car.
        parts.model->processRefresh();
        row = parts.model->rowOfCar(m_shownCar);
        if (row < 0 && parts.combo->currentIndex() > 0) {
            parts.combo->setCurrentIndex(0);
            row = parts.model->rowOfCar(m_shownCar);
        }
    }
    for (int other = 0; other < PageCount; ++other)
        m_pages[other].frame->setRow(other == page ? row : -1);
    if (row < 0)
        return false;
    // The column at the left edge: scrolling to the car moves the view up or down only.
    const int leftColumn = parts.table->columnAt(0);
    const QModelIndex index = parts.model->index(row, leftColumn >= 0 ? leftColumn : int(ModelSessionStanding::NumberColumn));
    if (scroll) {
        // Rows just built lay out later: the scroll range must know them now.
        parts.table->doItemsLayout();
        parts.table->scrollTo(index, QAbstractItemView::PositionAtCenter);
    }
    m_scrollPending = false;
    return true;
}

void WidgetStanding::selectClass(int page, int index)
{
    if (index < 0)
        return;
    m_pages[page].model->setClassType(index == 0 ? QString() : m_pages[page].combo->itemText(index));
}

void WidgetStanding::on_comboBoxRace_currentIndexChanged(int index)
{
    selectClass(RacePage, index);
}

void WidgetStanding::on_comboBoxPractice_currentIndexChanged(int index)
{
    selectClass(PracticePage, index);
}

void WidgetStanding::applyTeam(int page, int state)
{
    AppSettings::open()->setValue(QLatin1String(kPageKeys[page].teamKey), state == Qt::Checked);
    m_pages[page].table->setColumnHidden(kTeamColumn, state != Qt::Checked);
}

void WidgetStanding::on_checkBoxRace_stateChanged(int state)
{
    qDebug("%d", state);
    applyTeam(RacePage, state);
}

void WidgetStanding::on_checkBoxPractice_stateChanged(int arg1)
{
    applyTeam(PracticePage, arg1);
}

void WidgetStanding::_slotColumnWidthST(int column, int, int newWidth)
{
    storeColumnWidth(m_pages[RacePage].table, column, newWidth);
}

void WidgetStanding::_slotColumnWidthSTPr(int column, int, int newWidth)
{
    storeColumnWidth(m_pages[PracticePage].table, column, newWidth);
}

void WidgetStanding::setHiddenColumnsFromSettings()
{
    const auto settings = AppSettings::open();
    for (int page = 0; page < PageCount; ++page) {
        const PageParts& parts = m_pages[page];
        restoreHeader(parts.table);
        // A header state saved on a four-sector track would show S4 again.
        if (!offersColumn(parts.table, kS4Column))
            parts.table->hideColumn(kS4Column);
        const bool team = settings->value(QLatin1String(kPageKeys[page].teamKey), parts.team->isChecked()).toBool();
        {
            const QSignalBlocker blocker(parts.team);
            parts.team->setChecked(team);
        }
        parts.table->setColumnHidden(kTeamColumn, !team);
    }
}

void WidgetStanding::updateHiddenColumnsOnSettings()
{
    for (const PageParts& parts : m_pages)
        saveHeader(parts.table);
}

bool WidgetStanding::offersColumn(const QTableView*, int column) const
{
    return column != kS4Column || m_provider->getNumberOfSectors() != 3;
}

QMenu* WidgetStanding::columnMenu(int page)
{
    return columnMenu(m_pages[page].table);
}

void WidgetStanding::onCustomMenuRequested(QPoint cursorPos)
{
    if (auto* view = qobject_cast<QTableView*>(sender())) {
        QMenu* menu = columnMenu(view);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(view->viewport()->mapToGlobal(cursorPos));
    }
}
