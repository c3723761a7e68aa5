#pragma once

#include "TablePanel.h"

class ModelSessionStints;
class QComboBox;
class QTableView;
class V2DataProvider;

// The stints of one car chosen from the entry, with the driving-time totals.
class WidgetStints final : public TablePanel
{
    Q_OBJECT
    Q_DISABLE_COPY(WidgetStints)

public:
    WidgetStints(V2DataProvider* provider, QWidget* parent = nullptr);
    ~WidgetStints() override;

    void setBikeLayout(bool bikes) override;
    ModelSessionStints* model() const;
    QComboBox* carList() const;
    QTableView* table() const;
    // Shows the stints of this car, as if chosen from the list; false when it is not listed.
    bool setCar(const QString& car);

public slots:
    // Fills the car list again, keeping the chosen car when it is still there.
    void refillCars();

private slots:
    void chooseCar(int index);

private:
    V2DataProvider* m_provider;
    ModelSessionStints* m_model;
    QComboBox* m_cars;
    QTableView* m_table;
    // The car chosen last, kept while it is absent from the entry list.
    QString m_chosen;
};
