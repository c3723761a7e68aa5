#include "WidgetCarFollow.h"

#include "AppSettings.h"
#include "CsvExport.h"
#include "ModelSessionLapForCarFollow.h"
#include "TeamFollowSync.h"
#include "V2DataProvider.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSortFilterProxyModel>
#include <QTableView>

namespace {

const QString kColumnsGroup = QStringLiteral("car_follow_columns");
const QString kColumnKey = QStringLiteral("cwc_%1");
// Column order and the columns hidden by the user, one for every block.
const QString kHeaderStateKey = QStringLiteral("car_follow_hHeaderState");
const QString kLapColorsGroup = QStringLiteral("car_follow_lap_colors");
// Laps through the pit lane; the keys are written back so that they exist.
const char* const kLapColorKeys[][2] = {
    {"outlap_bg_color", "#DFDF00"},
    {"outlap_fg_color", "#000000"},
    {"inlap_bg_color", "#0000BB"},
    {"inlap_fg_color", "#EFF0F1"},
};
// A filter that matches no participant.
const QString kNobody = QStringLiteral(" ");

const QColor kDefaultColors[] = {
    {213, 74, 74}, {189, 213, 74}, {108, 152, 202}, {210, 121, 171}, {213, 172, 74}, {108, 202, 190}, {168, 138, 205}, {121, 210, 175},
};

} // namespace

WidgetCarFollow::WidgetCarFollow(V2DataProvider* provider, int panelId, QWidget* parent)
    : TablePanel(parent, false)
    , m_provider(provider)
    , m_panelId(panelId)
    , m_color(defaultColor(panelId))
    , m_model(new ModelSessionLapForCarFollow(provider, AppSettings::skin(), true, this))
    , m_proxy(new QSortFilterProxyModel(this))
    , m_caption(new QLabel(tr("Participant:"), this))
    , m_edit(new QLineEdit(this))
    , m_colorButton(new QPushButton(this))
    , m_autoScroll(new QCheckBox(tr("Auto scroll"), this))
{
    setObjectName(QStringLiteral("WidgetCarFollow"));
    setMinimumHeight(180);
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterKeyColumn(ModelSessionLapForCarFollow::Number);
    m_proxy->setFilterRegularExpression(kNobody);
    m_edit->setObjectName(QStringLiteral("lineEditSessionLapCar1"));
    m_edit->setMaximumWidth(80);
    m_colorButton->setObjectName(QStringLiteral("pushButtonColorPick"));
    m_colorButton->setFixedWidth(40);
    m_autoScroll->setObjectName(QStringLiteral("checkBox_Car_Scroll_1"));
    m_autoScroll->setChecked(true);
    auto* remove = new QPushButton(tr("Remove"), this);
    remove->setObjectName(QStringLiteral("pushButtonRemoveWidget"));
    auto* csv = new QPushButton(tr("Export CSV"), this);
    csv->setObjectName(QStringLiteral("pushButtonDownloadCSV"));
    // The lap number says which lap a row is; row numbers of the whole session would not.
    m_table = addTable(m_proxy, {QString(), kHeaderStateKey, false}, this, QStringLiteral("tableViewSessionLapCar1"));
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_caption);
    bar->addWidget(m_edit);
    bar->addWidget(m_colorButton);
    bar->addWidget(m_autoScroll);
    bar->addStretch();
    bar->addWidget(csv);
    bar->addWidget(remove);
    auto* layout = static_cast<QBoxLayout*>(this->layout());
    layout->addLayout(bar);
    layout->addWidget(m_table);

    // Only the user's own choices are shared: a car set by the program (the
    // last run's, the team's) goes nowhere.
    connect(m_edit, &QLineEdit::editingFinished, this, [this] {
        on_lineEditSessionLapCar1_editingFinished();
        shareBlock();
    });
    connect(m_colorButton, &QPushButton::clicked, this, &WidgetCarFollow::on_pushButtonColorPick_clicked);
    connect(remove, &QPushButton::clicked, this, &WidgetCarFollow::on_pushButtonRemoveWidget_clicked);
    connect(csv, &QPushButton::clicked, this, &WidgetCarFollow::on_pushButtonDownloadCSV_clicked);
    connect(m_autoScroll, &QCheckBox::stateChanged, this, &WidgetCarFollow::on_checkBox_Car_Scroll_1_stateChanged);
    connect(m_table->horizontalHeader(), &QHeaderView::sectionResized, this, &WidgetCarFollow::_slotColumnWidthChangedCar1);
    connect(provider, &V2DataProvider::analysisLaps, this, &WidgetCarFollow::processScrolls);
    connect(provider, &V2DataProvider::analysisLapsByPnumAndLap, this, &WidgetCarFollow::processScrollCar1);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetCarFollow::tableConfig);
    // A car kept from the last run is taken once the entry list arrives.
    connect(provider, &V2DataProvider::sessionEntry, this, [this] {
        if (m_participant.isEmpty() && !m_edit->text().trimmed().isEmpty())
            on_lineEditSessionLapCar1_editingFinished();
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, &WidgetCarFollow::updateTableConfig);
    connect(this, &ToolWindow::updateSkin, m_model, &ModelSessionLap::updateSkin);
    loadSettings();
    m_model->processAnalysis();
    // Once more for the order and the hidden columns; the widths the blocks share win.
    restoreHeader(m_table);
    updateTableConfig();
    showAbsentColumns();
    showColor();
}

WidgetCarFollow::~WidgetCarFollow() = default;

QColor WidgetCarFollow::defaultColor(int index)
{
    return index >= 0 && index < int(std::size(kDefaultColors)) ? kDefaultColors[index] : QColor(220, 220, 220);
}

void WidgetCarFollow::loadWidgetGeometry(QSettings&)
{
    // A block lives inside the follow panel, which keeps the geometry.
}

void WidgetCarFollow::setBikeLayout(bool bikes)
{
    m_caption->setText(bikes ? tr("Bike:") : tr("Participant:"));
}

int WidgetCarFollow::panelId() const
{
    return m_panelId;
}

QString WidgetCarFollow::participant() const
{
    return m_participant;
}

QColor WidgetCarFollow::color() const
{
    return m_color;
}

QTableView* WidgetCarFollow::table() const
{
    return m_table;
}

ModelSessionLapForCarFollow* WidgetCarFollow::model() const
{
    return m_model;
}

QLineEdit* WidgetCarFollow::participantEdit() const
{
    return m_edit;
}

void WidgetCarFollow::setColor(const QColor& color)
{
    m_color = color;
    m_provider->setFollowColor(m_panelId, color);
    showColor();
}

void WidgetCarFollow::showColor()
{
    m_colorButton->setStyleSheet(QStringLiteral("QPushButton:pressed{background-color: #226283;padding-top: -15px;padding-bottom: -17px;}"
                                                "QPushButton{color: rgb(22,22,22);background-color: rgb(%1,%2,%3)}")
                                     .arg(m_color.red())
                                     .arg(m_color.green())
                                     .arg(m_color.blue()));
}

void WidgetCarFollow::setParticipant(const QString& pNum)
{
    m_edit->setText(pNum);
    on_lineEditSessionLapCar1_editingFinished();
}

void WidgetCarFollow::on_lineEditSessionLapCar1_editingFinished()
{
    if (!m_participant.isEmpty())
        m_provider->removeCarToFollow(m_panelId);
    m_participant.clear();
    m_proxy->setFilterRegularExpression(kNobody);
    const QString pNum = m_edit->text().trimmed();
    if (!m_provider->getEntryList().contains(pNum))
        return;
    m_participant = pNum;
    m_model->setFollowedParticipant(pNum);
    if (!m_provider->isCarFollowedByOtherPanel(m_panelId, pNum)) {
        m_provider->setCarToFollow(m_panelId, pNum);
        // The whole number: a longer one cut to three characters would match nothing.
        m_proxy->setFilterRegularExpression(QRegularExpression(QStringLiteral("^%1$").arg(QRegularExpression::escape(pNum))));
    }
    // The provider's caches are current: the block's own table is read again.
    m_model->processAnalysis();
    processScrolls();
}

void WidgetCarFollow::on_pushButtonColorPick_clicked()
{
    const QColor chosen = QColorDialog::getColor(m_color, this, tr("Participant colour"));
    if (!chosen.isValid())
        return;
    setColor(chosen);
    // Chosen again so that the registry carries the new colour.
    on_lineEditSessionLapCar1_editingFinished();
    shareBlock();
}

void WidgetCarFollow::takeOver(const QString& pNum, const QColor& color)
{
    if (color.isValid() && color != m_color)
        setColor(color);
    else if (pNum == m_edit->text().trimmed())
        return;
    setParticipant(pNum);
}

void WidgetCarFollow::shareBlock()
{
    // The car asked for, even before this seat's entry list names it: a
    // block waiting for the entry must not empty the team's block.
    m_provider->teamFollow()->share(m_panelId, m_edit->text().trimmed(), m_color);
}

void WidgetCarFollow::on_pushButtonRemoveWidget_clicked()
{
    emit onRemoveWidget(m_panelId);
}

void WidgetCarFollow::on_checkBox_Car_Scroll_1_stateChanged(int arg1)
{
    if (arg1 == Qt::Checked)
        processScrolls();
}

void WidgetCarFollow::processScrolls()
{
    if (m_autoScroll->isChecked())
        m_table->scrollToBottom();
}

void WidgetCarFollow::processScrollCar1(QString pNum)
{
    if (pNum == m_participant)
        processScrolls();
}

void WidgetCarFollow::loadSettings()
{
    const auto settings = AppSettings::open();
    settings->beginGroup(kColumnsGroup);
    for (const QString& key : settings->childKeys()) {
        bool ok = false;
        const int column = key.mid(4).toInt(&ok);
        if (key.startsWith(QLatin1String("cwc_")) && ok)
            m_columnWidths.insert(column, settings->value(key).toInt());
    }
    settings->endGroup();
    settings->beginGroup(kLapColorsGroup);
    for (const auto& entry : kLapColorKeys)
        settings->setValue(QLatin1String(entry[0]), settings->value(QLatin1String(entry[0]), QLatin1String(entry[1])));
    settings->endGroup();
}

void WidgetCarFollow::tableConfig()
{
    // The loop pair columns follow the track.
    m_model->processAnalysis();
    showAbsentColumns();
}

void WidgetCarFollow::showAbsentColumns()
{
    setAbsentColumns(m_table, ModelSessionLap::absentColumns(m_provider->getTrackSections(), m_provider->getNumberOfSectors()));
}

void WidgetCarFollow::updateTableConfig()
{
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_applyingWidths = true;
    for (int column = 0; column < m_proxy->columnCount(); ++column) {
        if (m_columnWidths.contains(column))
            m_table->setColumnWidth(column, qRound(m_columnWidths.value(column) * textScale()));
    }
    m_applyingWidths = false;
}

void WidgetCarFollow::textScaleChanged(qreal oldScale)
{
    // The panel's own resizing is not the user's; his widths are then given at the new size.
    m_applyingWidths = true;
    TablePanel::textScaleChanged(oldScale);
    m_applyingWidths = false;
    updateTableConfig();
}

void WidgetCarFollow::_slotColumnWidthChangedCar1(int column, int, int newWidth)
{
    if (m_applyingWidths || isFitting() || newWidth <= 0)
        return;
    // Kept at text size 1, as every table's widths.
    const int width = qRound(newWidth / textScale());
    m_columnWidths.insert(column, width);
    AppSettings::open()->setValue(kColumnsGroup + QLatin1Char('/') + kColumnKey.arg(column), width);
    emit onColumnWidthChanged(m_panelId);
}

QMap<int, int> WidgetCarFollow::columnWidths() const
{
    return m_columnWidths;
}

void WidgetCarFollow::applyColumnWidths(const QMap<int, int>& widths)
{
    m_columnWidths = widths;
    updateTableConfig();
}

void WidgetCarFollow::columnChoiceChanged(QTableView* view)
{
    TablePanel::columnChoiceChanged(view);
    emit columnsChosen(m_panelId);
}

void WidgetCarFollow::readColumnChoice()
{
    // The absent columns are let go first, so that the saved state decides
    // them too, then hidden again with the user's choice for them kept.
    m_applyingWidths = true;
    setAbsentColumns(m_table, {});
    restoreHeader(m_table);
    showAbsentColumns();
    m_applyingWidths = false;
    updateTableConfig();
}

bool WidgetCarFollow::exportCsv(const QString& fileName, QString* error) const
{
    return CsvExport::write(*m_table, fileName, error);
}

void WidgetCarFollow::on_pushButtonDownloadCSV_clicked()
{
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Save CSV"), QString(), tr("CSV (*.csv)"));
    if (fileName.isEmpty())
        return;
    QString error;
    if (!exportCsv(fileName, &error))
        QMessageBox::warning(this, tr("Save CSV"), tr("The laps could not be written to %1: %2").arg(fileName, error));
}
