#pragma once

#include "TablePanel.h"

class ModelStandingCombined;
class QTableView;
class V2DataProvider;

// The standings over several sessions (qualifying sessions taken together,
// for example); the result time of each session shows when the ranking is
// by time over more than one session.
class WidgetStandingCombined final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetStandingCombined)

public:
    WidgetStandingCombined(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetStandingCombined() override;

    ModelStandingCombined* model() const;
    QTableView* table() const;

public slots:
    void updateColumns();

private:
    ModelStandingCombined* m_model;
    QTableView* m_table;
};
