#pragma once

#include "TablePanel.h"

class ModelTyresSessionData;
class QTableView;
class V2DataProvider;

// The tyres of every car of the entry (for the users allowed to see them).
class WidgetTyres final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetTyres)

public:
    WidgetTyres(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetTyres() override;

    ModelTyresSessionData* model() const;
    QTableView* table() const;

protected:
    void textScaleChanged(qreal oldScale) override;

private:
    // The stored widths (at text size 1) at the size in force.
    void applyStoredWidths();

    ModelTyresSessionData* m_model;
    QTableView* m_table;
};
