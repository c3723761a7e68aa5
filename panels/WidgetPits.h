#pragma once

#include "TablePanel.h"

class ModelSessionPits;
class QTableView;
class V2DataProvider;

// A table of pit entries or pit exits that keeps the newest stop in sight:
// what the pit-in and pit-out panels share.
class WidgetPits : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetPits)

public:
    ~WidgetPits() override;

    ModelSessionPits* model() const;
    QTableView* table() const;

protected:
    // pitOut: the exits; widthKey: "pin_%1" or "pout_%1".
    WidgetPits(V2DataProvider* provider, bool pitOut, const QString& widthKey, QWidget* parent);

private:
    ModelSessionPits* m_model;
    QTableView* m_table;
};
