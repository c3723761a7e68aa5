#include "WidgetAdditionalStandings.h"

#include "AppSettings.h"
#include "ModelAdditionalStanding.h"
#include "PanelRegistry.h"
#include "V2DataProvider.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>
#include <QVector>

#include <algorithm>

namespace {

// Column widths per table: "addst_s1_%1" ... "addst_s4_%1", "addst_speed_%1".
const char* const kWidthKeys[WidgetAdditionalStandings::TableCount] = {"addst_s1_%1", "addst_s2_%1", "addst_s3_%1", "addst_s4_%1",
                                                                      "addst_speed_%1"};
const char* const kCaptions[WidgetAdditionalStandings::TableCount] = {QT_TR_NOOP("Best S1"), QT_TR_NOOP("Best S2"), QT_TR_NOOP("Best S3"),
                                                                     QT_TR_NOOP("Best S4"), QT_TR_NOOP("Top speed")};
// Narrower tables would hide the names: they wrap to another row instead.
constexpr int kNarrowestTable = 190;
constexpr int kFrameRoom = 6;

} // namespace

WidgetAdditionalStandings::WidgetAdditionalStandings(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
{
    PanelRegistry::place(this, PanelRegistry::AdditionalStandings);
    const QString skin = AppSettings::skin();
    m_grid = new QGridLayout;
    for (int i = 0; i < TableCount; ++i) {
        m_models[i] = i == TopSpeedTable ? new ModelAdditionalStanding(provider, ModelAdditionalStanding::TopSpeed, 0, this)
                                         : new ModelAdditionalStanding(provider, ModelAdditionalStanding::SectorBest, i + 1, this);
        m_models[i]->updateSkin(skin);
        m_boxes[i] = new QWidget(contentWidget());
        auto* box = new QVBoxLayout(m_boxes[i]);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(2);
        auto* caption = new QLabel(tr(kCaptions[i]), m_boxes[i]);
        caption->setObjectName(QStringLiteral("labelCaption"));
        // Bold only: the size follows the panel's text size.
        QFont bold;
        bold.setBold(true);
        caption->setFont(bold);
        m_tables[i] = addTable(m_models[i], {QLatin1String(kWidthKeys[i]), QString(), false}, m_boxes[i], QStringLiteral("tableView%1").arg(i));
        for (int column = 0; column < m_models[i]->columnCount(); ++column)
            m_tables[i]->setColumnHidden(column, !m_models[i]->hasColumn(column));
        // The value first after the number: it is what the table ranks by;
        // then the gap, and the names in what is left.
        QHeaderView* header = m_tables[i]->horizontalHeader();
        header->moveSection(header->visualIndex(ModelAdditionalStanding::Value), header->visualIndex(ModelAdditionalStanding::Number) + 1);
        header->moveSection(header->visualIndex(ModelAdditionalStanding::Gap), header->visualIndex(ModelAdditionalStanding::Value) + 1);
        // The tables share the panel's width; the names take what is left.
        header->setSectionResizeMode(ModelAdditionalStanding::Name, QHeaderView::Stretch);
        m_tables[i]->setMinimumWidth(0);
        m_tables[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
        connect(this, &ToolWindow::updateSkin, m_models[i], &ModelAdditionalStanding::updateSkin);
        box->addWidget(caption);
        box->addWidget(m_tables[i]);
    }
    static_cast<QBoxLayout*>(contentWidget()->layout())->addLayout(m_grid);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetAdditionalStandings::updateSectors);
    updateSectors();
}

WidgetAdditionalStandings::~WidgetAdditionalStandings() = default;

void WidgetAdditionalStandings::setUsaUnits(bool on)
{
    m_models[TopSpeedTable]->setUsaUnits(on);
}

ModelAdditionalStanding* WidgetAdditionalStandings::model(int table) const
{
    return m_models[table];
}

QTableView* WidgetAdditionalStandings::table(int table) const
{
    return m_tables[table];
}

void WidgetAdditionalStandings::updateSectors()
{
    m_boxes[3]->setVisible(m_provider->getNumberOfSectors() == 4);
    m_perRow = 0;
    arrangeTables();
}

QString WidgetAdditionalStandings::caption(int table) const
{
    const QLabel* label = m_boxes[table]->findChild<QLabel*>(QStringLiteral("labelCaption"));
    return label ? label->text() : QString();
}

void WidgetAdditionalStandings::resizeEvent(QResizeEvent* event)
{
    TablePanel::resizeEvent(event);
    arrangeTables();
}

void WidgetAdditionalStandings::textScaleChanged(qreal oldScale)
{
    TablePanel::textScaleChanged(oldScale);
    arrangeTables();
}

void WidgetAdditionalStandings::arrangeTables()
{
    QVector<QWidget*> shown;
    for (QWidget* box : m_boxes) {
        if (!box->isHidden())
            shown.append(box);
    }
    // The panel's own width: its content follows it only after this event.
    // Tables grow with the text size, and so does the narrowest one.
    const int fit = std::max(1, (width() - 2 * kFrameRoom) / qRound(kNarrowestTable * textScale()));
    const int perRow = std::min(fit, int(shown.size()));
    if (perRow == m_perRow || perRow == 0)
        return;
    m_perRow = perRow;
    for (QWidget* box : m_boxes)
        m_grid->removeWidget(box);
    for (int i = 0; i < shown.size(); ++i)
        m_grid->addWidget(shown.at(i), i / perRow, i % perRow);
    for (int column = 0; column < m_grid->columnCount(); ++column)
        m_grid->setColumnStretch(column, column < perRow ? 1 : 0);
}
