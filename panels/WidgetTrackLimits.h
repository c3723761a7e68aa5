#pragma once

#include "TablePanel.h"

class ModelTrackLimits;
class QTableView;
class TrackLimitSortProxyModel;
class V2DataProvider;

// The track limits infractions, sortable by any column but the affected
// laps; the list is read anew whenever the track or the infractions change.
class WidgetTrackLimits final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetTrackLimits)

public:
    WidgetTrackLimits(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetTrackLimits() override;

    QTableView* table() const;
    ModelTrackLimits* model() const;

public slots:
    void rebuild();

private:
    V2DataProvider* m_provider;
    TrackLimitSortProxyModel* m_proxy;
    ModelTrackLimits* m_model = nullptr;
    QTableView* m_table;
};
