#pragma once

#include "TablePanel.h"

class ModelRaceControlMessage;
class QAction;
class QCheckBox;
class QTableView;
class V2DataProvider;

// The race control messages, newest at the bottom (or the top when newest
// first), with the choice of keeping them when a new session starts.
class WidgetRaceControl final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetRaceControl)

public:
    WidgetRaceControl(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetRaceControl() override;

    void setNewestFirst(bool on) override;
    ModelRaceControlMessage* model() const;
    QTableView* table() const;
    QAction* keepAction() const;

private slots:
    void followNewMessages();
    void keepMessages(bool keep);

private:
    ModelRaceControlMessage* m_model;
    QTableView* m_table;
    QCheckBox* m_autoScroll;
    QAction* m_keep;
};
