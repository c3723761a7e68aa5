#pragma once

#include "TablePanel.h"

class ModelAdditionalStanding;
class QGridLayout;
class QTableView;
class V2DataProvider;

// The best-sector classifications (one per sector the track has) and the
// top-speed classification, each under its caption, side by side as far as
// the panel's width allows and on further rows beyond.
class WidgetAdditionalStandings final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetAdditionalStandings)

public:
    // Tables 0 to 3: sectors 1 to 4; table 4: top speed.
    enum { TopSpeedTable = 4, TableCount = 5 };

    WidgetAdditionalStandings(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetAdditionalStandings() override;

    void setUsaUnits(bool on) override;
    ModelAdditionalStanding* model(int table) const;
    QTableView* table(int table) const;
    QString caption(int table) const;

public slots:
    // Shows the fourth sector's table only on tracks with four sectors.
    void updateSectors();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void textScaleChanged(qreal oldScale) override;

private:
    void arrangeTables();

    V2DataProvider* m_provider;
    ModelAdditionalStanding* m_models[TableCount];
    QTableView* m_tables[TableCount];
    // Each table with its caption.
    QWidget* m_boxes[TableCount];
    QGridLayout* m_grid;
    int m_perRow = 0;
};
