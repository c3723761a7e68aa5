#pragma once

#include "PitLossLearner.h"
#include "TablePanel.h"

#include <array>

class ModelPitWindow;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;
class QTableView;
class V2DataProvider;

// "If we box now, where do we come out?": for a chosen car (the first
// followed car by default), the predicted position after a stop this lap and
// each of the next laps the user asks for, with the cars around it then; and
// the pit loss per kind of stop, learnt from the session's stops, with the
// number of stops behind each value and the user's override.
class WidgetPitWindow final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetPitWindow)

public:
    WidgetPitWindow(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetPitWindow() override;

    ModelPitWindow* model() const;
    QComboBox* carList() const;
    QSpinBox* lapsAhead() const;
    QDoubleSpinBox* overrideBox(PitLossLearner::Kind kind) const;
    QDoubleSpinBox* userValueBox(PitLossLearner::Kind kind) const;
    QLabel* lossLabel(PitLossLearner::Kind kind, bool neutralised) const;
    // What the predictions assume, as the panel's help says it.
    static QString assumptions();
    // Predicts for this car, as if chosen from the list; false when it is not listed.
    bool setCar(const QString& car);

public slots:
    void refillCars();

private slots:
    void showLosses();

private:
    V2DataProvider* m_provider;
    ModelPitWindow* m_model;
    QComboBox* m_cars;
    QComboBox* m_kind;
    QSpinBox* m_laps;
    std::array<QLabel*, PitLossLearner::KindCount> m_green{};
    std::array<QLabel*, PitLossLearner::KindCount> m_neutral{};
    std::array<QDoubleSpinBox*, PitLossLearner::KindCount> m_overrides{};
    std::array<QDoubleSpinBox*, PitLossLearner::KindCount> m_userValues{};
    QLabel* m_condition;
    // The car chosen by the user; empty while the followed car is taken.
    QString m_chosen;
};
