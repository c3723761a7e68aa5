#pragma once

#include "TablePanel.h"

class ModelTeamAlerts;
class QPushButton;
class QTableView;
class V2DataProvider;

// The team alerts of the session, newest first. A double click acknowledges
// a row; the button acknowledges them all.
class WidgetAlerts final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetAlerts)

public:
    WidgetAlerts(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetAlerts() override;

    ModelTeamAlerts* model() const;
    QTableView* table() const;
    QPushButton* acknowledgeAllButton() const;

private:
    void showCount();

    V2DataProvider* m_provider;
    ModelTeamAlerts* m_model;
    QTableView* m_table;
    QPushButton* m_acknowledgeAll;
};
