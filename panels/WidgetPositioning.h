#pragma once

#include "ToolWindow.h"

class PositioningController;
class PositioningGraphicsViewPromote;
class QCheckBox;
class QComboBox;
class QSlider;
class Scene;
class V2DataProvider;

// The track map panel: the cars live on the circuit, with the marker size,
// background, legend, unknown cars, a class filter and "only followed".
class WidgetPositioning final : public ToolWindow
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetPositioning)

public:
    WidgetPositioning(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetPositioning() override;

    void setBikeLayout(bool bikes) override;
    void setUseOpenGL(bool on) override;

    PositioningController* positioningController() const;
    Scene* scene() const;
    PositioningGraphicsViewPromote* view() const;

public slots:
    void setClasses();
    void on_horizontalSliderItemSize_valueChanged(int value);
    void on_checkBox_ShowClock_toggled(bool checked);
    void on_checkBox_showBackground_toggled(bool checked);
    void on_checkBoxCarsFollow_clicked();
    void on_comboBoxClassesFilter_currentIndexChanged(QString arg1);
    void processUpdate();
    void on_checkBox_showLabels_clicked(bool checked);
    void onUpdateCarsFollow();
    void on_checkBox_ShowUnknownParticipants_stateChanged(int state);

protected:
    // The car numbers on the map grow with the text.
    void textScaleChanged(qreal oldScale) override;

private:
    V2DataProvider* m_provider;
    PositioningController* m_controller;
    Scene* m_scene;
    PositioningGraphicsViewPromote* m_view;
    QCheckBox* m_showLabels;
    QCheckBox* m_showBackground;
    QCheckBox* m_showClock;
    QSlider* m_itemSize;
    QCheckBox* m_carsFollow;
    QComboBox* m_classes;
    QCheckBox* m_showUnknown;
    QString m_classFilter;
};
