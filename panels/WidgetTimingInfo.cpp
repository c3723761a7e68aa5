#include "WidgetTimingInfo.h"

#include "AppSettings.h"
#include "EndFollower.h"
#include "ModelSectionTime.h"
#include "ModelSectionTimeAcc.h"
#include "ModelSessionLap.h"
#include "ModelSessionSector.h"
#include "ModelSessionSpeed.h"
#include "PanelRegistry.h"
#include "TimingConstants.h"
#include "V2DataProvider.h"

#include <QLayout>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>

namespace {

// The laps table's columns: order and those the user hid.
const QString kLapsHeaderStateKey = QStringLiteral("timinginfo_laps_hHeaderState");

// Each view's tab title and the column width key of its table.
struct ViewInfo {
    const char* title;
    const char* widthKey;
};
const ViewInfo kViews[WidgetTimingInfo::ViewCount] = {
    {QT_TR_NOOP("Laps"), "timinginfo_laps_%1"},
    {QT_TR_NOOP("S1"), "timinginfo_s1_%1"},
    {QT_TR_NOOP("S2"), "timinginfo_s2_%1"},
    {QT_TR_NOOP("S3"), "timinginfo_s3_%1"},
    {QT_TR_NOOP("S4"), "timinginfo_s4_%1"},
    {QT_TR_NOOP("Speed"), "timinginfo_speed_%1"},
    {QT_TR_NOOP("Porsche"), "timinginfo_porsche_%1"},
    {QT_TR_NOOP("Ford"), "timinginfo_ford_%1"},
    {QT_TR_NOOP("T6 + T7"), "timinginfo_acc_%1"},
};

} // namespace

WidgetTimingInfo::WidgetTimingInfo(V2DataProvider* provider, QWidget* parent)
    : TablePanel(parent, true)
    , m_provider(provider)
    , m_tabs(new QTabWidget(contentWidget()))
{
    PanelRegistry::place(this, PanelRegistry::TimingInfo);
    m_tabs->setObjectName(QStringLiteral("tabWidgetTimingInfo"));
    contentWidget()->layout()->addWidget(m_tabs);
    const QString skin = AppSettings::skin();
    auto* laps = new ModelSessionLap(provider, skin, false, this);
    // Every view but the first shows one of the three-column tables.
    ModelAnalysisTable* analysis[ViewCount] = {
        nullptr,
        new ModelSessionSector(provider, skin, 1, this),
        new ModelSessionSector(provider, skin, 2, this),
        new ModelSessionSector(provider, skin, 3, this),
        new ModelSessionSector(provider, skin, 4, this),
        new ModelSessionSpeed(provider, skin, this),
        new ModelSectionTime(provider, skin, TimingConstants::NAMED_SECTIONS[0], this),
        new ModelSectionTime(provider, skin, TimingConstants::NAMED_SECTIONS[1], this),
        new ModelSectionTimeAcc(provider, skin, this),
    };
    for (int view = 0; view < ViewCount; ++view) {
        QAbstractItemModel* model = view == Laps ? static_cast<QAbstractItemModel*>(laps) : analysis[view];
        m_tables[view] = addTable(model, {QLatin1String(kViews[view].widthKey), view == Laps ? kLapsHeaderStateKey : QString(), true}, m_tabs,
                                  QStringLiteral("tableView%1").arg(view));
        // The newest laps are at the bottom.
        new EndFollower(m_tables[view]);
        if (analysis[view]) {
            connect(this, &ToolWindow::updateSkin, analysis[view], &ModelAnalysisTable::updateSkin);
            analysis[view]->processAnalysis();
        }
    }
    connect(this, &ToolWindow::updateSkin, laps, &ModelSessionLap::updateSkin);
    laps->processAnalysis();
    m_tables[Laps]->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    connect(provider, &V2DataProvider::trackInfo, this, &WidgetTimingInfo::updateViews);
    updateViews();
}

WidgetTimingInfo::~WidgetTimingInfo() = default;

QTabWidget* WidgetTimingInfo::tabs() const
{
    return m_tabs;
}

QTableView* WidgetTimingInfo::table(int view) const
{
    return view >= 0 && view < ViewCount ? m_tables[view] : nullptr;
}

QVector<int> WidgetTimingInfo::shownViews() const
{
    QVector<int> views;
    for (int tab = 0; tab < m_tabs->count(); ++tab) {
        for (int view = 0; view < ViewCount; ++view) {
            if (m_tabs->widget(tab) == m_tables[view])
                views.append(view);
        }
    }
    return views;
}

void WidgetTimingInfo::updateViews()
{
    const QStringList sections = m_provider->getTrackSections();
    const int sectors = m_provider->getNumberOfSectors();
    bool shown[ViewCount];
    for (bool& view : shown)
        view = true;
    shown[Sector4] = sectors != 3;
    const QString* const named = TimingConstants::NAMED_SECTIONS;
    shown[PorscheSection] = sections.contains(named[0]);
    shown[FordSection] = sections.contains(named[1]);
    shown[AccumulatedSections] = sections.contains(named[2]) || sections.contains(named[3]);
    // The laps table shows the same sections and sectors.
    setAbsentColumns(m_tables[Laps], ModelSessionLap::absentColumns(sections, sectors));
    QWidget* current = m_tabs->currentWidget();
    m_tabs->clear();
    for (int view = 0; view < ViewCount; ++view) {
        if (shown[view])
            m_tabs->addTab(m_tables[view], tr(kViews[view].title));
        else
            m_tables[view]->hide();
    }
    if (current && m_tabs->indexOf(current) >= 0)
        m_tabs->setCurrentWidget(current);
}
