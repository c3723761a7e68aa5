#pragma once

#include "ToolWindow.h"

class GapChartView;
class QComboBox;
class QMenu;
class QToolButton;
class V2DataProvider;

// The gap chart panel: the chart, the reference (the leader or a car), the
// cars drawn (the followed cars until the user picks some) and whether the
// view follows the newest lap. The scale, the cars and the reference are kept.
class WidgetGapChart final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetGapChart)

public:
    WidgetGapChart(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetGapChart() override;

    void saveWidgetGeometry(QSettings& settings) override;
    GapChartView* view() const;
    QComboBox* referenceBox() const;
    // The car menu as it stands (filled when it opens).
    QMenu* carMenu() const;
    void fillCarMenu();

private:
    void fillReferences();
    void toggleCar(const QString& pNum, bool drawn);
    void saveOptions() const;
    void writeOptions(QSettings& settings) const;

    V2DataProvider* m_provider;
    GapChartView* m_view;
    QComboBox* m_reference;
    QToolButton* m_cars;
    QMenu* m_carMenu;
    QToolButton* m_follow;
};
