#pragma once

#include "TablePanel.h"

class ModelAdditionalStanding;
class QTableView;
class V2DataProvider;

// The classification by fastest lap: who set which time on which lap, and
// how far from the fastest.
class WidgetStandingFastestLap final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetStandingFastestLap)

public:
    WidgetStandingFastestLap(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetStandingFastestLap() override;

    ModelAdditionalStanding* model() const;
    QTableView* table() const;

private:
    ModelAdditionalStanding* m_model;
    QTableView* m_table;
};
