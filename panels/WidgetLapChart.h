#pragma once

#include "ToolWindow.h"

class LapChartView;
class QCheckBox;
class QSlider;
class V2DataProvider;

// The lap chart panel: the chart, pit markers on or off, only followed cars
// in colour, and the horizontal scale.
class WidgetLapChart final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetLapChart)

public:
    WidgetLapChart(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetLapChart() override;

    void saveWidgetGeometry(QSettings& settings) override;
    void setBikeLayout(bool bikes) override;
    LapChartView* view() const;

public slots:
    void on_checkBox_clicked(bool checked);
    void on_horizontalSlider_valueChanged(int value);
    void on_checkBox_ColorsOnFollowed_clicked(bool checked);

protected:
    void textScaleChanged(qreal oldScale) override;

private:
    LapChartView* m_view;
    QCheckBox* m_showPits;
    QCheckBox* m_colorsOnFollowed;
    QSlider* m_scale;
};
