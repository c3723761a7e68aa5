#pragma once

#include "TablePanel.h"

#include <QVector>

class ModelSessionLap;
class QTabWidget;
class QTableView;
class V2DataProvider;

// The sector information of the whole field, one tab a view: every lap,
// each sector, the top speeds, and the named sections where the track has
// them (the two shown alone, and T6 with T7 taken together).
class WidgetTimingInfo final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetTimingInfo)

public:
    enum View {
        Laps,
        Sector1,
        Sector2,
        Sector3,
        Sector4,
        Speeds,
        PorscheSection,
        FordSection,
        AccumulatedSections,
        ViewCount,
    };

    WidgetTimingInfo(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetTimingInfo() override;

    QTabWidget* tabs() const;
    QTableView* table(int view) const;
    // The views shown for the current track, in tab order.
    QVector<int> shownViews() const;

public slots:
    // Shows the sector and section tabs the track has.
    void updateViews();

private:
    V2DataProvider* m_provider;
    QTabWidget* m_tabs;
    QTableView* m_tables[ViewCount] = {};
};
