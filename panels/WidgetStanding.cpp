#include "WidgetStanding.h"

#include "AppSettings.h"
#include "ModelSessionStandingBySector.h"
#include "ModelSessionStandingPractice.h"
#include "V2DataProvider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString kGroup = QStringLiteral("view_standing");
const QRect kDefaultGeometry(100, 100, 200, 200);
constexpr bool kDefaultShow = true;
const QString kSkinKey = QStringLiteral("skin");

// What each page keeps in the settings store, and its object names.
struct PageKeys {
    const char* page;
    const char* checkBox;
    const char* comboBox;
    const char* table;
    const char* widthKey; // followed by the column number
    const char* headerStateKey;
    const char* teamKey;
};
const PageKeys kPageKeys[WidgetStanding::PageCount] = {
    {"pageRace", "checkBoxRace", "comboBoxRace", "tableViewRace", "st_%1", "st_hHeaderState", "st_showTeam"},
    {"pagePractice", "checkBoxPractice", "comboBoxPractice", "tableViewPractice", "stpr_%1", "stpr_hHeaderState", "stpr_showTeam"},
};

// Widths until the user chooses others: narrow numbers, wider names.
const int kDefaultWidths[WidgetStanding::PageCount][ModelSessionStanding::SharedColumnCount] = {
    {34, 62, 110, 76, 130, 40, 26, 64, 64, 32, 58, 58, 58, 58, 70, 80, 88, 96, 70, 78, 84},
    {34, 62, 110, 76, 130, 36, 70, 40, 64, 64, 58, 58, 58, 58, 70, 80, 88, 96, 70, 78, 84},
};

// Both models share these columns.
constexpr int kTeamColumn = ModelSessionStanding::TeamColumn;
constexpr int kS4Column = ModelSessionStanding::S4Column;
constexpr int kColumnCount = ModelSessionStanding::SharedColumnCount;

} // namespace

WidgetStanding::WidgetStanding(V2DataProvider* provider, QWidget* parent)
    : ToolWindow(parent, true)
    , m_provider(provider)
    , m_stack(new QStackedWidget(contentWidget()))
{
    setGroupName(kGroup);
    m_stack->setObjectName(QStringLiteral("stackedWidget"));
    contentWidget()->layout()->addWidget(m_stack);
    const QString skin = AppSettings::open()->value(kSkinKey, QStringLiteral("Dark")).toString();
    m_pages[RacePage].model = new ModelSessionStandingBySector(provider, skin, this);
    m_pages[PracticePage].model = new ModelSessionStandingPractice(provider, skin, this);
    for (int page = 0; page < PageCount; ++page)
        buildPage(page);

    connect(provider, &V2DataProvider::trackInfo, this, &WidgetStanding::updateStack);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetStanding::updateCombos);
    connect(provider, &V2DataProvider::sessionEntry, this, &WidgetStanding::updateCombos);
    connect(m_pages[RacePage].table->horizontalHeader(), &QHeaderView::sectionResized, this, &WidgetStanding::_slotColumnWidthST);
    connect(m_pages[PracticePage].table->horizontalHeader(), &QHeaderView::sectionResized, this, &WidgetStanding::_slotColumnWidthSTPr);
    connect(m_pages[RacePage].combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &WidgetStanding::on_comboBoxRace_currentIndexChanged);
    connect(m_pages[PracticePage].combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &WidgetStanding::on_comboBoxPractice_currentIndexChanged);
    connect(m_pages[RacePage].team, &QCheckBox::stateChanged, this, &WidgetStanding::on_checkBoxRace_stateChanged);
    connect(m_pages[PracticePage].team, &QCheckBox::stateChanged, this, &WidgetStanding::on_checkBoxPractice_stateChanged);
    for (const PageParts& parts : m_pages) {
        connect(parts.table->horizontalHeader(), &QHeaderView::sectionMoved, this, &WidgetStanding::updateHiddenColumnsOnSettings);
        connect(parts.table, &QWidget::customContextMenuRequested, this, &WidgetStanding::onCustomMenuRequested);
        connect(this, &ToolWindow::updateSkin, parts.model, &ModelSessionStanding::updateSkin);
    }
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
    parts.table = new QTableView(widget);
    parts.table->setObjectName(QLatin1String(keys.table));
    parts.table->setModel(parts.model);
    parts.table->setContextMenuPolicy(Qt::CustomContextMenu);
    parts.table->setSelectionMode(QAbstractItemView::NoSelection);
    parts.table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    parts.table->setWordWrap(false);
    parts.table->verticalHeader()->hide();
    parts.table->verticalHeader()->setDefaultSectionSize(parts.table->fontMetrics().height() + 6);
    parts.table->horizontalHeader()->setSectionsMovable(true);
    parts.table->horizontalHeader()->setHighlightSections(false);

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

    const auto settings = AppSettings::open();
    for (int column = 0; column < kColumnCount; ++column) {
        const QVariant width = settings->value(QString::fromLatin1(keys.widthKey).arg(column));
        parts.table->setColumnWidth(column, width.isValid() ? width.toInt() : kDefaultWidths[page][column]);
    }
}

void WidgetStanding::loadWidgetGeometry(QSettings& settings)
{
    loadGroupGeometry(settings, kDefaultGeometry, kDefaultShow);
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

void WidgetStanding::storeColumnWidth(int page, int column, int width)
{
    // A hidden column reports width 0; its width before hiding is the one to keep.
    if (width > 0)
        AppSettings::open()->setValue(QString::fromLatin1(kPageKeys[page].widthKey).arg(column), width);
}

void WidgetStanding::_slotColumnWidthST(int column, int, int newWidth)
{
    storeColumnWidth(RacePage, column, newWidth);
}

void WidgetStanding::_slotColumnWidthSTPr(int column, int, int newWidth)
{
    storeColumnWidth(PracticePage, column, newWidth);
}

void WidgetStanding::setHiddenColumnsFromSettings()
{
    const auto settings = AppSettings::open();
    for (int page = 0; page < PageCount; ++page) {
        const PageKeys& keys = kPageKeys[page];
        const QByteArray state = settings->value(QLatin1String(keys.headerStateKey)).toByteArray();
        if (!state.isEmpty())
            m_pages[page].table->horizontalHeader()->restoreState(state);
        const bool team = settings->value(QLatin1String(keys.teamKey), m_pages[page].team->isChecked()).toBool();
        {
            const QSignalBlocker blocker(m_pages[page].team);
            m_pages[page].team->setChecked(team);
        }
        m_pages[page].table->setColumnHidden(kTeamColumn, !team);
    }
}

void WidgetStanding::updateHiddenColumnsOnSettings()
{
    const auto settings = AppSettings::open();
    for (int page = 0; page < PageCount; ++page)
        settings->setValue(QLatin1String(kPageKeys[page].headerStateKey), m_pages[page].table->horizontalHeader()->saveState());
}

QMenu* WidgetStanding::columnMenu(int page)
{
    QTableView* view = m_pages[page].table;
    auto* menu = new QMenu(this);
    QMenu* columns = menu->addMenu(tr("Show/Hide columns"));
    const bool threeSectors = m_provider->getNumberOfSectors() == 3;
    for (int column = 0; column < kColumnCount; ++column) {
        if (column == kS4Column && threeSectors)
            continue;
        QAction* action = columns->addAction(view->model()->headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(!view->isColumnHidden(column));
        connect(action, &QAction::toggled, this, [this, view, column](bool visible) {
            view->setColumnHidden(column, !visible);
            updateHiddenColumnsOnSettings();
        });
    }
    return menu;
}

void WidgetStanding::onCustomMenuRequested(QPoint cursorPos)
{
    auto* view = qobject_cast<QTableView*>(sender());
    const int page = view == m_pages[PracticePage].table ? PracticePage : RacePage;
    QMenu* menu = columnMenu(page);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(view->viewport()->mapToGlobal(cursorPos));
}
